#include "entry/item_validation.h"

#include <memory>
#include <string>

#include "entry/cost_object.h"
#include "entry/existence.h"
#include "messages/message_ids.h"
#include "platform/db/sql_literal.h"
#include "platform/xml/element_values.h"
#include "runtime/conversions.h"
#include "runtime/value_text.h"

namespace quillor {
namespace {

// The costing method: the value of the last row counts, no row gives empty text,
// and a null value cannot become text (a failure, not a refusal).
std::string CostingMethod(const EntryContext& ctx) {
  const std::unique_ptr<Recordset> rows =
      ctx.conn.Open(ctx.profile.costing_method_sql, CursorType::kKeyset);
  std::string value;
  // The statement names its own column; the lookup by name ignores letter case.
  for (; !rows->Eof(); rows->MoveNext()) value = ValueText(rows->Value("cValue"));
  rows->Close();
  return value;
}

// A period closed in the general ledger: the first row's flag decides, a null or
// missing row leaves it open.
bool PeriodClosed(const EntryContext& ctx, int16_t period) {
  const std::unique_ptr<Recordset> rows = ctx.conn.Open(
      "select bFlag_CA from gl_mend where iperiod=" + std::to_string(period), CursorType::kKeyset);
  const bool closed = !rows->Eof() && ToBoolean(rows->Value("bflag_Ca"));
  rows->Close();
  return closed;
}

}  // namespace

ItemResult CheckItem(const EntryContext& ctx, XmlElement element, std::string& cost_object_id) {
  const MessageTexts& text = ctx.messages;

  const std::string department = FieldText(element, "departmentno");
  if (department.empty()) return ItemResult::Refused(text.Text(msg::kDepartmentEmpty));
  if (!HasRow(ctx.conn, "select distinct cDeptid from ca_depDf where bIsBaseDep=1 and cDeptid='" +
                            DoubleQuotes(department) + "'")) {
    return ItemResult::Refused(department + text.Text(msg::kDepartmentNotBase));
  }

  const std::string product = FieldText(element, "productno");
  if (ctx.profile.product_structure_check && !product.empty() &&
      !HasRow(ctx.conn, "select distinct cPSPCode from ProductStructureEx where cPSPCode='" +
                            DoubleQuotes(product) + "'")) {
    return ItemResult::Refused(text.Text(msg::kProductUnknown) + product);
  }
  if (ctx.profile.cost_object_resolution && !product.empty()) {
    CostObjectResult found = FindCostObject(ctx, element);
    cost_object_id = std::move(found.id);
    if (!found.verdict.ok()) return found.verdict;
  } else {
    cost_object_id.clear();
  }

  const std::string inventory = FieldText(element, "inventoryno");
  if (inventory.empty()) return ItemResult::Refused(text.Text(msg::kInventoryEmpty));
  if (!HasRow(ctx.conn, "select distinct cInvCode from Inventory where cInvcode='" +
                            DoubleQuotes(inventory) + "'")) {
    return ItemResult::Refused(text.Text(msg::kInventoryUnknown) + inventory);
  }

  const std::string batch = FieldText(element, "serial");
  if (!batch.empty()) {
    if (!HasRow(ctx.conn, "select distinct cBatch from ca_pronb where cbatch='" +
                              DoubleQuotes(batch) + "'")) {
      return ItemResult::Refused(text.Text(msg::kBatchUnknown));
    }
  } else if (CostingMethod(ctx) == "1" && !product.empty()) {
    // Full batch costing: a material consumed for a product needs its batch.
    return ItemResult::Refused(text.Text(msg::kBatchRequired));
  }

  const double price = LeadingNumber(FieldText(element, "price"));
  const double quantity = LeadingNumber(FieldText(element, "quantity"));
  if (quantity == 0) return ItemResult::Refused(text.Text(msg::kQuantityZero));

  const int16_t period = ToInt16(LeadingNumber(FieldText(element, "period")));
  if (period < 1 || period > 12) return ItemResult::Refused(text.Text(msg::kPeriodOutOfRange));
  if (ctx.profile.closed_period_check && PeriodClosed(ctx, period)) {
    return ItemResult::Refused(text.Text(msg::kPeriodClosed));
  }

  const double total = LeadingNumber(FieldText(element, "totalmoney"));
  if (TotalDiffers(total, price, quantity))
    return ItemResult::Refused(text.Text(msg::kTotalMismatch));

  return ItemResult::Success(text.Text(msg::kSuccess));
}

}  // namespace quillor
