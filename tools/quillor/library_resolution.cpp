#include "tools/quillor/library_resolution.h"

#include <sys/stat.h>
#include <unistd.h>

#include <climits>

namespace quillor {

namespace {

bool IsFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::string CarriedLibrary(std::string_view release, const std::string& exe_dir) {
  // Installed, the command sits in bin/ and the libraries in lib/quillor/<release>/;
  // in the build tree they are in lib/<release>/.
  const std::string installed =
      exe_dir + "/../lib/quillor/" + std::string(release) + "/libquillor.so";
  if (IsFile(installed)) return installed;
  return exe_dir + "/../lib/" + std::string(release) + "/libquillor.so";
}

std::string ResolveLibrary(std::string_view release, const std::optional<std::string>& given,
                           const Registration& registration, const std::string& exe_dir) {
  if (given) return *given;
  // Releases sharing a class identifier share its registration: the library
  // registered there may be another release's, so it is not taken for this one.
  if (!registration.shared_class && registration.library && IsFile(*registration.library)) {
    return *registration.library;
  }
  return CarriedLibrary(release, exe_dir);
}

std::string ExecutableDirectory() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  std::string path(buf, static_cast<size_t>(n));
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

}  // namespace quillor
