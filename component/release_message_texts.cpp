#include "component/release_message_texts.h"

#include "platform/base/failure.h"

namespace quillor {

std::string ReleaseMessageTexts::Text(std::string_view id) const {
  if (!profile_.has_message_catalogue()) {
    // A release without a catalogue carries its texts itself.
    const MessageTextMap& fixed = profile_.message_texts();
    auto it = fixed.find(id);
    if (it == fixed.end()) {
      throw Failure(failure_numbers::kFail, "no fixed text for " + std::string(id));
    }
    return it->second;
  }
  if (!catalogue_) catalogue_ = std::make_unique<MessageCatalogue>(profile_.message_texts());
  return catalogue_->Text(id);
}

}  // namespace quillor
