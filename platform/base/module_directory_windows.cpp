#include <windows.h>

#include <string>

#include "platform/base/module_directory.h"

namespace quillor {

std::filesystem::path ModulePath() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCWSTR>(&ModulePath), &module)) {
    return {};
  }
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    path.resize(path.size() * 2);  // cut short: try a longer buffer
  }
  return std::filesystem::path(path);
}

std::filesystem::path ModuleDirectory() { return ModulePath().parent_path(); }

}  // namespace quillor
