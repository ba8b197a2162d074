#include "tools/quillor/version.h"

#include <sys/stat.h>

#include <filesystem>

#include "tools/quillor/carried_releases.h"
#include "tools/quillor/command_error.h"
#include "tools/quillor/library_resolution.h"
#include "tools/quillor/server_loading.h"

#ifndef QUILLOR_VERSION
#define QUILLOR_VERSION "unknown"
#endif
#ifndef QUILLOR_SOURCE_COMMIT
#define QUILLOR_SOURCE_COMMIT "unknown"
#endif
#ifndef QUILLOR_BUILD_DATE
#define QUILLOR_BUILD_DATE "unknown"
#endif

namespace quillor {

std::string CommandVersion() { return QUILLOR_VERSION; }
std::string SourceCommit() { return QUILLOR_SOURCE_COMMIT; }

std::string VersionText() {
  std::string text = "quillor " QUILLOR_VERSION "\nsource commit: " QUILLOR_SOURCE_COMMIT
                     "\nbuild date: " QUILLOR_BUILD_DATE "\nreleases:\n";
  for (const std::string& release : CarriedReleases()) {
    // The libraries carried beside the command, not the registered ones.
    const std::string library = CarriedLibrary(release, ExecutableDirectory());
    std::error_code ec;
    const std::string shown = std::filesystem::weakly_canonical(library, ec).string();
    text += "  " + release + "  ";
    try {
      const std::string served = LoadServer(library, false).identity.release;
      text += shown;
      if (served != release) text += " (but it is release " + served + ")";
    } catch (const CommandError& e) {
      text += std::string("missing: ") + e.what();
    }
    text += "\n";
  }
  return text;
}

}  // namespace quillor
