#include "messages/message_ids.h"
#include "messages/message_pieces.h"

namespace quillor {

const MessageTextMap& CatalogueTexts871() {
  static const MessageTextMap table = CostObjectReleaseTexts(msg::kLabelOmpFlag, "委外标识：");
  return table;
}

}  // namespace quillor
