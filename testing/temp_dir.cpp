#include "testing/temp_dir.h"

#include <stdlib.h>

#include <fstream>
#include <random>
#include <sstream>

#include "platform/base/failure.h"

namespace quillor::testing {

namespace fs = std::filesystem;

#ifdef _WIN32
// The Windows test program (under Wine) has no mkdtemp: a random name, made only
// when nothing has it yet.
TempDir::TempDir() {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::ostringstream name;
    name << "quillor-test-" << std::hex << random() << random();
    const fs::path candidate = fs::temp_directory_path() / name.str();
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) {
      path_ = candidate;
      return;
    }
  }
  throw Failure(failure_numbers::kFail, "no temporary directory could be made");
}
#else
TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "quillor-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw Failure(failure_numbers::kFail, "mkdtemp failed");
  path_ = pattern;
}
#endif

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
