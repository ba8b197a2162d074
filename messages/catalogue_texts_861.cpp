#include "messages/message_ids.h"
#include "messages/message_pieces.h"

namespace quillor {

const MessageTextMap& CatalogueTexts861() {
  static const MessageTextMap table = CostObjectReleaseTexts(msg::kPeriodClosed, "该期间已结帐！");
  return table;
}

}  // namespace quillor
