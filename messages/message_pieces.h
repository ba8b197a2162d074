// The pieces the releases' message tables are made of. Each piece is in its own
// file, so that a release's library holds only the texts its table uses.
#pragma once

#include "messages/message_table.h"

namespace quillor {

// The texts every release shares, byte for byte.
MessageTable CommonTexts();
// Labels of the cost-object values and the not-found text that follows them, in
// the releases that resolve cost objects.
void AddCostObjectLabels(MessageTable& table);

}  // namespace quillor
