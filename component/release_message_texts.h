// The object's message texts: from the release's catalogue, created at the first
// lookup and kept for the object's life, or from the release's fixed texts.
#pragma once

#include <memory>

#include "messages/message_texts.h"
#include "platform/hosts/message_catalogue.h"
#include "profiles/release_profile.h"

namespace quillor {

class ReleaseMessageTexts final : public MessageTexts {
 public:
  explicit ReleaseMessageTexts(const ReleaseProfile& profile) : profile_(profile) {}
  std::string Text(std::string_view id) const override;

 private:
  const ReleaseProfile& profile_;
  mutable std::unique_ptr<MessageCatalogue> catalogue_;
};

}  // namespace quillor
