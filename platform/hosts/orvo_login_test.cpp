#include "platform/hosts/orvo_login.h"

#include <gtest/gtest.h>

namespace quillor {
namespace {

const com::Guid kLoginIid = com::Guid::FromString("{98529E03-B1BF-48D4-82AC-F861BCD28C6B}");

TEST(OrvoLoginTest, AnswersItsThreeInterfacesOnly) {
  const long before = com::LiveObjectCount().load();
  {
    com::ComPtr<IOrvoLogin> login = MakeLogin("Provider=SQLite;Data Source=x.db", kLoginIid);
    struct Case {
      com::Guid iid;
      com::HRESULT hr;
    };
    for (const Case& c :
         {Case{kLoginIid, com::S_OK}, Case{com::kIID_IDispatch, com::S_OK},
          Case{com::kIID_IUnknown, com::S_OK},
          Case{com::Guid::FromString("{EA9CCF4A-31A8-4C07-86C5-1624DF0A7329}"), com::E_NOINTERFACE},
          Case{com::kIID_IClassFactory, com::E_NOINTERFACE}}) {
      void* out = reinterpret_cast<void*>(1);
      EXPECT_EQ(login->QueryInterface(c.iid, &out), c.hr) << c.iid.ToString();
      if (c.hr == com::S_OK) {
        EXPECT_EQ(out, static_cast<IOrvoLogin*>(login.Get()));
        static_cast<IOrvoLogin*>(out)->Release();
      } else {
        EXPECT_EQ(out, nullptr);
      }
    }
    EXPECT_EQ(login->QueryInterface(kLoginIid, nullptr), com::E_POINTER);
    EXPECT_EQ(com::LiveObjectCount().load(), before + 1);
  }
  EXPECT_EQ(com::LiveObjectCount().load(), before);
}

TEST(OrvoLoginTest, GivesItsTextByTableAndByName) {
  const std::string text = "Provider=SQLite;Data Source=/tmp/é.db";
  com::ComPtr<IOrvoLogin> login = MakeLogin(text, kLoginIid);
  std::string direct;
  ASSERT_EQ(login->get_ConnectionString(&direct), com::S_OK);
  EXPECT_EQ(direct, text);

  for (const char* name : {"ConnectionString", "connectionstring", "CONNECTIONSTRING"}) {
    std::vector<com::Variant> args;
    const com::Variant v = com::InvokeByName(*login, name, args, com::InvokeKind::kPropertyGet);
    EXPECT_EQ(v.Get<std::string>(), text) << name;
  }
  int32_t dispid = 0;
  EXPECT_EQ(login->GetIDsOfNames("ConnectionStrin", &dispid), com::DISP_E_UNKNOWNNAME);
  EXPECT_EQ(login->GetIDsOfNames("UserName", &dispid), com::DISP_E_UNKNOWNNAME);
}

TEST(OrvoLoginTest, TheEmptyTextIsKeptAndThePropertyIsReadOnly) {
  com::ComPtr<IOrvoLogin> login = MakeLogin("", kLoginIid);
  int32_t dispid = 0;
  ASSERT_EQ(login->GetIDsOfNames("ConnectionString", &dispid), com::S_OK);
  std::vector<com::Variant> none;
  com::Variant result("not yet");
  com::ExceptionInfo info;
  ASSERT_EQ(login->Invoke(dispid, com::InvokeKind::kPropertyGet, none, &result, &info), com::S_OK);
  EXPECT_EQ(result.Get<std::string>(), "");

  std::vector<com::Variant> one{com::Variant("other")};
  EXPECT_EQ(login->Invoke(dispid, com::InvokeKind::kPropertyPut, one, nullptr, &info),
            com::DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(login->Invoke(dispid, com::InvokeKind::kPropertyGet, one, &result, &info),
            com::DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(login->Invoke(dispid + 1, com::InvokeKind::kPropertyGet, none, &result, &info),
            com::DISP_E_MEMBERNOTFOUND);
  std::string direct = "x";
  login->get_ConnectionString(&direct);
  EXPECT_EQ(direct, "");
}

}  // namespace
}  // namespace quillor
