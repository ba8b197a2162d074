#include "platform/hosts/message_catalogue.h"

#include "platform/base/failure.h"

namespace quillor {

std::string MessageCatalogue::Text(std::string_view id) const {
  auto it = texts_.find(id);
  if (it == texts_.end()) {
    // The failure's words are the ones replies have always carried.
    throw Failure(failure_numbers::kFail, "MessageCatalog: no message " + std::string(id));
  }
  return it->second;
}

}  // namespace quillor
