// Loads the built server libraries the way a host process does.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>

#include "component/material_interface.h"
#include "platform/base/failure.h"
#include "testing/scoped_env.h"
#include "platform/com/inproc_server.h"
#include "platform/com/registry.h"
#include "platform/hosts/orvo_login.h"
#include "profiles/release_profile.h"
#include "testing/built_tree.h"
#include "testing/temp_dir.h"

namespace quillor {
namespace {

namespace fs = std::filesystem;

using testing::BuiltLibrary;

class ExportsTest : public ::testing::Test {
 protected:
  testing::TempDir temp_;
  const std::string dir_ = temp_.path().string();
  const std::string registry_ = dir_ + "/registry";
  ScopedEnv registry_variable_{"QUILLOR_REGISTRY", registry_.c_str()};
};

TEST_F(ExportsTest, RegistersCreatesAndAnswersTheNoConnectionReply) {
  const ReleaseProfile& profile = Release871();
  com::InprocServer server = com::InprocServer::Load(BuiltLibrary("8.71"));
  ASSERT_EQ(server.Register(), com::S_OK);
  const com::Registry registry = com::Registry::Load(registry_);
  EXPECT_EQ(registry.GetValue("CLSID\\" + profile.ids.clsid.ToString() + "\\InprocServer32"),
            fs::canonical(BuiltLibrary("8.71")).string());
  EXPECT_EQ(registry.GetValue("Quillor.IMaterial\\CLSID"), profile.ids.clsid.ToString());

  EXPECT_EQ(server.CanUnloadNow(), com::S_OK);
  {
    com::ComPtr<com::IClassFactory> factory = server.GetClassObject(profile.ids.clsid);
    ASSERT_TRUE(factory);
    com::ComPtr<MaterialInterface> material;
    ASSERT_EQ(factory->CreateInstance(nullptr, profile.ids.interface_iids[0],
                                      reinterpret_cast<void**>(material.Put())),
              com::S_OK);
    factory.Reset();
    EXPECT_EQ(server.CanUnloadNow(), com::S_FALSE);  // the object is still alive

    com::ComPtr<IOrvoLogin> login = MakeLogin("", profile.ids.login_iid);
    IOrvoLogin* passed = login.Get();
    std::string reply;
    ASSERT_EQ(material->Transact("<zqinterface proc=\"add\"/>", &passed, &reply), com::S_OK);
    EXPECT_NE(reply.find("<reply code=\"529\" message=\"数据库连接错误!\"/>"), std::string::npos)
        << reply;
  }
  EXPECT_EQ(server.CanUnloadNow(), com::S_OK);

  ASSERT_EQ(server.Unregister(), com::S_OK);
  EXPECT_TRUE(com::Registry::Load(registry_).keys().empty());
}

TEST_F(ExportsTest, HandsOutOnlyItsOwnClass) {
  com::InprocServer server = com::InprocServer::Load(BuiltLibrary("8.61"));
  for (const com::Guid& other : {Release871().ids.clsid, Release871().ids.libid}) {
    try {
      server.GetClassObject(other);
      ADD_FAILURE() << "a class object for " << other.ToString();
    } catch (const Failure& f) {
      EXPECT_EQ(f.number(), com::CLASS_E_CLASSNOTAVAILABLE);
    }
  }
  EXPECT_TRUE(server.GetClassObject(Release861().ids.clsid));
}

TEST_F(ExportsTest, LaterRegistrationTakesTheNameAndEarlierRemovalLeavesIt) {
  com::InprocServer s871 = com::InprocServer::Load(BuiltLibrary("8.71"));
  com::InprocServer s861 = com::InprocServer::Load(BuiltLibrary("8.61"));
  ASSERT_EQ(s871.Register(), com::S_OK);
  ASSERT_EQ(s861.Register(), com::S_OK);
  ASSERT_EQ(s871.Unregister(), com::S_OK);
  const com::Registry r = com::Registry::Load(registry_);
  EXPECT_EQ(r.GetValue("Quillor.IMaterial\\CLSID"), Release861().ids.clsid.ToString());
  EXPECT_FALSE(r.HasKey("CLSID\\" + Release871().ids.clsid.ToString()));
  EXPECT_EQ(r.GetValue("CLSID\\" + Release861().ids.clsid.ToString() + "\\InprocServer32"),
            fs::canonical(BuiltLibrary("8.61")).string());
}

TEST_F(ExportsTest, RegistrationThatCannotWriteReportsSelfRegFailure) {
  fs::create_directory(dir_ + "/blocker");
  // The registry path is a directory: the rename over it must fail.
  setenv("QUILLOR_REGISTRY", (dir_ + "/blocker").c_str(), 1);
  com::InprocServer server = com::InprocServer::Load(BuiltLibrary("8.50"));
  EXPECT_EQ(server.Register(), com::SELFREG_E_CLASS);
  EXPECT_EQ(server.Unregister(), com::SELFREG_E_CLASS);
}

TEST(InprocServerTest, AMissingLibraryIsAFailureWithTheLoadersText) {
  try {
    com::InprocServer::Load("/nonexistent/libquillor.so");
    FAIL() << "loaded";
  } catch (const Failure& f) {
    EXPECT_NE(f.description().find("/nonexistent/libquillor.so"), std::string::npos);
    EXPECT_NE(f.description().find("No such file"), std::string::npos) << f.description();
  }
}

TEST(InprocServerTest, ALibraryWithoutTheExportsIsAFailure) {
  try {
    com::InprocServer::Load("libm.so.6");
    FAIL() << "loaded";
  } catch (const Failure& f) {
    EXPECT_NE(f.description().find("DllRegisterServer"), std::string::npos) << f.description();
  }
}

}  // namespace
}  // namespace quillor
