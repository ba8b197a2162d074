// The outcome of one material element, as its item result in the ADD reply
// reports it: a code and a text.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace quillor {

// The item codes of the ADD reply.
enum class ItemCode : int32_t {
  kSuccess = 0,        // valid, and written
  kWriteFailed = 100,  // valid, but the write failed
  kRefused = 101,      // refused by validation
  kBatchFailed = 999,  // a failure that ends the batch (id "Item")
};

struct ItemResult {
  ItemCode code = ItemCode::kSuccess;
  std::string message;
  // Why a write was refused before any statement, in English ("period 2.5 is not
  // a whole number"): the reply's text is one fixed text for every failed write.
  std::string reason;

  static ItemResult Success(std::string message = {}) {
    return {ItemCode::kSuccess, std::move(message), {}};
  }
  static ItemResult Refused(std::string message) {
    return {ItemCode::kRefused, std::move(message), {}};
  }
  static ItemResult WriteFailed(std::string message, std::string reason = {}) {
    return {ItemCode::kWriteFailed, std::move(message), std::move(reason)};
  }

  bool ok() const { return code == ItemCode::kSuccess; }
};

}  // namespace quillor
