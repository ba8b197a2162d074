#include "entry/existence.h"

#include <memory>

namespace quillor {

bool HasRow(Connection& conn, std::string_view sql) {
  const std::unique_ptr<Recordset> rows = conn.Open(sql, CursorType::kKeyset);
  const bool found = rows->RecordCount() > 0 || !rows->Eof();
  rows->Close();
  return found;
}

}  // namespace quillor
