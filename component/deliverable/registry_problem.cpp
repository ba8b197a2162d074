#include "component/deliverable/registry_problem.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/base/failure.h"
#include "platform/com/registry.h"

namespace quillor::deliverable {

namespace {

namespace fs = std::filesystem;

std::string Reason() { return std::strerror(errno); }

// Why a file cannot be made in dir: the nearest folder that exists must be a
// folder the user may write in.
std::string FolderProblem(const fs::path& dir) {
  std::error_code ec;
  fs::path existing = dir;
  while (!existing.empty() && !fs::exists(existing, ec)) {
    if (existing == existing.parent_path()) break;
    existing = existing.parent_path();
  }
  if (existing.empty()) existing = ".";
  if (!fs::is_directory(existing, ec)) {
    return "cannot make the folder " + dir.string() + ": " + existing.string() + " is not a folder";
  }
  if (::access(existing.c_str(), W_OK | X_OK) != 0) {
    const std::string verb = existing == dir ? "cannot write in the folder "
                                             : "cannot make the folder " + dir.string() + " in ";
    return verb + existing.string() + ": " + Reason();
  }
  return {};
}

}  // namespace

std::string RegistryProblem(const std::string& path) {
  const fs::path file(path);
  const fs::path dir = file.has_parent_path() ? file.parent_path() : fs::path(".");
  if (std::string problem = FolderProblem(dir); !problem.empty()) return problem;
  std::error_code ec;
  for (const std::string& name : {path, path + ".lock"}) {
    if (!fs::exists(name, ec)) continue;
    if (fs::is_directory(name, ec)) return name + " is a folder, not a file";
    if (::access(name.c_str(), R_OK | W_OK) != 0) return "cannot write " + name + ": " + Reason();
  }
  try {
    com::Registry::Load(path);
  } catch (const Failure& f) {
    return f.description();
  }
  return {};
}

}  // namespace quillor::deliverable
