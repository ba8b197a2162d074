// Requests as an editor or a pretty-printer writes them: the text of a numeric
// field wrapped in line feeds and indentation. Validation skips such blanks, so
// the statements take the text as it came, and the row is stored.
#include <gtest/gtest.h>

#include "testing/release_host.h"

namespace quillor::testing::pretty_numbers {
namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

Fields PrettyLine(std::string_view blank) {
  const auto wrap = [&](std::string_view number) {
    return std::string(blank) + std::string(number) + std::string(blank);
  };
  return {{"departmentno", "D1"}, {"productno", "P1"},       {"inventoryno", "M1"},
          {"serial", "B1"},       {"price", wrap("2")},      {"quantity", wrap("3")},
          {"period", wrap("4")},  {"totalmoney", wrap("6")}, {"irdcode", wrap("0")}};
}

struct PrettyCase {
  const ReleaseProfile& (*profile)();
  const char* blank;
  const char* name;
};

class PrettyNumbers : public ::testing::TestWithParam<PrettyCase> {};

TEST_P(PrettyNumbers, EveryNumericFieldIsStoredWithItsBlanks) {
  const PrettyCase& c = GetParam();
  ReleaseHost host(c.profile());
  SeedReleaseHost(host.db);
  const std::string request = ReleaseAddRequest(Line("1", PrettyLine(c.blank)));
  EXPECT_EQ(Items(host.Call(request)), std::vector<std::string>{"1 0 成功"});
  // Sent again, the line replaces its row where the release deletes first.
  EXPECT_EQ(Items(host.Call(request)), std::vector<std::string>{"1 0 成功"});
  const std::string b = c.blank;
  bool spliced = false;
  for (const std::string& s : host.Statements()) {
    if (s.find("insert ca_mabsw") == std::string::npos) continue;
    spliced = true;
    EXPECT_NE(s.find("," + b + "2" + b + "," + b + "3" + b + "," + b + "4" + b + "," + b + "6" + b),
              std::string::npos)
        << s;
  }
  EXPECT_TRUE(spliced);
  const size_t rows = c.profile().row_write_deletes ? 1 : 2;
  EXPECT_EQ(host.db.Rows("select iPrice,iQua,iPeriod,iMatQua from ca_mabsw"),
            std::vector<std::vector<std::string>>(rows, {"2", "3", "4", "6"}));
  EXPECT_TRUE(host.RefusedWrites().empty());
}

// A production-order line in mode 1: the order line and routing line are compared
// bare, so their blanks stand in the lookup as they came.
TEST_P(PrettyNumbers, OrderLinesWithBlanksFindTheirCostObject) {
  const PrettyCase& c = GetParam();
  if (!c.profile().cost_object_resolution) GTEST_SKIP() << "no cost-object lookup";
  ReleaseHost host(c.profile());
  SeedReleaseHost(host.db);
  host.db.Run("insert into AccInformation values('ca','8601','','1')");
  const std::string b = c.blank;
  Fields line = PrettyLine("");
  line.emplace_back("mocode", "MO1");
  line.emplace_back("mosubsn", b + "1" + b);
  line.emplace_back("moroutesn", b + "2" + b);
  EXPECT_EQ(Items(host.Call(ReleaseAddRequest(Line("1", line)))),
            std::vector<std::string>{"1 0 成功"});
  EXPECT_EQ(host.object().cost_object_mode(), 1);
  EXPECT_EQ(host.db.Rows("select cppid from ca_mabsw"),
            (std::vector<std::vector<std::string>>{{"8"}}));
}

// A carriage return never reaches validation from a parsed text's line ends, and
// a written one is not skipped by it: line feeds, tabs and spaces are the cases.
const PrettyCase kCases[] = {
    {&Release871, "\n  ", "indented"}, {&Release861, "\n  ", "indented"},
    {&Release850, "\n  ", "indented"}, {&Release871, "\n\t ", "tabbed"},
    {&Release861, "\n\t ", "tabbed"},  {&Release850, "\n\t ", "tabbed"},
};

INSTANTIATE_TEST_SUITE_P(Releases, PrettyNumbers, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<PrettyCase>& info) {
                           std::string name(info.param.profile().release);
                           std::erase(name, '.');
                           return "R" + name + "_" + info.param.name;
                         });

// A period with a fraction fails the write with the fixed text, and the trace
// says which field and why, since the reply cannot.
TEST(RefusedWrite, TheTraceSaysWhy) {
  ReleaseHost host(Release871());
  SeedReleaseHost(host.db);
  Fields line = PrettyLine("");
  line[6].second = "2.5";
  line[4].second = "2";
  EXPECT_EQ(Items(host.Call(ReleaseAddRequest(Line("1", line)))),
            std::vector<std::string>{"1 100 数据库操作错误：材料表中已存在该记录，不能重复！"});
  EXPECT_EQ(
      host.RefusedWrites(),
      std::vector<std::string>{"{\"refused\": \"period 2.5 is not a whole number\", "
                               "\"item\": \"1\", \"field\": \"period\", \"value\": \"2.5\"}"});
  line[6].second = "4";
  line[8].second = "x1";
  host.Call(ReleaseAddRequest(Line("2", line)));
  EXPECT_EQ(
      host.RefusedWrites(),
      std::vector<std::string>{"{\"refused\": \"irdcode x1 is not a number\", "
                               "\"item\": \"2\", \"field\": \"irdcode\", \"value\": \"x1\"}"});
}

}  // namespace
}  // namespace quillor::testing::pretty_numbers
