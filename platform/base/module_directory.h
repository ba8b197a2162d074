// Where the code that is running was loaded from: the directory of the shared
// library (or program) holding this function. Empty when it cannot be told.
#pragma once

#include <filesystem>

namespace quillor {

std::filesystem::path ModuleDirectory();
// The file itself.
std::filesystem::path ModulePath();

}  // namespace quillor
