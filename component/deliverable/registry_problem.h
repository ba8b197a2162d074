// Why the registry file cannot be updated, in words an operator can act on.
#pragma once

#include <string>

namespace quillor::deliverable {

// Why path cannot be updated (its folder cannot be made or written, the file or
// its lock cannot be read or written, or it does not read as a registry file);
// empty when no reason is found.
std::string RegistryProblem(const std::string& path);

}  // namespace quillor::deliverable
