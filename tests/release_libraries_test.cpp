// The three built server libraries side by side: each registers only its own
// identifiers, a later registration takes the shared programmatic name, and
// unregistering one release leaves what another registered.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "component/registration.h"
#include "platform/com/inproc_server.h"
#include "platform/com/registry.h"
#include "testing/built_tree.h"
#include "testing/scoped_env.h"
#include "testing/test_db.h"
#include "tools/quillor/cli.h"

namespace quillor::testing {
namespace {

namespace fs = std::filesystem;

std::string LibraryOf(const ReleaseProfile& profile) {
  return testing::BuiltLibraryResolved(profile.release);
}

std::vector<com::Guid> GuidsOf(const ReleaseProfile& p) {
  const ReleaseIdentity& ids = p.ids;
  std::vector<com::Guid> out{ids.libid,
                             ids.clsid,
                             ids.eai_helper_clsid,
                             ids.eai_helper_iid,
                             ids.login_iid,
                             ids.record_mapper_clsid,
                             ids.record_mapper_iid};
  if (ids.message_catalogue) {
    out.push_back(ids.message_catalogue->clsid);
    out.push_back(ids.message_catalogue->iid);
  }
  out.insert(out.end(), ids.interface_iids.begin(), ids.interface_iids.end());
  std::erase(out, com::Guid{});
  return out;
}

class ReleaseLibraries : public ::testing::Test {
 protected:
  // What the release's keys are when it alone is registered.
  static std::string AloneText(const ReleaseProfile& profile) {
    com::Registry r;
    RegisterServer(r, profile, LibraryOf(profile));
    return r.ToText();
  }
  com::Registry Current() const { return com::Registry::Load(registry_); }

  TempDir dir_;
  const std::string registry_ = (dir_.path() / "registry").string();
  ScopedEnv registry_variable_{"QUILLOR_REGISTRY", registry_.c_str()};
};

// The build makes one library per release of its own list; that list is the
// profiles' list, in the same order, so no release is built without its profile
// or offered by the command without its library.
TEST(ReleaseList, TheBuildsReleasesAreTheProfilesReleases) {
  std::vector<std::string> built;
  std::string_view list = QUILLOR_RELEASES_BUILT;
  for (size_t comma; (comma = list.find(',')) != std::string_view::npos;) {
    built.emplace_back(list.substr(0, comma));
    list.remove_prefix(comma + 1);
  }
  built.emplace_back(list);
  EXPECT_EQ(built, ReleaseNames());
  for (const ReleaseProfile* profile : AllReleases()) {
    EXPECT_TRUE(fs::exists(LibraryOf(*profile))) << profile->release;
    EXPECT_EQ(FindRelease(profile->release), profile);
  }
}

// A profile says its class is shared exactly when another release registers it.
TEST_F(ReleaseLibraries, AClassIsSharedExactlyWhenAnotherReleaseRegistersIt) {
  for (const ReleaseProfile* profile : AllReleases()) {
    bool shared = false;
    for (const ReleaseProfile* other : AllReleases()) {
      shared = shared || (other != profile && other->ids.clsid == profile->ids.clsid);
    }
    EXPECT_EQ(profile->ids.class_shared, shared) << profile->release;
  }
}

TEST_F(ReleaseLibraries, EachRegistersExactlyItsOwnKeys) {
  for (const ReleaseProfile* profile : AllReleases()) {
    fs::remove(registry_);
    const com::InprocServer server = com::InprocServer::Load(LibraryOf(*profile));
    ASSERT_EQ(server.Register(), com::S_OK) << profile->release;
    const com::Registry r = Current();
    EXPECT_EQ(r.ToText(), AloneText(*profile)) << profile->release;
    EXPECT_EQ(r.GetValue(ClassKey(*profile) + "\\InprocServer32"), LibraryOf(*profile));
    EXPECT_EQ(r.GetValue("Quillor.IMaterial\\CLSID"), profile->ids.clsid.ToString());
    ASSERT_EQ(server.Unregister(), com::S_OK);
    EXPECT_TRUE(Current().keys().empty()) << Current().ToText();
  }
}

TEST_F(ReleaseLibraries, TheLastRegistrationHoldsTheNameAndRemovalTakesOnlyItsOwn) {
  for (const ReleaseProfile* first : AllReleases()) {
    for (const ReleaseProfile* last : AllReleases()) {
      if (first == last) continue;
      const std::string pair = std::string(first->release) + " then " + std::string(last->release);
      fs::remove(registry_);
      const com::InprocServer a = com::InprocServer::Load(LibraryOf(*first));
      const com::InprocServer b = com::InprocServer::Load(LibraryOf(*last));
      ASSERT_EQ(a.Register(), com::S_OK);
      ASSERT_EQ(b.Register(), com::S_OK);
      const com::Registry both = Current();
      EXPECT_EQ(both.GetValue("Quillor.IMaterial\\CLSID"), last->ids.clsid.ToString()) << pair;
      EXPECT_EQ(both.GetValue(ClassKey(*last) + "\\InprocServer32"), LibraryOf(*last)) << pair;

      // The first release goes: the last one's registration is whole.
      ASSERT_EQ(a.Unregister(), com::S_OK);
      EXPECT_EQ(Current().ToText(), AloneText(*last)) << pair;
      ASSERT_EQ(b.Unregister(), com::S_OK);
      EXPECT_TRUE(Current().keys().empty()) << pair << "\n" << Current().ToText();
    }
  }
}

TEST_F(ReleaseLibraries, AStaleRegistrationOfASharedClassIsRemoved) {
  // 8.50 registered from a file that is gone since: 8.61 takes its keys away.
  {
    com::Registry r;
    RegisterServer(r, Release850(), (dir_.path() / "moved" / "libquillor.so").string());
    std::ofstream(registry_) << r.ToText();
  }
  const com::InprocServer server = com::InprocServer::Load(LibraryOf(Release861()));
  ASSERT_EQ(server.Unregister(), com::S_OK);
  EXPECT_TRUE(Current().keys().empty()) << Current().ToText();
}

TEST_F(ReleaseLibraries, TheCommandRunsTheReleaseAskedForWhateverSharesItsClass) {
  TestDb db;
  db.Run("insert into ca_mabsw(cDeptID,cMatID,irdcode) values('D1','M1',0)");
  const std::string query = R"(<ufinterface roottag="m" proc="QUERY" paginate="0"/>)";
  struct Case {
    const ReleaseProfile* asked;
    const ReleaseProfile* registered;
    const char* has;    // a field of the asked release's result
    const char* lacks;  // a field of the other's
  };
  const Case cases[] = {{&Release861(), &Release850(), "<mosubsn", "<irdcode"},
                        {&Release850(), &Release861(), "<irdcode", "<mosubsn"}};
  for (const Case& c : cases) {
    fs::remove(registry_);
    const com::InprocServer other = com::InprocServer::Load(LibraryOf(*c.registered));
    ASSERT_EQ(other.Register(), com::S_OK);
    std::istringstream in(query);
    std::ostringstream out, err;
    ASSERT_EQ(RunCommandLine({"quillor", "transact", "--release", std::string(c.asked->release),
                              "--connection", db.ConnectionText(), "-"},
                             in, out, err),
              0)
        << err.str();
    EXPECT_NE(out.str().find(c.has), std::string::npos) << c.asked->release << out.str();
    EXPECT_EQ(out.str().find(c.lacks), std::string::npos) << c.asked->release << out.str();
  }
}

TEST_F(ReleaseLibraries, NoLibraryCarriesAnotherReleasesOwnIdentifiers) {
  for (const ReleaseProfile* own : AllReleases()) {
    const std::string bytes = testing::ReadFileText(LibraryOf(*own));
    const std::vector<com::Guid> mine = GuidsOf(*own);
    for (const com::Guid& g : mine) {
      EXPECT_NE(bytes.find(g.ToString()), std::string::npos)
          << own->release << " lacks its own " << g.ToString();
    }
    for (const ReleaseProfile* other : AllReleases()) {
      for (const com::Guid& g : GuidsOf(*other)) {
        if (std::find(mine.begin(), mine.end(), g) != mine.end()) continue;
        EXPECT_EQ(bytes.find(g.ToString()), std::string::npos)
            << own->release << " holds " << g.ToString() << " of " << other->release;
      }
    }
  }
}

TEST_F(ReleaseLibraries, MessageTextsAreOnlyThoseTheReleaseUses) {
  const std::string lib871 = testing::ReadFileText(LibraryOf(Release871()));
  const std::string lib861 = testing::ReadFileText(LibraryOf(Release861()));
  const std::string lib850 = testing::ReadFileText(LibraryOf(Release850()));
  // A text a library does not carry is nowhere in it. (That a library does carry
  // a text is shown by its replies: an optimising build may spell a short text
  // as immediate stores, so its bytes need not stand together in the file.)
  EXPECT_EQ(lib861.find("委外标识："), std::string::npos);
  EXPECT_EQ(lib850.find("委外标识："), std::string::npos);
  EXPECT_EQ(lib871.find("该期间已结帐！"), std::string::npos);
  EXPECT_EQ(lib850.find("，找不到对应的成本对象！"), std::string::npos);
  EXPECT_EQ(lib850.find("BOM版本标识："), std::string::npos);
  EXPECT_EQ(lib861.find("产品结构主表中无该产品编码"), std::string::npos);
  EXPECT_EQ(lib871.find("产品结构主表中无该产品编码"), std::string::npos);
}

}  // namespace
}  // namespace quillor::testing
