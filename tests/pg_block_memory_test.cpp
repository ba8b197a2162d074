// A QUERY at the largest block size, on PostgreSQL: the memory it takes follows
// the rows that come and the bound on a block's bytes, not the block size times
// the widest row (which came to about 1.4 GB a call).
#include <gtest/gtest.h>

#include "testing/pg_database.h"
#include "testing/reliability_support.h"
#include "testing/resident_memory.h"
#include "testing/sanitizers.h"

namespace quillor::testing {
namespace {

// Unused where AddressSanitizer's build skips the test.
[[maybe_unused]] std::string Query(const std::string& department) {
  return RequestXml({.root = "ufinterface", .proc = "QUERY", .docid = "d", .paginate = "0"},
                    "<material><field name=\"cDeptID\" operation=\"=\" value=\"" + department +
                        "\"/></material>");
}

TEST(BlockMemoryTest, AQueryAtTheLargestBlockSizeTakesMemoryForTheRowsThatCome) {
#ifdef QUILLOR_UNDER_ASAN
  GTEST_SKIP() << "AddressSanitizer's allocator changes the figures";
#else
  if (!PgConnectionText()) GTEST_SKIP() << "QUILLOR_TEST_PG_CONNECTION is not set";
  if (PeakResidentKib() == 0 || !ResetPeakResident()) {
    GTEST_SKIP() << "no peak resident memory figure on this system";
  }
  SampleDb db;
  std::string lines;
  for (int i = 0; i < 36; ++i) {
    lines += Material(std::to_string(i), "M0" + std::to_string(i / 12 + 1),
                      std::to_string(i % 12 + 1), "3");
  }
  auto object = MaterialComponent::Create(Release871());
  const std::string text = db.ConnectionText() + ";BlockRows=100000";
  for (const ReplyItem& item : Parse(Send(*object, AddRequest(lines), text)).items) {
    ASSERT_EQ(item.code, 0) << item.message;
  }
  struct Case {
    const char* name;
    std::string department;
    int rows;
  };
  const Case cases[] = {{"no row", "none", 0}, {"36 rows", "D01", 36}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // The connection and the catalogue are in place before the figure.
    ASSERT_EQ(QueryRows(Send(*object, Query(c.department), text)), c.rows);
    ASSERT_TRUE(ResetPeakResident());
    const long before = ResidentKib();
    EXPECT_EQ(QueryRows(Send(*object, Query(c.department), text)), c.rows);
    const long peak = PeakResidentKib() - before;
    RecordProperty(std::string("peak_kib_") + (c.rows ? "rows" : "empty"), std::to_string(peak));
    // The block's arrays are bounded at 8 MiB; the rest is the call's own.
    EXPECT_LT(peak, 48 * 1024) << "KiB above the memory resident before the call";
  }
#endif
}

}  // namespace
}  // namespace quillor::testing
