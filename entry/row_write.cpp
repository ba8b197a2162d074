#include "entry/row_write.h"

#include <optional>
#include <string>

#include "entry/line_key.h"
#include "messages/message_ids.h"
#include "platform/base/failure.h"
#include "platform/base/number_text.h"
#include "platform/db/sql_literal.h"
#include "platform/xml/element_values.h"
#include "runtime/conversions.h"

namespace quillor {
namespace {

// The two statements of one row write.
struct Statements {
  std::string deletion;  // empty where the release only inserts
  std::string insertion;
  std::string line;  // the row's key, for the turn the unit takes
};

// A field whose text may not stand in the statement: the write fails before any
// statement is sent, and the reason goes to the trace.
struct RefusedValue {
  std::string field;
  std::string value;
  std::string reason;
};

[[noreturn]] void Refuse(std::string_view field, std::string_view value, std::string_view what) {
  throw RefusedValue{std::string(field), std::string(value),
                     std::string(field) + " " + std::string(value) + " " + std::string(what)};
}

// The insertion's column list and value list, built a column at a time.
class InsertionColumns {
 public:
  void Quoted(std::string_view column, std::string_view value) {
    Add(column, "'" + DoubleQuotes(value) + "'");
  }
  // A bare value must be a number, or it could carry statement text. It is spliced
  // as it came, blanks and line feeds around it included.
  void Bare(std::string_view column, std::string_view field, std::string_view value) {
    if (!IsPlainNumber(value)) Refuse(field, value, "is not a number");
    Add(column, std::string(value));
  }
  // The period is an integer column on every engine: a text with a fraction or an
  // exponent is refused here, before any statement, as a server's column refuses it.
  void Whole(std::string_view column, std::string_view field, std::string_view value) {
    if (!IsWholeNumber(value)) Refuse(field, value, "is not a whole number");
    Add(column, std::string(value));
  }
  std::string Statement() const {
    return "insert ca_mabsw(" + columns_ + ")" + "   values(" + values_ + ")";
  }

 private:
  void Add(std::string_view column, const std::string& value) {
    if (!columns_.empty()) {
      columns_ += ',';
      values_ += ',';
    }
    columns_ += column;
    values_ += value;
  }
  std::string columns_;
  std::string values_;
};

Statements Build(const EntryContext& ctx, XmlElement element, const std::string& cost_object_id) {
  const ReleaseProfile& profile = ctx.profile;
  auto field = [&](std::string_view name) { return FieldText(element, name); };

  const std::string department = field("departmentno");
  const std::string product = field("productno");
  const std::string inventory = field("inventoryno");
  const std::string batch = field("serial");
  const std::string price = field("price");
  const std::string quantity = field("quantity");
  const std::string period = field("period");
  const std::string total = field("totalmoney");
  // The stored code is 0 or 8; a text that is not a number fails the write.
  std::optional<int> irdcode;
  if (profile.writes_irdcode) {
    const std::string text = field("irdcode");
    if (!text.empty()) {
      try {
        irdcode = FullNumber(text) == 0 ? 0 : 8;
      } catch (const Failure&) {
        Refuse("irdcode", text, "is not a number");
      }
    }
  }
  // Without resolution the product number itself identifies the product.
  const std::string& cppid = profile.cost_object_resolution ? cost_object_id : product;

  InsertionColumns insertion;
  if (!department.empty()) insertion.Quoted("cdeptid", department);
  if (!product.empty()) insertion.Quoted("cppid", cppid);
  if (!inventory.empty()) insertion.Quoted("cmatid", inventory);
  if (!batch.empty()) insertion.Quoted("cbatch", batch);
  if (!price.empty()) insertion.Bare("iprice", "price", price);
  if (!quantity.empty()) insertion.Bare("iqua", "quantity", quantity);
  if (!period.empty()) insertion.Whole("iperiod", "period", period);
  if (!total.empty()) insertion.Bare("imatqua", "totalmoney", total);
  if (irdcode) insertion.Bare("irdcode", "irdcode", std::to_string(*irdcode));

  Statements out;
  out.insertion = insertion.Statement();
  out.line =
      LineKey({department, product.empty() ? std::nullopt : std::optional<std::string_view>(cppid),
               inventory, batch, period, irdcode});
  if (profile.row_write_deletes) {
    // The key matches exactly the row the insertion writes, so a line sent again
    // replaces its earlier row.
    const std::string cost_object = product.empty() ? "is null" : "='" + DoubleQuotes(cppid) + "'";
    out.deletion = "delete from ca_mabsw where cdeptid='" + DoubleQuotes(department) +
                   "' and cppid " + cost_object + " and cmatid='" + DoubleQuotes(inventory) +
                   "' and cbatch='" + DoubleQuotes(batch) + "' and iperiod='" +
                   DoubleQuotes(period) + "'";
    if (profile.writes_irdcode) {
      out.deletion += irdcode ? " and irdcode=" + std::to_string(*irdcode) : " and irdcode is null";
    }
  }
  return out;
}

}  // namespace

ItemResult SaveItem(const EntryContext& ctx, XmlElement element,
                    const std::string& cost_object_id) {
  try {
    const Statements statements = Build(ctx, element, cost_object_id);
    // Deletion and insertion stand or fall together: a failed insertion keeps
    // the earlier row.
    UnitOfWork unit(ctx.conn);
    ctx.conn.TakeLineTurn(statements.line);
    if (!statements.deletion.empty()) ctx.conn.Execute(statements.deletion);
    ctx.conn.Execute(statements.insertion);
    unit.Commit();
    return ItemResult::Success();
  } catch (const RefusedValue& refused) {
    try {
      // The trace file of a COM host keeps the reason too.
      const std::string item = element.Attribute("id").value_or("");
      ctx.conn.NoteRefusedWrite({refused.reason, item, refused.field, refused.value});
    } catch (...) {  // the note never changes the item's result
    }
    return ItemResult::WriteFailed(ctx.messages.Text(msg::kRecordExists), refused.reason);
  } catch (...) {
    // Every cause is reported with the one text; fetching it is not trapped.
  }
  return ItemResult::WriteFailed(ctx.messages.Text(msg::kRecordExists));
}

}  // namespace quillor
