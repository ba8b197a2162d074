#include <dlfcn.h>

#include "platform/base/module_directory.h"

namespace quillor {

std::filesystem::path ModulePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&ModulePath), &info) == 0 || info.dli_fname == nullptr) {
    return {};
  }
  std::error_code ec;
  const std::filesystem::path file = std::filesystem::canonical(info.dli_fname, ec);
  return ec ? std::filesystem::path() : file;
}

std::filesystem::path ModuleDirectory() { return ModulePath().parent_path(); }

}  // namespace quillor
