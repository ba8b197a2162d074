// Which server library the command loads for a release: the one given, the one
// registered, or the one beside the command.
#include "tools/quillor/library_resolution.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

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
  struct Case {
    const char* what;
    std::optional<std::string> given;
    Registration registration;
    std::string library;
  };
  const Case cases[] = {
      {"nothing registered", std::nullopt, {}, fallback},
      {"registered", std::nullopt, {registered, false}, registered},
      {"given outweighs registered", "/given.so", {registered, false}, "/given.so"},
      // A registered file that is gone is not used.
      {"registered file gone", std::nullopt, {gone, false}, fallback},
      // 8.61 and 8.50 share their class: its registration may be either one's.
      {"shared class", std::nullopt, {registered, true}, fallback},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ResolveLibrary("8.71", c.given, c.registration, "/opt/q/bin"), c.library) << c.what;
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
