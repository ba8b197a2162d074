#include "messages/message_ids.h"
#include "messages/message_pieces.h"

namespace quillor {

MessageTextMap CommonTexts() {
  return MessageTextMap{
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

}  // namespace quillor
