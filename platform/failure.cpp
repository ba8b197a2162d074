#include "platform/failure.h"

namespace quillor {

Failure Failure::FromStatus(uint32_t status, std::string description) {
  if ((status >> 16) == 0x800Au) {
    return Failure(static_cast<int32_t>(status & 0xFFFFu), std::move(description));
  }
  return Failure(static_cast<int32_t>(status), std::move(description));
}

Failure Failure::Overflow() { return Failure(failure_numbers::kOverflow, "Overflow"); }
Failure Failure::TypeMismatch() { return Failure(failure_numbers::kTypeMismatch, "Type mismatch"); }
Failure Failure::InvalidUseOfNull() {
  return Failure(failure_numbers::kInvalidUseOfNull, "Invalid use of Null");
}

}  // namespace quillor
