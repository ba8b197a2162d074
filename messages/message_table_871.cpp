#include "messages/message_ids.h"
#include "messages/message_pieces.h"

namespace quillor {

const MessageTable& MessageTable871() {
  static const MessageTable table = CostObjectReleaseTexts(msg::kLabelOmpFlag, "委外标识：");
  return table;
}

}  // namespace quillor
