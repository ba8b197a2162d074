#include "messages/message_table.h"

#include "messages/message_ids.h"

namespace quillor {

namespace {

// The texts every release shares, byte for byte.
MessageTable CommonTexts() {
  return MessageTable{
      {std::string(msg::kConnectionError), "数据库连接错误!"},
      {std::string(msg::kXmlParseError), "解析XML时发生错误,请你检查XML参数格式"},
      {std::string(msg::kNoRootNode), "zqinterface结点不存在"},
      {std::string(msg::kUnknownProc), "未知的Proc操作"},
      {std::string(msg::kDatabaseOperationError), "数据库操作错误："},
      {std::string(msg::kDepartmentEmpty), "部门编号不能为空！"},
      {std::string(msg::kDepartmentNotBase), "部门不是基本核算部门！"},
      {std::string(msg::kInventoryEmpty), "存货编码不能为空！"},
      {std::string(msg::kInventoryUnknown), "存货档案中无该存货编码"},
      {std::string(msg::kBatchRequired), "完全分批法时，专用材料对应的产品批号不能为空！"},
      {std::string(msg::kBatchUnknown), "生产批号表中无该批号！"},
      {std::string(msg::kQuantityZero), "耗量不能为0！"},
      {std::string(msg::kPeriodOutOfRange), "期间应在1到12间！"},
      {std::string(msg::kTotalMismatch), "“总金额”不等于 “单价*耗量”！"},
      {std::string(msg::kSuccess), "成功"},
      {std::string(msg::kRecordExists), "材料表中已存在该记录，不能重复！"},
  };
}

// Labels of the cost-object values, each carrying its own separator, and the
// not-found text that follows them.
void AddCostObjectLabels(MessageTable& table) {
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
}

}  // namespace

const MessageTable& MessageTable871() {
  static const MessageTable table = [] {
    MessageTable t = CommonTexts();
    AddCostObjectLabels(t);
    t.emplace(msg::kLabelOmpFlag, "委外标识：");
    return t;
  }();
  return table;
}

const MessageTable& MessageTable861() {
  static const MessageTable table = [] {
    MessageTable t = CommonTexts();
    AddCostObjectLabels(t);
    t.emplace(msg::kPeriodClosed, "该期间已结帐！");
    return t;
  }();
  return table;
}

const MessageTable& FixedTexts850() {
  static const MessageTable table = [] {
    MessageTable t = CommonTexts();
    t.emplace(msg::kPeriodClosed, "该期间已结帐！");
    t.emplace(msg::kProductUnknown, "产品结构主表中无该产品编码");
    return t;
  }();
  return table;
}

}  // namespace quillor
