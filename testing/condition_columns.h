// For tests: the columns a QUERY's conditions may name, as the check statement
// gives them, with the kind of value each holds. Engines differ only in the code
// they report for text columns (adVarChar on SQLite, adVarWChar over ODBC).
#pragma once

namespace quillor::testing {

enum class ColumnKind { kText, kDouble, kInteger };

struct ConditionColumn {
  const char* name;
  ColumnKind kind;
};

inline constexpr ConditionColumn kConditionColumns[] = {
    {"cDeptID", ColumnKind::kText},       {"cppid", ColumnKind::kText},
    {"cMatID", ColumnKind::kText},        {"cBatch", ColumnKind::kText},
    {"iPrice", ColumnKind::kDouble},      {"iQua", ColumnKind::kDouble},
    {"iPeriod", ColumnKind::kInteger},    {"iMatQua", ColumnKind::kDouble},
    {"cFree1", ColumnKind::kText},        {"cFree10", ColumnKind::kText},
    {"cbomver", ColumnKind::kText},       {"cbomvertd", ColumnKind::kText},
    {"cmoroutesn", ColumnKind::kInteger}, {"cmocode", ColumnKind::kText},
    {"cmosubsn", ColumnKind::kInteger},
};

// The ADO type code a column of that kind reports: adDouble (5), adInteger (3), or
// the engine's text code.
inline int ExpectedAdoType(ColumnKind kind, int text_code) {
  switch (kind) {
    case ColumnKind::kDouble:
      return 5;
    case ColumnKind::kInteger:
      return 3;
    default:
      return text_code;
  }
}

}  // namespace quillor::testing
