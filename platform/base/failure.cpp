#include "platform/base/failure.h"

#include <new>

namespace quillor {

Failure Failure::FromStatus(uint32_t status, std::string description) {
  if ((status >> 16) == 0x800Au) {
    return Failure(static_cast<int32_t>(status & 0xFFFFu), std::move(description));
  }
  return Failure(static_cast<int32_t>(status), std::move(description));
}

Failure Failure::FromCurrentException() {
  try {
    throw;
  } catch (const Failure& failure) {
    return failure;
  } catch (const std::bad_alloc&) {
    return OutOfMemory();
  } catch (const std::exception& e) {
    return Failure(failure_numbers::kFail, e.what());
  } catch (...) {
    return Failure(failure_numbers::kFail, "Unknown failure");
  }
}

Failure Failure::Overflow() { return Failure(failure_numbers::kOverflow, "Overflow"); }
Failure Failure::OutOfMemory() { return Failure(failure_numbers::kOutOfMemory, "Out of memory"); }
Failure Failure::TypeMismatch() { return Failure(failure_numbers::kTypeMismatch, "Type mismatch"); }
Failure Failure::InvalidUseOfNull() {
  return Failure(failure_numbers::kInvalidUseOfNull, "Invalid use of Null");
}
Failure Failure::ObjectNotSet() {
  return Failure(failure_numbers::kObjectNotSet, "Object variable or With block variable not set");
}
Failure Failure::NoCurrentRecord() {
  return Failure(failure_numbers::kNoCurrentRecord,
                 "Either BOF or EOF is True, or the current record has been deleted. Requested "
                 "operation requires a current record.");
}
Failure Failure::ObjectClosed() {
  return Failure(failure_numbers::kObjectClosed,
                 "Operation is not allowed when the object is closed.");
}
Failure Failure::ItemNotFound() {
  return Failure(failure_numbers::kItemNotFound,
                 "Item cannot be found in the collection corresponding to the requested name or "
                 "ordinal.");
}

}  // namespace quillor
