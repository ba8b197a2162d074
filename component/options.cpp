#include "component/options.h"

#include <memory>
#include <string_view>

#include "entry/entry_context.h"
#include "runtime/value_text.h"

namespace quillor {

namespace {

// On when the option's first row carries exactly "1"; no row, a null or any other
// text is off.
bool OptionIsOn(Connection& conn, std::string_view sql) {
  std::unique_ptr<Recordset> rs = conn.Open(sql, CursorType::kForwardOnly);
  bool on = false;
  if (!rs->Eof()) {
    DbValue value = rs->Value("cValue");
    on = !value.IsNull() && ValueText(value) == "1";
  }
  rs->Close();
  return on;
}

}  // namespace

int16_t ReadCostObjectMode(Connection& conn, int16_t previous) {
  const bool by_order =
      OptionIsOn(conn, "select * from accinformation where csysid='ca' and cid='8601'");
  const bool with_ompflag =
      OptionIsOn(conn, "select * from accinformation where csysid='ca' and cid='8602'");
  if (by_order && with_ompflag) return cost_object_modes::kByOrderWithOmpFlag;
  if (by_order) return cost_object_modes::kByOrder;
  if (!with_ompflag) return cost_object_modes::kByProduct;
  return previous;  // 8602 on without 8601 names no mode
}

}  // namespace quillor
