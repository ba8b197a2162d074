// Our stand-in for the message catalogue: message ID to display text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "messages/message_table.h"

namespace quillor {

class MessageCatalog {
 public:
  explicit MessageCatalog(const MessageTable& table) : table_(table) {}

  // The text of the message. Substitution values are never used by the component
  // and no text has placeholders. An unknown ID is a failure, not an empty text.
  std::string GetString(std::string_view id, int32_t reserved,
                        const std::vector<std::string>& substitutions) const;

 private:
  const MessageTable& table_;
};

}  // namespace quillor
