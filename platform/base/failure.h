// A failure as the component reports it: a signed 32-bit number and a description.
//
// Failures travel upward as exceptions of this one type until an operation that
// owns a failure step catches them (Transact, the ADD batch, the row write).
// Nothing else is ever thrown across the component's own code.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "platform/base/hresult.h"

namespace quillor {

namespace failure_numbers {
// Failures numbered as the original runtime numbers them.
inline constexpr int32_t kOverflow = 6;
inline constexpr int32_t kOutOfMemory = 7;
inline constexpr int32_t kTypeMismatch = 13;
inline constexpr int32_t kObjectNotSet = 91;  // a member used on an empty object reference
inline constexpr int32_t kInvalidUseOfNull = 94;
// A refused request value (an operator, a logic word or a value that would change a statement).
inline constexpr int32_t kInvalidArgument = 5;
// The database layer's failures of the automation facility (0x800A....), reported
// as their low word: no current record, an operation on a closed object, and
// "item not found in the collection".
inline constexpr int32_t kNoCurrentRecord = 3021;
inline constexpr int32_t kObjectClosed = 3704;
inline constexpr int32_t kItemNotFound = 3265;
// Database errors: a statement the engine rejects, a constraint violation, and a
// connection or I/O failure.
inline constexpr int32_t kDbStatement = -2147217900;   // 0x80040E14
inline constexpr int32_t kDbConstraint = -2147217873;  // 0x80040E2F
inline constexpr int32_t kFail = com::E_FAIL;
inline constexpr int32_t kNotImplemented = com::E_NOTIMPL;
inline constexpr int32_t kWrongThread = com::RPC_E_WRONG_THREAD;
}  // namespace failure_numbers

class Failure : public std::exception {
 public:
  Failure(int32_t number, std::string description)
      : number_(number), description_(std::move(description)) {}

  // A platform status code: codes of the automation facility (0x800A....) carry
  // only their low 16 bits, as a positive number; every other code is kept whole.
  static Failure FromStatus(uint32_t status, std::string description);
  // The exception being handled, as a failure: a Failure as it is, running out of
  // memory in the runtime's words, any other exception's text as a plain failure.
  // Only inside a catch block.
  static Failure FromCurrentException();

  // The failures raised in more than one place, with the runtime's own words.
  static Failure Overflow();
  static Failure OutOfMemory();
  static Failure TypeMismatch();
  static Failure InvalidUseOfNull();
  static Failure ObjectNotSet();
  static Failure NoCurrentRecord();
  static Failure ObjectClosed();
  static Failure ItemNotFound();

  int32_t number() const { return number_; }
  const std::string& description() const { return description_; }
  // The database driver's five-character SQLSTATE when the driver reported the
  // failure ("IM002", "08001"), else empty: a host tells causes apart by it
  // without reading the description's words.
  const std::string& state() const { return state_; }
  Failure&& WithState(std::string state) && {
    state_ = std::move(state);
    return std::move(*this);
  }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  int32_t number_;
  std::string description_;
  std::string state_;
};

}  // namespace quillor
