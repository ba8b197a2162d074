#include "messages/message_ids.h"
#include "messages/message_pieces.h"

namespace quillor {

const MessageTextMap& FixedTexts850() {
  static const MessageTextMap table = [] {
    MessageTextMap t = CommonTexts();
    t.emplace(msg::kPeriodClosed, "该期间已结帐！");
    t.emplace(msg::kProductUnknown, "产品结构主表中无该产品编码");
    return t;
  }();
  return table;
}

}  // namespace quillor
