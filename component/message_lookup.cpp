#include "component/message_lookup.h"

#include "platform/base/failure.h"

namespace quillor {

std::string MessageLookup::Text(std::string_view id) const {
  if (!profile_.message_catalogue()) {
    // A release without a catalogue carries its texts itself.
    const MessageTable& fixed = profile_.message_texts();
    auto it = fixed.find(id);
    if (it == fixed.end()) {
      throw Failure(failure_numbers::kFail, "no fixed text for " + std::string(id));
    }
    return it->second;
  }
  if (!catalog_) catalog_ = std::make_unique<MessageCatalog>(profile_.message_texts());
  return catalog_->GetString(id, 0, {});
}

}  // namespace quillor
