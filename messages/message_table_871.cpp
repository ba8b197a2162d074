#include "messages/message_ids.h"
#include "messages/message_pieces.h"

namespace quillor {

const MessageTable& MessageTable871() {
  static const MessageTable table = [] {
    MessageTable t = CommonTexts();
    AddCostObjectLabels(t);
    t.emplace(msg::kLabelOmpFlag, "委外标识：");
    return t;
  }();
  return table;
}

}  // namespace quillor
