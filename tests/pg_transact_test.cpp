// Transact against a PostgreSQL server: a login the server refuses is a failure reply
// with the driver's number and words, never the 529 reply, whatever the request.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "component/material_component.h"
#include "platform/hosts/orvo_login.h"
#include "testing/pg_database.h"

namespace quillor {
namespace {

std::string Transact(const std::string& request, const std::string& connection) {
  com::ComPtr<MaterialComponent> object = MaterialComponent::Create(Release871());
  com::ComPtr<IOrvoLogin> login = MakeLogin(connection, Release871().ids.login_iid);
  IOrvoLogin* raw = login.Get();
  std::string reply;
  EXPECT_EQ(object->Transact(request, &raw, &reply), com::S_OK);
  return reply;
}

TEST(PgTransact, ARefusedLoginIsTheFailureReplyBeforeAnyParse) {
  const auto text = testing::PgConnectionText();
  if (!text) GTEST_SKIP() << "QUILLOR_TEST_PG_CONNECTION is not set";
  for (const char* request : {R"(<ufinterface roottag="material" proc="ADD"/>)", "<x"}) {
    const std::string reply = Transact(request, *text + "wrong");
    EXPECT_THAT(reply, ::testing::StartsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                             "<reply code=\"-2147467259\" message=\""))
        << request;
    EXPECT_THAT(reply,
                ::testing::HasSubstr("password authentication failed for user &quot;quillor&quot;"))
        << request;
  }
}

}  // namespace
}  // namespace quillor
