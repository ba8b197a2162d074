// Our stand-in for the message catalogue: message ID to display text.
#pragma once

#include <string>
#include <string_view>

#include "messages/message_text_map.h"

namespace quillor {

class MessageCatalogue {
 public:
  explicit MessageCatalogue(const MessageTextMap& texts) : texts_(texts) {}

  // The text of the message; no text has placeholders. An unknown ID is a
  // failure, not an empty text.
  std::string Text(std::string_view id) const;

 private:
  const MessageTextMap& texts_;
};

}  // namespace quillor
