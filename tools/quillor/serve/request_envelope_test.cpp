#include "tools/quillor/serve/request_envelope.h"

#include <gtest/gtest.h>

namespace quillor::serve {
namespace {

std::string Query(const std::string& paginate, const std::string& proc = "QUERY") {
  return "<ufinterface roottag=\"material\" docid=\"Q-1\" proc=\"" + proc + "\" paginate=\"" +
         paginate + "\"><material/></ufinterface>";
}

TEST(RequestEnvelope, PagedWhenTheComponentsConversionGivesAPageSizeOfAtLeastOne) {
  const std::vector<std::pair<std::string, bool>> table = {
      {"3", true},           {"1", true},       {"0", false},       {"-2", false},
      {"&amp;H2", true},     {"&amp;O3", true}, {"&amp;H0", false}, {" 2 ", true},
      {"&#9;2&#13;", true},  {"\t\r\n4", true}, {"+5", true},       {"2E0", true},
      {"0.6", true},         {"0.4", false},    {"0.5", false},     {"1.5", true},
      {"", false},           {"abc", false},    {"2x", false},      {"2147483647", true},
      {"2147483648", false}, {"1e400", false},
  };
  for (const auto& [paginate, paged] : table) {
    EXPECT_EQ(ReadEnvelope(Query(paginate)).paged, paged) << "paginate=\"" << paginate << "\"";
  }
}

TEST(RequestEnvelope, OnlyAQueryInAnyCaseIsPaged) {
  EXPECT_TRUE(ReadEnvelope(Query("3", "query")).paged);
  EXPECT_TRUE(ReadEnvelope(Query("3", "Query")).paged);
  EXPECT_FALSE(ReadEnvelope(Query("3", "ADD")).paged);
  EXPECT_FALSE(ReadEnvelope("<ufinterface proc=\"QUERY\"/>").paged);  // no paginate
}

TEST(RequestEnvelope, ProcAndDocidAsWrittenAndNothingForAnUnreadableStart) {
  const RequestEnvelope add = ReadEnvelope("<ufinterface docid=\"D &amp; 7\" proc=\"add\">");
  EXPECT_EQ(add.proc, "add");
  EXPECT_EQ(add.docid, "D & 7");
  for (const std::string text : {"", "this is <not xml", "<", "   "}) {
    const RequestEnvelope none = ReadEnvelope(text);
    EXPECT_EQ(none.proc, "") << text;
    EXPECT_EQ(none.docid, "") << text;
    EXPECT_FALSE(none.paged) << text;
  }
}

TEST(RequestEnvelope, ProcLabelsAreAFixedSet) {
  EXPECT_EQ(ProcLabel("add"), "ADD");
  EXPECT_EQ(ProcLabel("Query"), "QUERY");
  EXPECT_EQ(ProcLabel("DROP"), "OTHER");
  EXPECT_EQ(ProcLabel(""), "OTHER");
  EXPECT_EQ(ProcLabel("ADD\"}"), "OTHER");
}

}  // namespace
}  // namespace quillor::serve
