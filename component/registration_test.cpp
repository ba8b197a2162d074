#include "component/registration.h"

#include <gtest/gtest.h>

namespace quillor {
namespace {

constexpr const char* kLib871 = "/opt/quillor/8.71/libquillor.so";
constexpr const char* kLib861 = "/opt/quillor/8.61/libquillor.so";

struct Expected {
  const char* key;
  const char* name;
  const char* data;
};

void ExpectValues(const com::Registry& r, const std::vector<Expected>& expected) {
  for (const Expected& e : expected) {
    EXPECT_EQ(r.GetValue(e.key, e.name), std::optional<std::string>(e.data))
        << e.key << " : " << e.name;
  }
}

TEST(RegistrationTest, Release871WritesClassNameBothInterfacesAndTypeLibrary) {
  com::Registry r;
  RegisterServer(r, Release871(), kLib871);
  ExpectValues(
      r, {
             {"CLSID\\{CB6E8E80-C56C-4F6B-97B0-A71C5626F6D3}", "", "IMaterial"},
             {"CLSID\\{CB6E8E80-C56C-4F6B-97B0-A71C5626F6D3}\\ProgID", "", "Quillor.IMaterial"},
             {"CLSID\\{CB6E8E80-C56C-4F6B-97B0-A71C5626F6D3}\\InprocServer32", "", kLib871},
             {"CLSID\\{CB6E8E80-C56C-4F6B-97B0-A71C5626F6D3}\\InprocServer32", "ThreadingModel",
              "Apartment"},
             {"CLSID\\{CB6E8E80-C56C-4F6B-97B0-A71C5626F6D3}\\TypeLib", "",
              "{75584C87-AEC6-44D6-A671-CD61766F21EF}"},
             {"CLSID\\{CB6E8E80-C56C-4F6B-97B0-A71C5626F6D3}\\Version", "", "1.1"},
             {"Quillor.IMaterial", "", "IMaterial"},
             {"Quillor.IMaterial\\CLSID", "", "{CB6E8E80-C56C-4F6B-97B0-A71C5626F6D3}"},
             {"Interface\\{0BB9C7B9-98F3-4031-B308-C1520C47836B}", "", "_IMaterial"},
             {"Interface\\{0BB9C7B9-98F3-4031-B308-C1520C47836B}\\ProxyStubClsid32", "",
              "{00020424-0000-0000-C000-000000000046}"},
             {"Interface\\{0BB9C7B9-98F3-4031-B308-C1520C47836B}\\TypeLib", "",
              "{75584C87-AEC6-44D6-A671-CD61766F21EF}"},
             {"Interface\\{0BB9C7B9-98F3-4031-B308-C1520C47836B}\\TypeLib", "Version", "1.1"},
             {"Interface\\{74F0A8A9-97A5-440A-9C79-EA76CA472DA4}", "", "IMaterial___v0"},
             {"Interface\\{74F0A8A9-97A5-440A-9C79-EA76CA472DA4}\\ProxyStubClsid32", "",
              "{00020424-0000-0000-C000-000000000046}"},
             {"Interface\\{74F0A8A9-97A5-440A-9C79-EA76CA472DA4}\\TypeLib", "",
              "{75584C87-AEC6-44D6-A671-CD61766F21EF}"},
             {"TypeLib\\{75584C87-AEC6-44D6-A671-CD61766F21EF}\\1.1", "", "Quillor"},
             {"TypeLib\\{75584C87-AEC6-44D6-A671-CD61766F21EF}\\1.1\\0\\win32", "", kLib871},
             {"TypeLib\\{75584C87-AEC6-44D6-A671-CD61766F21EF}\\1.1\\Methods", "Transact",
              "0x60030000"},
             {"TypeLib\\{75584C87-AEC6-44D6-A671-CD61766F21EF}\\1.1\\Methods", "QueryProc",
              "0x60030005"},
             {"TypeLib\\{75584C87-AEC6-44D6-A671-CD61766F21EF}\\1.1\\Methods", "AddObjectReference",
              "0x6003000D"},
             {"TypeLib\\{75584C87-AEC6-44D6-A671-CD61766F21EF}\\1.1\\Methods",
              "DropObjectReference", "0x6003000E"},
         });
}

TEST(RegistrationTest, Release861WritesOneInterfaceAndTwoMethods) {
  com::Registry r;
  RegisterServer(r, Release861(), kLib861);
  ExpectValues(r,
               {
                   {"CLSID\\{BF180A4F-7856-4DA7-8B5A-FCB8AA5B9F9E}\\InprocServer32", "", kLib861},
                   {"CLSID\\{BF180A4F-7856-4DA7-8B5A-FCB8AA5B9F9E}\\Version", "", "1.0"},
                   {"Interface\\{C24B7A92-CBE4-480A-AEBC-44794F84CCAF}", "", "_IMaterial"},
                   {"TypeLib\\{A13D57A3-5E85-4DB6-8878-DE7C5A3B0A8D}\\1.0", "", "Quillor"},
                   {"TypeLib\\{A13D57A3-5E85-4DB6-8878-DE7C5A3B0A8D}\\1.0\\Methods", "Transact",
                    "0x60030000"},
                   {"TypeLib\\{A13D57A3-5E85-4DB6-8878-DE7C5A3B0A8D}\\1.0\\Methods", "QueryProc",
                    "0x60030005"},
               });
  const auto& keys = r.keys();
  const auto methods = keys.find("TypeLib\\{A13D57A3-5E85-4DB6-8878-DE7C5A3B0A8D}\\1.0\\Methods");
  ASSERT_NE(methods, keys.end());
  EXPECT_EQ(methods->second.size(), 2u);
  int interfaces = 0;
  for (const auto& [key, values] : keys) {
    if (key.starts_with("Interface\\") && key.find('\\', 10) == std::string::npos) ++interfaces;
  }
  EXPECT_EQ(interfaces, 1);
  EXPECT_FALSE(r.HasKey("CLSID\\{CB6E8E80-C56C-4F6B-97B0-A71C5626F6D3}"));
}

TEST(RegistrationTest, TheNameFollowsTheLastRegistrationAndSurvivesTheOthersRemoval) {
  com::Registry r;
  RegisterServer(r, Release871(), kLib871);
  RegisterServer(r, Release861(), kLib861);
  EXPECT_EQ(r.GetValue("Quillor.IMaterial\\CLSID"), "{BF180A4F-7856-4DA7-8B5A-FCB8AA5B9F9E}");
  // Both classes are registered side by side.
  EXPECT_EQ(r.GetValue(ClassKey(Release871()) + "\\InprocServer32"), kLib871);

  UnregisterServer(r, Release871());
  EXPECT_FALSE(r.HasKey(ClassKey(Release871())));
  EXPECT_FALSE(r.HasKey("Interface\\{0BB9C7B9-98F3-4031-B308-C1520C47836B}"));
  EXPECT_FALSE(r.HasKey("Interface\\{74F0A8A9-97A5-440A-9C79-EA76CA472DA4}"));
  EXPECT_FALSE(r.HasKey("TypeLib\\{75584C87-AEC6-44D6-A671-CD61766F21EF}"));
  EXPECT_EQ(r.GetValue("Quillor.IMaterial\\CLSID"), "{BF180A4F-7856-4DA7-8B5A-FCB8AA5B9F9E}");
  EXPECT_EQ(r.GetValue(ClassKey(Release861()) + "\\InprocServer32"), kLib861);
  EXPECT_EQ(r.GetValue("Interface\\{C24B7A92-CBE4-480A-AEBC-44794F84CCAF}"), "_IMaterial");
  EXPECT_EQ(r.GetValue(TypeLibVersionKey(Release861())), "Quillor");

  UnregisterServer(r, Release861());
  EXPECT_TRUE(r.keys().empty()) << r.ToText();
}

TEST(RegistrationTest, ReleasesSharingIdentifiersReplaceEachOthersPath) {
  com::Registry r;
  RegisterServer(r, Release861(), kLib861);
  RegisterServer(r, Release850(), "/opt/quillor/8.50/libquillor.so");
  EXPECT_EQ(r.GetValue(ClassKey(Release861()) + "\\InprocServer32"),
            "/opt/quillor/8.50/libquillor.so");
  // Registering twice changes nothing.
  const std::string once = r.ToText();
  RegisterServer(r, Release850(), "/opt/quillor/8.50/libquillor.so");
  EXPECT_EQ(r.ToText(), once);
}

}  // namespace
}  // namespace quillor
