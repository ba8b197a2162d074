#include "tools/quillor/serve/proc_label.h"

#include <gtest/gtest.h>

namespace quillor::serve {
namespace {

TEST(ProcLabel, ProcLabelsAreAFixedSet) {
  EXPECT_EQ(ProcLabel("add"), "ADD");
  EXPECT_EQ(ProcLabel("Query"), "QUERY");
  EXPECT_EQ(ProcLabel("DROP"), "OTHER");
  EXPECT_EQ(ProcLabel(""), "OTHER");
  EXPECT_EQ(ProcLabel("ADD\"}"), "OTHER");
}

}  // namespace
}  // namespace quillor::serve
