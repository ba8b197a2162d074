// The pieces the releases' message texts are made of. Each piece is in its own
// file, so that a release's library holds only the texts its table uses.
#pragma once

#include "messages/message_text_map.h"

namespace quillor {

// The texts every release shares, byte for byte.
MessageTextMap CommonTexts();
// The texts of a release that resolves cost objects: the common ones, the labels of
// the cost-object values and the not-found text that follows them, and the one
// text that is the release's own.
MessageTextMap CostObjectReleaseTexts(std::string_view own_id, std::string_view own_text);

}  // namespace quillor
