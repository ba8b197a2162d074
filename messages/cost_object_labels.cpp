#include "messages/message_ids.h"
#include "messages/message_pieces.h"

namespace quillor {

// Each label carries its own separator.
MessageTextMap CostObjectReleaseTexts(std::string_view own_id, std::string_view own_text) {
  MessageTextMap table = CommonTexts();
  table.emplace(msg::kLabelDepartment, "部门：");
  table.emplace(msg::kLabelProduct, "产品：");
  for (int i = 0; i < 10; ++i) {
    table.emplace(msg::kLabelFree[i], "自由项" + std::to_string(i + 1) + "：");
  }
  table.emplace(msg::kLabelBomVersion, "BOM版本：");
  table.emplace(msg::kLabelBomVersionId, "BOM版本标识：");
  table.emplace(msg::kLabelMoCode, "生产订单号：");
  table.emplace(msg::kLabelMoSubSn, "生产订单行号：");
  table.emplace(msg::kLabelMoRouteSn, "工序行号：");
  table.emplace(msg::kCostObjectNotFound, "，找不到对应的成本对象！");
  table.emplace(own_id, own_text);
  return table;
}

}  // namespace quillor
