#include "tools/quillor/server_loading.h"

#include <sys/stat.h>

#include <filesystem>

#include "platform/base/failure.h"
#include "platform/base/text.h"
#include "tools/quillor/command_error.h"
#include "tools/quillor/library_resolution.h"

namespace quillor {

namespace {

// Installed, the example is the library the package put beside the command;
// in a build tree, the build's own.
std::string ExampleLibrary() {
  std::error_code ec;
  const std::filesystem::path installed =
      std::filesystem::path(ExecutableDirectory()) / "../lib/quillor/8.71/libquillor.so";
  if (std::filesystem::is_regular_file(installed, ec)) {
    return std::filesystem::weakly_canonical(installed, ec).string();
  }
  return "build/lib/8.71/libquillor.so";
}

std::string WhereToFindOne(bool given) {
  return given ? "--library takes the path of a release's libquillor.so, e.g. " + ExampleLibrary()
               : "build the libraries (scripts/demo does), or name one with --library PATH";
}

}  // namespace

std::string WithoutPrefix(std::string text) {
  constexpr std::string_view kPrefix = "[Quillor] ";
  if (text.compare(0, kPrefix.size(), kPrefix) == 0) text.erase(0, kPrefix.size());
  return text;
}

std::string StatusText(com::HRESULT hr) { return HexWord(static_cast<uint32_t>(hr)); }

std::string LibraryFile(const std::string& given) {
  if (given.empty() || given.find('/') != std::string::npos) return given;
  return "./" + given;
}

com::InprocServer LoadServer(const std::string& library, bool given) {
  struct stat st {};
  if (::stat(library.c_str(), &st) != 0) {
    throw CommandError("no server library at " + library, WhereToFindOne(given));
  }
  if (!S_ISREG(st.st_mode)) {
    throw CommandError(library + " is not a file, so not a server library", WhereToFindOne(given));
  }
  try {
    return com::InprocServer::Load(library);
  } catch (const Failure& f) {
    throw CommandError(library + " is not a server library this command can load (" +
                           WithoutPrefix(f.description()) + ")",
                       WhereToFindOne(given));
  }
}

ComponentSession OpenSession(const ReleaseProfile& profile, const std::string& library,
                             bool given) {
  // Loaded first as a server library, so that a file that is none is told as
  // such; the calls then go through the C interface alone.
  const com::InprocServer server = LoadServer(library, given);
  const std::optional<std::string> served = ReleaseOfServer(server);
  try {
    return ComponentSession::Open(profile, library);
  } catch (const Failure& f) {
    std::string what = library + " does not serve release " + std::string(profile.release);
    if (served && *served != profile.release) what += ": it is release " + *served;
    throw CommandError(what + " (" + WithoutPrefix(f.description()) + ")",
                       "give --release the library's own release, or --library the library of "
                       "release " +
                           std::string(profile.release));
  }
}

std::optional<std::string> ReleaseOfServer(const com::InprocServer& server) {
  using ReleaseFn = const char* (*)();
  const auto release = reinterpret_cast<ReleaseFn>(server.FindExport("QuillorRelease"));
  if (!release || !release()) return std::nullopt;
  return std::string(release());
}

}  // namespace quillor
