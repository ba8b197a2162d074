// A server library unloaded after use leaves nothing of its own behind in the
// process: the host (and any other user of the XML parser) goes on parsing, and
// its parse errors no longer reach code that is gone.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/base/failure.h"
#include "platform/com/inproc_server.h"
#include "testing/built_tree.h"
#include "testing/reliability_support.h"

namespace quillor::testing {
namespace {

TEST(UnloadTest, ParseErrorsAfterTheLibraryIsUnloadedDoNotReachIt) {
  // The host parses first, so whatever it set up for this thread is already in place.
  XmlDocument before;
  EXPECT_FALSE(before.LoadXml("<broken"));

  TestDb db;
  db.Run("insert into ca_mabsw(cDeptID,cMatID,irdcode) values('D1','M1',0)");
  const ReleaseProfile& profile = Release861();
  const std::string library = testing::BuiltLibraryResolved(profile.release);
  // The first library of a process that defines certain shared symbols stays
  // loaded for good; a copy loaded first takes that part, so that the library
  // under test is really unloaded, as any later one in a host is.
  const std::filesystem::path copy = db.dir() / "first" / "libquillor.so";
  std::filesystem::create_directories(copy.parent_path());
  std::filesystem::copy_file(library, copy);
  const com::InprocServer first = com::InprocServer::Load(copy.string());
  {
    const com::InprocServer server = com::InprocServer::Load(library);
    com::ComPtr<com::IClassFactory> factory = server.GetClassObject(profile.ids.clsid);
    com::ComPtr<MaterialInterface> object;
    ASSERT_EQ(factory->CreateInstance(nullptr, profile.ids.interface_iids[0],
                                      reinterpret_cast<void**>(object.Put())),
              com::S_OK);
    com::ComPtr<IOrvoLogin> login = MakeLogin(db.ConnectionText(), profile.ids.login_iid);
    IOrvoLogin* raw = login.Get();
    // The library's own parser runs on this thread.
    std::string reply;
    ASSERT_EQ(
        object->Transact(R"(<zqinterface roottag="m" proc="QUERY" paginate="0"/>)", &raw, &reply),
        com::S_OK);
    EXPECT_TRUE(Parse(reply).parses) << reply;
  }  // the object, then the library, go

  // The library under test is gone from the process.
  std::ifstream maps("/proc/self/maps");
  const std::string mapped((std::istreambuf_iterator<char>(maps)),
                           std::istreambuf_iterator<char>());
  ASSERT_EQ(mapped.find(library), std::string::npos);

  // Each of these raises a parser error on this thread.
  XmlDocument after;
  EXPECT_FALSE(after.LoadXml("<still broken"));
  EXPECT_FALSE(after.LoadXml("<a>\xC3\x28</a>"));
  ASSERT_TRUE(after.LoadXml("<a/>"));
  EXPECT_THROW(after.Root().Select("a b"), Failure);
}

}  // namespace
}  // namespace quillor::testing
