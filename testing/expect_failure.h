// For tests: the Failure a statement throws, and an expectation on its number
// and text.
#pragma once

#include <gtest/gtest.h>

#include <functional>

#include "platform/base/failure.h"

namespace quillor::testing {

// Runs action and returns the Failure it threw; a test failure, and Failure(0, ""),
// when it threw none.
inline Failure FailureOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const Failure& f) {
    return f;
  }
  ADD_FAILURE() << "no failure";
  return Failure(0, "");
}

}  // namespace quillor::testing

// Expects statement to throw a Failure with that number and that description.
#define EXPECT_FAILURE(expected_number, expected_text, statement)                                 \
  do {                                                                                            \
    const ::quillor::Failure quillor_failure = ::quillor::testing::FailureOf([&] { statement; }); \
    EXPECT_EQ(quillor_failure.number(), (expected_number)) << #statement;                         \
    EXPECT_EQ(quillor_failure.description(), (expected_text)) << #statement;                      \
  } while (false)
