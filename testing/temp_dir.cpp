#include "testing/temp_dir.h"

#include <stdlib.h>

#include <fstream>
#include <sstream>

#include "platform/base/failure.h"

namespace quillor::testing {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "quillor-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw Failure(failure_numbers::kFail, "mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string ReadFileText(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace quillor::testing
