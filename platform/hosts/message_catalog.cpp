#include "platform/hosts/message_catalog.h"

#include "platform/base/failure.h"

namespace quillor {

std::string MessageCatalog::GetString(std::string_view id, int32_t /*reserved*/,
                                      const std::vector<std::string>& /*substitutions*/) const {
  auto it = table_.find(id);
  if (it == table_.end()) {
    throw Failure(failure_numbers::kFail, "MessageCatalog: no message " + std::string(id));
  }
  return it->second;
}

}  // namespace quillor
