// Which server library the command loads for a release: the one given, the one
// registered, or the one beside the command.
#include "tools/quillor/library_resolution.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "testing/temp_dir.h"

namespace quillor {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

TEST(LibraryResolutionTest, LibraryResolutionOrder) {
  TempDir dir;
  const std::string registered = dir.path().string() + "/registered.so";
  std::ofstream(registered) << "x";
  const std::string gone = dir.path().string() + "/gone.so";
  const std::string fallback = "/opt/q/bin/../lib/8.71/libquillor.so";
  // The registration as a host's registry gives it ("" for none): made at each
  // case, as GCC 12 at -O2 takes an array of optionals for maybe uninitialised.
  auto registration = [](const std::string& library, bool shared) {
    Registration r;
    if (!library.empty()) r.library = library;
    r.shared_class = shared;
    return r;
  };
  struct Case {
    const char* what;
    const char* given;  // nullptr: none
    std::string registered;
    bool shared;
    std::string library;
  };
  const std::vector<Case> cases = {
      {"nothing registered", nullptr, "", false, fallback},
      {"registered", nullptr, registered, false, registered},
      {"given outweighs registered", "/given.so", registered, false, "/given.so"},
      // A registered file that is gone is not used.
      {"registered file gone", nullptr, gone, false, fallback},
      // 8.61 and 8.50 share their class: its registration may be either one's.
      {"shared class", nullptr, registered, true, fallback},
  };
  for (const Case& c : cases) {
    const std::optional<std::string> given =
        c.given ? std::optional<std::string>(c.given) : std::nullopt;
    EXPECT_EQ(ResolveLibrary("8.71", given, registration(c.registered, c.shared), "/opt/q/bin"),
              c.library)
        << c.what;
  }
}

TEST(LibraryResolutionTest, InstalledLibrariesAreFoundBesideTheCommand) {
  TempDir dir;
  const std::string installed = dir.path().string() + "/bin/../lib/quillor/8.61/libquillor.so";
  fs::create_directories(dir.path().string() + "/bin");
  fs::create_directories(dir.path().string() + "/lib/quillor/8.61");
  std::ofstream(installed) << "x";
  EXPECT_EQ(ResolveLibrary("8.61", std::nullopt, {}, dir.path().string() + "/bin"), installed);
  EXPECT_EQ(ResolveLibrary("8.71", std::nullopt, {}, dir.path().string() + "/bin"),
            dir.path().string() + "/bin/../lib/8.71/libquillor.so");
}

}  // namespace
}  // namespace quillor
