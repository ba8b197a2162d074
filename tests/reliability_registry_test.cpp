// The registry file under registrations from several processes at once, one of
// them killed mid-way: every reader at every moment finds a whole file, with each
// release's keys either all there or all gone.
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "component/registration.h"
#include "platform/base/failure.h"
#include "testing/scoped_env.h"
#include "testing/reliability_support.h"
#include "testing/temp_dir.h"

namespace quillor::testing {
namespace {

using com::Registry;

// A release's class key and its type-library key are written by one change, so
// they stand or fall together.
void ExpectWhole(const Registry& registry, const ReleaseProfile& profile) {
  const bool has_class = registry.HasKey(ClassKey(profile) + "\\InprocServer32");
  EXPECT_EQ(registry.HasKey(ClassKey(profile)), has_class);
  EXPECT_EQ(registry.HasKey(TypeLibVersionKey(profile) + "\\0\\win32"), has_class);
}

// Registers and unregisters a release `rounds` times (forever for 0), then exits.
[[noreturn]] void Churn(const std::string& path, const ReleaseProfile& profile, int rounds,
                        const std::string& library) {
  int status = 0;
  try {
    for (int i = 0; rounds == 0 || i < rounds; ++i) {
      Registry::Update(path, [&](Registry& r) { RegisterServer(r, profile, library); });
      Registry::Update(path, [&](Registry& r) { UnregisterServer(r, profile); });
    }
  } catch (...) {
    status = 1;
  }
  _exit(status);
}

TEST(RegistryStressTest, RegistrationsAtOnceAndAKilledWriterLeaveAWholeFile) {
  TempDir dir;
  const std::string path = (dir.path() / "registry").string();
  ScopedEnv registry_variable("QUILLOR_REGISTRY", path.c_str());
  const std::string library = (dir.path() / "libquillor.so").string();
  // A key no writer touches: none may lose it.
  Registry::Update(path, [](Registry& r) { r.SetValue("Software\\Kept", "", "yes"); });

  const pid_t first = fork();
  if (first == 0) Churn(path, Release871(), 150, library);
  const pid_t second = fork();
  if (second == 0) Churn(path, Release861(), 150, library);
  // Endless writers, each killed part-way through, one after another.
  constexpr int kVictims = 5;
  int killed = 0;
  auto spawn_victim = [&] {
    const pid_t pid = fork();
    if (pid == 0) Churn(path, Release850(), 0, library);
    return pid;
  };
  pid_t victim = spawn_victim();
  auto next_kill = std::chrono::steady_clock::now() + std::chrono::milliseconds(60);

  int reads = 0;
  bool first_done = false;
  while (!first_done || killed < kVictims) {
    const std::string text = testing::ReadFileText(path);
    ASSERT_NO_THROW({
      const Registry registry = Registry::FromText(text);
      EXPECT_EQ(registry.ToText(), text);
      EXPECT_EQ(registry.GetValue("Software\\Kept"), "yes");
      ExpectWhole(registry, Release871());
      ExpectWhole(registry, Release861());
    }) << text.substr(0, 200);
    ++reads;
    int status = 0;
    if (killed < kVictims && std::chrono::steady_clock::now() > next_kill) {
      ASSERT_EQ(kill(victim, SIGKILL), 0);
      ASSERT_EQ(waitpid(victim, &status, 0), victim);
      EXPECT_TRUE(WIFSIGNALED(status));
      if (++killed < kVictims) victim = spawn_victim();
      next_kill = std::chrono::steady_clock::now() + std::chrono::milliseconds(37 + 11 * killed);
    }
    if (!first_done && waitpid(first, &status, WNOHANG) == first) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
      first_done = true;
    }
  }
  int status = 0;
  ASSERT_EQ(waitpid(second, &status, 0), second);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_GT(reads, 10);

  // The killed writer holds no lock beyond its death: a new change goes through.
  // (8.50 and 8.61 share their class, so this removes what the killed one left.)
  Registry::Update(path, [&](Registry& r) { UnregisterServer(r, Release850()); });
  const Registry final_state = Registry::Load(path);
  EXPECT_FALSE(final_state.HasKey(ClassKey(Release871())));
  EXPECT_FALSE(final_state.HasKey(ClassKey(Release861())));
  EXPECT_EQ(final_state.GetValue("Software\\Kept"), "yes");
}

// A registry path that is a symbolic link (directly, through a chain, relative or
// dangling) is followed: the link stays a link, the change lands in its target,
// and the lock sits beside the target. A read-only file is refused and kept.
TEST(RegistryLinkTest, LinksAreFollowedAndReadOnlyFilesRefused) {
  namespace fs = std::filesystem;
  TempDir dir;
  const fs::path real = dir.path() / "real" / "registry";
  fs::create_directories(real.parent_path());
  fs::create_directories(dir.path() / "links");
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> links;  // link, target (in order of making)
    bool target_exists;
  };
  const Case cases[] = {
      {"absolute", {{"links/registry", real.string()}}, true},
      {"relative", {{"links/registry", "../real/registry"}}, true},
      {"chain", {{"links/second", real.string()}, {"links/registry", "second"}}, true},
      {"dangling", {{"links/registry", real.string()}}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(dir.path() / "links");
    fs::create_directories(dir.path() / "links");
    fs::remove(real);
    fs::remove(real.string() + ".lock");
    if (c.target_exists) {
      Registry::Update(real.string(), [](Registry& r) { r.SetValue("Software\\Kept", "", "yes"); });
    }
    for (const auto& [link, target] : c.links) fs::create_symlink(target, dir.path() / link);
    const std::string named = (dir.path() / "links" / "registry").string();
    Registry::Update(named, [](Registry& r) { r.SetValue("Software\\New", "", "1"); });
    EXPECT_TRUE(fs::is_symlink(named));
    EXPECT_TRUE(fs::exists(real.string() + ".lock"));
    EXPECT_FALSE(fs::exists(named + ".lock"));
    const Registry through_link = Registry::Load(named);
    EXPECT_EQ(Registry::Load(real.string()).GetValue("Software\\New"), "1");
    EXPECT_EQ(through_link.GetValue("Software\\New"), "1");
    EXPECT_EQ(through_link.HasKey("Software\\Kept"), c.target_exists);
  }

  // Read-only, reached directly or through a link: refused, content and mode kept.
  fs::permissions(real, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const std::string before = testing::ReadFileText(real.string());
  for (const std::string& named : {real.string(), (dir.path() / "links" / "registry").string()}) {
    SCOPED_TRACE(named);
    try {
      Registry::Update(named, [](Registry& r) { r.SetValue("Software\\Lost", "", "1"); });
      ADD_FAILURE() << "a read-only registry file was replaced";
    } catch (const Failure& f) {
      EXPECT_NE(f.description().find("is read-only"), std::string::npos) << f.description();
      EXPECT_NE(f.description().find(real.string()), std::string::npos) << f.description();
    }
    EXPECT_EQ(testing::ReadFileText(real.string()), before);
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::owner_write, fs::perms::none);
  }
}

}  // namespace
}  // namespace quillor::testing
