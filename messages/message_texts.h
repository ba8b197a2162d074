// Where the component's operations get a message's text from: the release's
// catalogue, or its fixed texts.
#pragma once

#include <string>
#include <string_view>

namespace quillor {

class MessageTexts {
 public:
  virtual ~MessageTexts() = default;
  // The text for a message ID; an unknown ID is a failure.
  virtual std::string Text(std::string_view id) const = 0;
};

}  // namespace quillor
