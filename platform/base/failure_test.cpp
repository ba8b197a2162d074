#include "platform/base/failure.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

namespace quillor {
namespace {

TEST(FailureTest, NamedFailuresCarryTheRuntimesNumbersAndWords) {
  struct Case {
    Failure failure;
    int32_t number;
    const char* description;
  };
  const Case cases[] = {
      {Failure::Overflow(), 6, "Overflow"},
      {Failure::OutOfMemory(), 7, "Out of memory"},
      {Failure::TypeMismatch(), 13, "Type mismatch"},
      {Failure::ObjectNotSet(), 91, "Object variable or With block variable not set"},
      {Failure::InvalidUseOfNull(), 94, "Invalid use of Null"},
      {Failure::NoCurrentRecord(), 3021,
       "Either BOF or EOF is True, or the current record has been deleted. Requested operation "
       "requires a current record."},
      {Failure::ItemNotFound(), 3265,
       "Item cannot be found in the collection corresponding to the requested name or ordinal."},
      {Failure::ObjectClosed(), 3704, "Operation is not allowed when the object is closed."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    EXPECT_EQ(c.failure.number(), c.number);
    EXPECT_STREQ(c.failure.what(), c.description);
  }
}

TEST(FailureTest, AutomationStatusesKeepTheirLowWordOthersStayWhole) {
  EXPECT_EQ(Failure::FromStatus(0x800A0E78u, "").number(), failure_numbers::kObjectClosed);
  EXPECT_EQ(Failure::FromStatus(0x800A0BCDu, "").number(), failure_numbers::kNoCurrentRecord);
  EXPECT_EQ(Failure::FromStatus(0x80004005u, "").number(), failure_numbers::kFail);
  EXPECT_EQ(failure_numbers::kFail, -2147467259);
  EXPECT_EQ(failure_numbers::kNotImplemented, -2147467263);
  EXPECT_EQ(failure_numbers::kWrongThread, -2147417842);
}

// Whatever is thrown becomes a failure at the boundaries that must not let it out.
TEST(FailureTest, TheExceptionBeingHandledBecomesAFailure) {
  const auto as_failure = [](auto thrown) {
    try {
      throw thrown;
    } catch (...) {
      return Failure::FromCurrentException();
    }
  };
  const Failure kept = as_failure(Failure(3265, "not here"));
  EXPECT_EQ(kept.number(), 3265);
  EXPECT_EQ(kept.description(), "not here");
  const Failure memory = as_failure(std::bad_alloc());
  EXPECT_EQ(memory.number(), failure_numbers::kOutOfMemory);
  EXPECT_EQ(memory.description(), "Out of memory");
  const Failure other = as_failure(std::runtime_error("disk on fire"));
  EXPECT_EQ(other.number(), failure_numbers::kFail);
  EXPECT_EQ(other.description(), "disk on fire");
  EXPECT_EQ(as_failure(42).number(), failure_numbers::kFail);
}

}  // namespace
}  // namespace quillor
