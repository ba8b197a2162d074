#include "component/request_envelope.h"

#include <gtest/gtest.h>

namespace quillor {
namespace {

RequestEnvelope Read(const std::string& text) {
  XmlDocument doc;
  EXPECT_TRUE(doc.LoadXml(text)) << text;
  return RequestEnvelope::FromRoot(doc.Root());
}

TEST(RequestEnvelope, TheOperationIsProcUpperCasedOnceAndOnlyAddInAnyCaseIsAnAdd) {
  struct Case {
    const char* text;
    const char* proc;
    const char* operation;
    bool is_add;
  };
  const Case cases[] = {
      {R"(<r proc="ADD"/>)", "ADD", "ADD", true},
      {R"(<r proc="aDd"/>)", "aDd", "ADD", true},
      {R"(<r proc="query"/>)", "query", "QUERY", false},
      {R"(<r proc=" ADD"/>)", " ADD", " ADD", false},
      {R"(<r proc="ADD2"/>)", "ADD2", "ADD2", false},
      // Only ASCII letters change case: the operation names are ASCII.
      {"<r proc=\"\xC3\xA4\x64\x64\"/>", "\xC3\xA4\x64\x64", "\xC3\xA4\x44\x44", false},
      {R"(<r/>)", "", "", false},
      // A default from the type declaration counts as written.
      {R"(<!DOCTYPE r [<!ATTLIST r proc CDATA "add">]><r/>)", "add", "ADD", true},
  };
  for (const Case& c : cases) {
    const RequestEnvelope e = Read(c.text);
    EXPECT_EQ(e.proc, c.proc) << c.text;
    EXPECT_EQ(e.operation, c.operation) << c.text;
    EXPECT_EQ(e.is_add, c.is_add) << c.text;
  }
}

TEST(RequestEnvelope, TheOtherValuesAreKeptAsWrittenAndAbsentIsNotEmpty) {
  const RequestEnvelope full =
      Read(R"(<r proc="QUERY" docid=" D&amp;1 " roottag="material" paginate=" 2 "/>)");
  EXPECT_EQ(full.docid, " D&1 ");
  EXPECT_EQ(full.roottag, "material");
  EXPECT_EQ(full.paginate, " 2 ");

  const RequestEnvelope empty = Read(R"(<r docid="" roottag="" paginate=""/>)");
  EXPECT_EQ(empty.docid, "");
  EXPECT_EQ(empty.roottag, std::optional<std::string>(""));
  EXPECT_EQ(empty.paginate, std::optional<std::string>(""));

  const RequestEnvelope none = Read("<r/>");
  EXPECT_EQ(none.docid, "");
  EXPECT_EQ(none.roottag, std::nullopt);
  EXPECT_EQ(none.paginate, std::nullopt);
}

}  // namespace
}  // namespace quillor
