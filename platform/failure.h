// A failure as the component reports it: a signed 32-bit number and a description.
//
// Failures travel upward as exceptions of this one type until an operation that
// owns a failure step catches them (Transact, the ADD batch, the row write).
// Nothing else is ever thrown across the component's own code.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace quillor {

namespace failure_numbers {
// Conversion failures, numbered as the host's automation runtime numbers them.
inline constexpr int32_t kOverflow = 6;
inline constexpr int32_t kOutOfMemory = 7;
inline constexpr int32_t kTypeMismatch = 13;
inline constexpr int32_t kInvalidUseOfNull = 94;
// A refused request value (an operator, a logic word or a value that would change a statement).
inline constexpr int32_t kInvalidArgument = 5;
// The database layer's "item not found in the collection" (0x800A0CC1, reported as its low word).
inline constexpr int32_t kItemNotFound = 3265;
// Database errors: a statement the engine rejects, a constraint violation, and a
// connection or I/O failure.
inline constexpr int32_t kDbStatement = -2147217900;     // 0x80040E14
inline constexpr int32_t kDbConstraint = -2147217873;    // 0x80040E2F
inline constexpr int32_t kFail = -2147467259;            // 0x80004005
inline constexpr int32_t kNotImplemented = -2147467263;  // 0x80004001
inline constexpr int32_t kWrongThread = -2147417842;     // 0x8001010E
}  // namespace failure_numbers

class Failure : public std::exception {
 public:
  Failure(int32_t number, std::string description)
      : number_(number), description_(std::move(description)) {}

  // A platform status code: codes of the automation facility (0x800A....) carry
  // only their low 16 bits, as a positive number; every other code is kept whole.
  static Failure FromStatus(uint32_t status, std::string description);

  static Failure Overflow();
  static Failure TypeMismatch();
  static Failure InvalidUseOfNull();

  int32_t number() const { return number_; }
  const std::string& description() const { return description_; }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  int32_t number_;
  std::string description_;
};

}  // namespace quillor
