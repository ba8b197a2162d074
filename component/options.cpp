// The two cost-accounting options that decide how a cost object is identified,
// read anew at every call and condensed into cost_object_mode_.
#include "component/imaterial.h"
#include "entry/entry_context.h"

namespace quillor {

namespace {

// On when the option's first row carries exactly "1"; no row, a null or any other
// text is off.
bool OptionIsOn(Connection& conn, std::string_view sql) {
  std::unique_ptr<Recordset> rs = conn.Open(sql, CursorType::kForwardOnly);
  bool on = false;
  if (!rs->Eof()) {
    DbValue value = rs->Value("cValue");
    on = !value.IsNull() && value.ToText() == "1";
  }
  rs->Close();
  return on;
}

}  // namespace

void IMaterial::LoadOptions() {
  const bool by_order =
      OptionIsOn(*conn_, "select * from accinformation where csysid='ca' and cid='8601'");
  const bool with_ompflag =
      OptionIsOn(*conn_, "select * from accinformation where csysid='ca' and cid='8602'");
  if (by_order && with_ompflag) {
    cost_object_mode_ = cost_object_modes::kByOrderWithOmpFlag;
  } else if (by_order) {
    cost_object_mode_ = cost_object_modes::kByOrder;
  } else if (!with_ompflag) {
    cost_object_mode_ = cost_object_modes::kByProduct;
  }
  // 8602 on without 8601 names no mode: the mode of the previous call stays.
}

}  // namespace quillor
