#include "messages/message_ids.h"
#include "messages/message_pieces.h"

namespace quillor {

const MessageTable& MessageTable861() {
  static const MessageTable table = CostObjectReleaseTexts(msg::kPeriodClosed, "该期间已结帐！");
  return table;
}

}  // namespace quillor
