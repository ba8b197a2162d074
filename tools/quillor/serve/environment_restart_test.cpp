#include "tools/quillor/serve/environment_restart.h"

#include <gtest/gtest.h>

namespace quillor::serve {
namespace {

using Entries = std::vector<std::string>;
using Wanted = std::map<std::string, std::string>;

TEST(EnvironmentRestart, TheEnvironmentGetsTheWantedValuesAndNothingElseChanges) {
  const struct {
    Entries current;
    Wanted wanted;
    Entries expected;  // empty: no restart
  } cases[] = {
      {{"PATH=/bin", "TZ=UTC"}, {}, {}},
      {{"PATH=/bin", "TZ=UTC"}, {{"TZ", "UTC"}}, {}},
      // Replaced in place; the order of the rest is kept.
      {{"A=1", "TZ=UTC", "B=2"}, {{"TZ", "Europe/Paris"}}, {"A=1", "TZ=Europe/Paris", "B=2"}},
      // Added at the end.
      {{"A=1"}, {{"ODBCSYSINI", "/etc/odbc"}}, {"A=1", "ODBCSYSINI=/etc/odbc"}},
      // A name held twice is held once, with the wanted value.
      {{"TZ=a", "X=1", "TZ=b"}, {{"TZ", "c"}}, {"TZ=c", "X=1"}},
      // The last entry of a name is the one getenv gives: a wrong duplicate still restarts.
      {{"TZ=c", "TZ=b"}, {{"TZ", "c"}}, {"TZ=c"}},
      // A prefix of a name is another name; an entry with no '=' is kept as it is.
      {{"TZONE=c", "ODD"}, {{"TZ", "c"}}, {"TZONE=c", "ODD", "TZ=c"}},
      // An empty value is a value.
      {{"TZ=c"}, {{"TZ", ""}}, {"TZ="}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EnvironmentWith(c.current, c.wanted), c.expected)
        << ::testing::PrintToString(c.current) << " + " << ::testing::PrintToString(c.wanted);
  }
}

TEST(EnvironmentRestart, AProcessThatHoldsTheValuesGoesOn) {
  EXPECT_EQ(RestartInEnvironment({}), "");
  ASSERT_NE(std::getenv("PATH"), nullptr);
  EXPECT_EQ(RestartInEnvironment({{"PATH", std::getenv("PATH")}}), "");
}

}  // namespace
}  // namespace quillor::serve
