#include "tools/quillor/server_loading.h"

#include <sys/stat.h>

#include <filesystem>
#include <iomanip>
#include <sstream>

#include "tools/quillor/command_error.h"
#include "tools/quillor/library_resolution.h"
#include "tools/quillor/tool_failure.h"

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

std::string StatusText(int32_t status) {
  std::ostringstream text;
  text << "0x" << std::uppercase << std::hex << std::setfill('0') << std::setw(8)
       << static_cast<uint32_t>(status);
  return text.str();
}

std::string LibraryFile(const std::string& given) {
  if (given.empty() || given.find('/') != std::string::npos) return given;
  return "./" + given;
}

LibraryQueries LoadServer(const std::string& library, bool given) {
  struct stat st {};
  if (::stat(library.c_str(), &st) != 0) {
    throw CommandError("no server library at " + library, WhereToFindOne(given));
  }
  if (!S_ISREG(st.st_mode)) {
    throw CommandError(library + " is not a file, so not a server library", WhereToFindOne(given));
  }
  try {
    return LoadQueries(library);
  } catch (const ToolFailure& f) {
    throw CommandError(library + " is not a server library this command can load (" +
                           WithoutPrefix(f.description()) + ")",
                       WhereToFindOne(given));
  }
}

ComponentSession OpenSession(std::string_view release, const std::string& library, bool given) {
  // Loaded first on its own, so that a file that is none is told as such.
  const std::string served = LoadServer(library, given).identity.release;
  try {
    return ComponentSession::Open(release, library);
  } catch (const ToolFailure& f) {
    std::string what = library + " does not serve release " + std::string(release);
    if (served != release) what += ": it is release " + served;
    throw CommandError(what + " (" + WithoutPrefix(f.description()) + ")",
                       "give --release the library's own release, or --library the library of "
                       "release " +
                           std::string(release));
  }
}

Registration RegistrationOf(std::string_view release, const std::string& registry) {
  try {
    const LibraryQueries queries = LoadQueries(CarriedLibrary(release, ExecutableDirectory()));
    return {queries.registered_library(registry), queries.identity.shared_class};
  } catch (const ToolFailure&) {
    // An unreadable registry, or no library to read it, only means there is no
    // registered library to prefer.
    return {};
  }
}

}  // namespace quillor
