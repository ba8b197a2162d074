#include "schema/sample_data.h"

#include <cstddef>

namespace quillor {

namespace {

// One sample row: its values as SQL literals, in the order of the table's columns.
using SampleRow = std::vector<const char*>;

struct SampleTable {
  const char* summary;
  const char* table;
  std::vector<const char*> columns;
  // The leading columns that name a row: a row whose key is already in the table
  // is left as it is, so the sample can be added to a database more than once.
  size_t key_columns;
  std::vector<SampleRow> rows;
};

std::vector<SampleTable> SampleTables() {
  return {
      {"ca_depDf: D01 and D02 (basic departments), D09 (not basic)",
       "ca_depDf",
       {"cDeptID", "bIsBaseDep"},
       1,
       {{"'D01'", "1"}, {"'D02'", "1"}, {"'D09'", "0"}}},
      {"Inventory: M01, M02, M03",
       "Inventory",
       {"cInvCode", "cInvName"},
       1,
       {{"'M01'", "'Steel sheet'"}, {"'M02'", "'Copper wire'"}, {"'M03'", "'Paint'"}}},
      {"ca_pronb: batches B1, B2", "ca_pronb", {"cBatch"}, 1, {{"'B1'"}, {"'B2'"}}},
      {"caq_coreal: cost objects 1001 (D01, P100), 1002 (D01, P200, free1 RED), 1003 (D02, "
       "P100), 2001 (D01, P300, MO7/2/3)",
       "caq_coreal",
       {"iRealCOID", "cDeptID", "InvCode", "Free1", "cMOCode", "iMOSubSN", "iMORouteSN", "ompflag"},
       1,
       {{"1001", "'D01'", "'P100'", "null", "null", "null", "null", "null"},
        {"1002", "'D01'", "'P200'", "'RED'", "null", "null", "null", "null"},
        {"1003", "'D02'", "'P100'", "null", "null", "null", "null", "null"},
        {"2001", "'D01'", "'P300'", "null", "'MO7'", "2", "3", "0"}}},
      {"ca_batchmap: 1001 with batch B1, 2001 with batch B2",
       "ca_batchmap",
       {"iRealCOID", "cbatch", "cDeptID", "InvCode", "cMOCode", "iMOSubSN", "iMORouteSN",
        "ompflag"},
       2,
       {{"1001", "'B1'", "'D01'", "'P100'", "null", "null", "null", "null"},
        {"2001", "'B2'", "'D01'", "'P300'", "'MO7'", "2", "3", "0"}}},
      {"AccInformation: costing method 0 (cost-object options absent: mode 0)",
       "AccInformation",
       {"cSysID", "cID", "cCaption", "cValue"},
       2,
       {{"'ca'", "'06'", "'成本计算方法'", "'0'"}}},
      {"gl_mend: periods 1 to 12, period 1 closed",
       "gl_mend",
       {"iperiod", "bflag_CA"},
       1,
       {{"1", "1"},
        {"2", "0"},
        {"3", "0"},
        {"4", "0"},
        {"5", "0"},
        {"6", "0"},
        {"7", "0"},
        {"8", "0"},
        {"9", "0"},
        {"10", "0"},
        {"11", "0"},
        {"12", "0"}}},
      {"ProductStructureEx: P100, P200, P300",
       "ProductStructureEx",
       {"cPSPCode"},
       1,
       {{"'P100'"}, {"'P200'"}, {"'P300'"}}},
  };
}

std::string KeyCondition(const SampleTable& table, const SampleRow& row) {
  std::string where;
  for (size_t i = 0; i < table.key_columns; ++i) {
    where += (i == 0 ? " where " : " and ") + std::string(table.columns[i]) + "=" + row[i];
  }
  return where;
}

std::string InsertStatement(const SampleTable& table, const SampleRow& row) {
  std::string columns, values;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    columns += (i == 0 ? "" : ", ") + std::string(table.columns[i]);
    values += (i == 0 ? "" : ", ") + std::string(row[i]);
  }
  return "insert into " + std::string(table.table) + " (" + columns + ") values (" + values + ")";
}

std::string RowCount(size_t n) { return std::to_string(n) + (n == 1 ? " row" : " rows"); }

}  // namespace

std::vector<std::string> InsertSampleData(Connection& conn) {
  std::vector<std::string> report;
  // All or nothing: a half-filled sample would only confuse.
  UnitOfWork work(conn);
  for (const SampleTable& table : SampleTables()) {
    size_t added = 0, present = 0;
    for (const SampleRow& row : table.rows) {
      const std::string probe = std::string("select ") + table.columns[0] + " from " + table.table +
                                KeyCondition(table, row);
      if (!conn.Open(probe, CursorType::kForwardOnly)->Eof()) {
        ++present;
        continue;
      }
      conn.Execute(InsertStatement(table, row));
      ++added;
    }
    std::string line = table.summary;
    if (present == 0) {
      line += " (" + RowCount(added) + " added)";
    } else {
      line += " (" + RowCount(added) + " added, " + RowCount(present) + " already there)";
    }
    report.push_back(std::move(line));
  }
  work.Commit();
  return report;
}

}  // namespace quillor
