#include "query/conditions.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>

#include "platform/base/failure.h"
#include "platform/base/number_text.h"
#include "platform/db/sql_literal.h"
#include "platform/xml/element_values.h"
#include "query/condition_words.h"

namespace quillor {
namespace {

// Column types whose values are written between apostrophes. adChar (129) and
// adLongVarWChar (203) are not among them: the original runtime writes those bare.
bool IsQuotedType(int type) {
  switch (type) {
    case ado_type::kDate:
    case ado_type::kBSTR:
    case ado_type::kWChar:
    case ado_type::kDBDate:
    case ado_type::kDBTime:
    case ado_type::kDBTimeStamp:
    case ado_type::kVarChar:
    case ado_type::kLongVarChar:
    case ado_type::kVarWChar:
    case ado_type::kLongVarBinary:
      return true;
    default:
      return false;
  }
}

// The first refused text of a list. It is raised only once every element has been
// looked up, so that an unknown column (3265) or the counter's overflow (6) further
// on is reported as the original runtime reports it, and a refusal never hides them.
class Refusal {
 public:
  void Note(int16_t position, std::string_view item, std::string_view text, std::string_view why) {
    if (first_) return;
    first_.emplace(failure_numbers::kInvalidArgument,
                   "Condition " + std::to_string(position) + ": " + std::string(item) + " \"" +
                       std::string(text) + "\" " + std::string(why));
  }
  bool Noted() const { return first_.has_value(); }
  void RaiseIfNoted() const {
    if (first_) throw *first_;
  }

 private:
  std::optional<Failure> first_;
};

}  // namespace

std::string BuildWhere(const QueryContext& ctx, const XmlNodeList& elements, Connection& conn) {
  std::string conditions;
  // The check statement returns no rows; only its column list is used.
  const std::unique_ptr<Recordset> check =
      conn.Open(JoinPieces(ctx.profile.check_statement_pieces), CursorType::kForwardOnly);

  // The original runtime counts the elements in a 16-bit integer, so the 32767th element is
  // the last one a list can have.
  int16_t position = 1;
  const size_t count = elements.size();
  Refusal refusal;
  for (const XmlElement& element : elements) {
    const int column = check->FieldIndex(AttributeText(element, "name"));
    conditions += check->FieldName(column);

    const std::string operation = AttributeText(element, "operation");
    if (!IsAllowedOperation(operation)) {
      refusal.Note(position, "operation", operation, "is not allowed");
    }
    conditions += operation;

    const std::string value = AttributeText(element, "value");
    if (IsQuotedType(check->FieldType(column))) {
      conditions += '\'';
      conditions += DoubleQuotes(value);
      conditions += '\'';
    } else {
      // Spliced bare, spelled as the request gave it, so it must be a number.
      if (!IsPlainNumber(value)) refusal.Note(position, "value", value, "is not a number");
      conditions += value;
    }

    if (static_cast<size_t>(position) < count) {
      const std::string logic = AttributeText(element, "logic");
      if (!IsAllowedLogic(logic)) refusal.Note(position, "logic", logic, "is not allowed");
      conditions += ' ';
      conditions += logic;
      conditions += ' ';
    }
    // A refused list never becomes a statement, so its text need not grow.
    if (refusal.Noted()) conditions.clear();

    if (position == std::numeric_limits<int16_t>::max()) throw Failure::Overflow();
    ++position;
  }

  refusal.RaiseIfNoted();
  if (conditions.empty()) return {};
  return "where " + conditions;
}

}  // namespace quillor
