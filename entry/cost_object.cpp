#include "entry/cost_object.h"

#include <algorithm>
#include <memory>
#include <string_view>

#include "messages/message_ids.h"
#include "platform/base/failure.h"
#include "platform/base/number_text.h"
#include "platform/db/sql_literal.h"
#include "platform/xml/element_values.h"
#include "runtime/value_text.h"

namespace quillor {
namespace {

enum class Use { kProduct, kOrder, kOmpFlag };

struct IdentifyingValue {
  std::string_view field;
  std::string_view before;  // condition text before the value
  bool bare;                // a numeric column: the value stands without quotes
  std::string_view label;
  Use use;
};

// The identifying values in the order they are read, compared and listed.
constexpr IdentifyingValue kValues[] = {
    {"departmentno", " cDeptID='", false, msg::kLabelDepartment, Use::kProduct},
    {"productno", " InvCode='", false, msg::kLabelProduct, Use::kProduct},
    {"free1", " free1='", false, msg::kLabelFree[0], Use::kProduct},
    {"free2", " free2='", false, msg::kLabelFree[1], Use::kProduct},
    {"free3", " free3='", false, msg::kLabelFree[2], Use::kProduct},
    {"free4", " free4='", false, msg::kLabelFree[3], Use::kProduct},
    {"free5", " free5='", false, msg::kLabelFree[4], Use::kProduct},
    {"free6", " free6='", false, msg::kLabelFree[5], Use::kProduct},
    {"free7", " free7='", false, msg::kLabelFree[6], Use::kProduct},
    {"free8", " free8='", false, msg::kLabelFree[7], Use::kProduct},
    {"free9", " free9='", false, msg::kLabelFree[8], Use::kProduct},
    {"free10", " free10='", false, msg::kLabelFree[9], Use::kProduct},
    {"bomver", " version='", false, msg::kLabelBomVersion, Use::kProduct},
    {"bomvertd", " IdentCode='", false, msg::kLabelBomVersionId, Use::kProduct},
    {"mocode", " cMOCode='", false, msg::kLabelMoCode, Use::kOrder},
    {"mosubsn", " iMOSubSN=", true, msg::kLabelMoSubSn, Use::kOrder},
    {"moroutesn", " iMORouteSN=", true, msg::kLabelMoRouteSn, Use::kOrder},
    {"ompflag", " ompflag=", true, msg::kLabelOmpFlag, Use::kOmpFlag},
};

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// Blanks trimmed, then the last `count` characters dropped; empty stays empty.
std::string TrimAndDrop(const std::string& text, size_t count) {
  std::string_view trimmed = TrimBlanks(text);
  if (trimmed.empty()) return {};
  trimmed.remove_suffix(std::min(count, trimmed.size()));
  return std::string(trimmed);
}

}  // namespace

CostObjectResult FindCostObject(const EntryContext& ctx, XmlElement element) {
  const bool by_product = ctx.cost_object_mode == cost_object_modes::kByProduct;
  const bool with_ompflag =
      ctx.cost_object_mode == cost_object_modes::kByOrderWithOmpFlag && ctx.profile.ompflag_row;

  std::string condition;
  std::string listing;
  // A bare value that is not a number would change the statement's meaning; the
  // lookup fails as the database would fail it, but only where it would run.
  bool bare_value_refused = false;

  for (const IdentifyingValue& row : kValues) {
    if (row.use == Use::kOrder && by_product) break;
    if (row.use == Use::kOmpFlag && !with_ompflag) break;

    const std::string value = FieldText(element, row.field);
    if (value.empty()) continue;

    const bool compared = by_product ? row.use == Use::kProduct : row.use != Use::kProduct;
    if (compared) {
      condition += row.before;
      if (row.bare) {
        if (!IsPlainNumber(value)) bare_value_refused = true;
        condition += value;
        condition += " and ";
      } else {
        condition += DoubleQuotes(value);
        condition += "' and ";
      }
    }
    listing += ctx.messages.Text(row.label);
    listing += value;
    listing += ", ";
  }

  // The final "and" goes; the blank before it stays.
  condition = TrimAndDrop(condition, 3);
  listing = TrimAndDrop(listing, 1);
  if (condition.empty()) return {};
  if (bare_value_refused) throw Failure::TypeMismatch();

  const std::unique_ptr<Recordset> rows =
      ctx.conn.Open("select iRealCOID from caq_coreal where " + condition, CursorType::kKeyset);
  if (rows->RecordCount() == 0 || rows->Eof()) {
    rows->Close();
    return {{}, ItemResult::Refused(listing + ctx.messages.Text(msg::kCostObjectNotFound))};
  }
  std::string id = ValueText(rows->Value("iRealCOID"));
  rows->Close();
  return {std::move(id), ItemResult::Success()};
}

}  // namespace quillor
