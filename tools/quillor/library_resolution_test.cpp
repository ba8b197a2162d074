// Which server library the command loads for a release: the one given, the one
// registered, or the one beside the command.
#include "tools/quillor/library_resolution.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "component/registration.h"
#include "platform/com/registry.h"
#include "testing/temp_dir.h"

namespace quillor {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

TEST(LibraryResolutionTest, LibraryResolutionOrder) {
  TempDir dir;
  const std::string registered = dir.path().string() + "/registered.so";
  std::ofstream(registered) << "x";
  const ReleaseProfile& p = Release871();
  com::Registry registry;
  const std::string fallback = "/opt/q/bin/../lib/8.71/libquillor.so";

  EXPECT_EQ(ResolveLibrary(p, std::nullopt, registry, "/opt/q/bin"), fallback);
  registry.SetValue(ClassKey(p) + "\\InprocServer32", "", registered);
  EXPECT_EQ(ResolveLibrary(p, std::nullopt, registry, "/opt/q/bin"), registered);
  EXPECT_EQ(ResolveLibrary(p, std::string("/given.so"), registry, "/opt/q/bin"), "/given.so");
  // Another release's registration is not used, nor a registered file that is gone.
  EXPECT_EQ(ResolveLibrary(Release861(), std::nullopt, registry, "/opt/q/bin"),
            "/opt/q/bin/../lib/8.61/libquillor.so");
  registry.SetValue(ClassKey(p) + "\\InprocServer32", "", dir.path().string() + "/gone.so");
  EXPECT_EQ(ResolveLibrary(p, std::nullopt, registry, "/opt/q/bin"), fallback);
  // 8.61 and 8.50 share their class: its registration may be either one's.
  registry.SetValue(ClassKey(Release850()) + "\\InprocServer32", "", registered);
  for (const ReleaseProfile* shared : {&Release861(), &Release850()}) {
    EXPECT_EQ(ResolveLibrary(*shared, std::nullopt, registry, "/opt/q/bin"),
              "/opt/q/bin/../lib/" + std::string(shared->release) + "/libquillor.so");
  }
}

TEST(LibraryResolutionTest, InstalledLibrariesAreFoundBesideTheCommand) {
  TempDir dir;
  const std::string installed = dir.path().string() + "/bin/../lib/quillor/8.61/libquillor.so";
  fs::create_directories(dir.path().string() + "/bin");
  fs::create_directories(dir.path().string() + "/lib/quillor/8.61");
  std::ofstream(installed) << "x";
  const com::Registry none;
  EXPECT_EQ(ResolveLibrary(Release861(), std::nullopt, none, dir.path().string() + "/bin"),
            installed);
  EXPECT_EQ(ResolveLibrary(Release871(), std::nullopt, none, dir.path().string() + "/bin"),
            dir.path().string() + "/bin/../lib/8.71/libquillor.so");
}

}  // namespace
}  // namespace quillor
