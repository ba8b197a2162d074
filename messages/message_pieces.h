// The pieces the releases' message tables are made of. Each piece is in its own
// file, so that a release's library holds only the texts its table uses.
#pragma once

#include "messages/message_table.h"

namespace quillor {

// The texts every release shares, byte for byte.
MessageTable CommonTexts();
// The texts of a release that resolves cost objects: the common ones, the labels of
// the cost-object values and the not-found text that follows them, and the one
// text that is the release's own.
MessageTable CostObjectReleaseTexts(std::string_view own_id, std::string_view own_text);

}  // namespace quillor
