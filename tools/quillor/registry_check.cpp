#include "tools/quillor/registry_check.h"

#include "tools/quillor/command_error.h"
#include "tools/quillor/server_loading.h"
#include "tools/quillor/tool_failure.h"

namespace quillor {

std::string RegistryPath(const LibraryQueries& library) {
  try {
    return library.registry_file();
  } catch (const ToolFailure&) {
    throw CommandError(
        "no place for the registry file: QUILLOR_REGISTRY, XDG_CONFIG_HOME and "
        "HOME are all unset",
        "set QUILLOR_REGISTRY to the file to use, e.g. "
        "QUILLOR_REGISTRY=/etc/quillor/registry");
  }
}

std::string RegistryProblem(const LibraryQueries& library) {
  try {
    return WithoutPrefix(library.registry_problem());
  } catch (const ToolFailure& f) {
    return WithoutPrefix(f.description());
  }
}

}  // namespace quillor
