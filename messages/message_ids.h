// Message IDs. Every text the component puts into a reply, other than a failure's
// own description and values from the request, is looked up by one of these.
#pragma once

#include <string_view>

namespace quillor::msg {

inline constexpr std::string_view kConnectionError = "Orvo.Ca.EAI.imaterial.00001";
inline constexpr std::string_view kXmlParseError = "Orvo.Ca.EAI.imaterial.00002";
inline constexpr std::string_view kNoRootNode = "Orvo.Ca.EAI.imaterial.00003";
inline constexpr std::string_view kUnknownProc = "Orvo.Ca.EAI.imaterial.00004";
inline constexpr std::string_view kDatabaseOperationError = "Orvo.Ca.EAI.imaterial.00005";
inline constexpr std::string_view kDepartmentEmpty = "Orvo.Ca.EAI.imaterial.00006";
inline constexpr std::string_view kDepartmentNotBase = "Orvo.Ca.EAI.imaterial.00007";
inline constexpr std::string_view kInventoryEmpty = "Orvo.Ca.EAI.imaterial.00008";
inline constexpr std::string_view kInventoryUnknown = "Orvo.Ca.EAI.imaterial.00009";
inline constexpr std::string_view kBatchRequired = "Orvo.Ca.EAI.imaterial.00011";
inline constexpr std::string_view kBatchUnknown = "Orvo.Ca.EAI.imaterial.00012";
inline constexpr std::string_view kQuantityZero = "Orvo.Ca.EAI.imaterial.00013";
inline constexpr std::string_view kPeriodOutOfRange = "Orvo.Ca.EAI.imaterial.00014";
inline constexpr std::string_view kPeriodClosed = "Orvo.Ca.EAI.imaterial.00015";
inline constexpr std::string_view kTotalMismatch = "Orvo.Ca.EAI.imaterial.00016";
inline constexpr std::string_view kSuccess = "Orvo.Ca.EAI.imaterial.00017";
inline constexpr std::string_view kRecordExists = "Orvo.Ca.EAI.imaterial.00018";
inline constexpr std::string_view kLabelDepartment = "Orvo.Ca.EAI.imaterial.00019";
inline constexpr std::string_view kLabelProduct = "Orvo.Ca.EAI.imaterial.00020";
// Labels of free1 to free10 are 00021 to 00030, in that order.
inline constexpr std::string_view kLabelFree[10] = {
    "Orvo.Ca.EAI.imaterial.00021", "Orvo.Ca.EAI.imaterial.00022", "Orvo.Ca.EAI.imaterial.00023",
    "Orvo.Ca.EAI.imaterial.00024", "Orvo.Ca.EAI.imaterial.00025", "Orvo.Ca.EAI.imaterial.00026",
    "Orvo.Ca.EAI.imaterial.00027", "Orvo.Ca.EAI.imaterial.00028", "Orvo.Ca.EAI.imaterial.00029",
    "Orvo.Ca.EAI.imaterial.00030"};
inline constexpr std::string_view kLabelBomVersion = "Orvo.Ca.EAI.imaterial.00031";
inline constexpr std::string_view kLabelBomVersionId = "Orvo.Ca.EAI.imaterial.00032";
inline constexpr std::string_view kLabelMoCode = "Orvo.Ca.EAI.imaterial.00047";
inline constexpr std::string_view kLabelMoSubSn = "Orvo.Ca.EAI.imaterial.00048";
inline constexpr std::string_view kLabelMoRouteSn = "Orvo.Ca.EAI.imaterial.00049";
inline constexpr std::string_view kLabelOmpFlag = "Orvo.ca.uscbhs.Orvo71.00028";
inline constexpr std::string_view kCostObjectNotFound = "Orvo.Ca.EAI.imaterial.00050";
// Release 8.50 only, which has no catalogue: the product is not in the product
// structure table. It has no ID of its own; this key names its fixed text.
inline constexpr std::string_view kProductUnknown = "ProductStructureEx.missing";

}  // namespace quillor::msg
