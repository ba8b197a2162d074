#include "tools/quillor/sample_data.h"

namespace quillor {

namespace {

struct TableRows {
  const char* summary;
  std::vector<const char*> statements;
};

std::vector<TableRows> SampleRows() {
  return {
      {"ca_depDf: D01 and D02 (basic departments), D09 (not basic)",
       {"insert into ca_depDf (cDeptID, bIsBaseDep) values ('D01', 1)",
        "insert into ca_depDf (cDeptID, bIsBaseDep) values ('D02', 1)",
        "insert into ca_depDf (cDeptID, bIsBaseDep) values ('D09', 0)"}},
      {"Inventory: M01, M02, M03",
       {"insert into Inventory (cInvCode, cInvName) values ('M01', 'Steel sheet')",
        "insert into Inventory (cInvCode, cInvName) values ('M02', 'Copper wire')",
        "insert into Inventory (cInvCode, cInvName) values ('M03', 'Paint')"}},
      {"ca_pronb: batches B1, B2",
       {"insert into ca_pronb (cBatch) values ('B1')",
        "insert into ca_pronb (cBatch) values ('B2')"}},
      {"caq_coreal: cost objects 1001 (D01, P100), 1002 (D01, P200, free1 RED), 1003 (D02, "
       "P100), 2001 (D01, P300, MO7/2/3)",
       {"insert into caq_coreal (iRealCOID, cDeptID, InvCode) values (1001, 'D01', 'P100')",
        "insert into caq_coreal (iRealCOID, cDeptID, InvCode, Free1) values (1002, 'D01', "
        "'P200', 'RED')",
        "insert into caq_coreal (iRealCOID, cDeptID, InvCode) values (1003, 'D02', 'P100')",
        "insert into caq_coreal (iRealCOID, cDeptID, InvCode, cMOCode, iMOSubSN, iMORouteSN, "
        "ompflag) values (2001, 'D01', 'P300', 'MO7', 2, 3, 0)"}},
      {"ca_batchmap: 1001 with batch B1, 2001 with batch B2",
       {"insert into ca_batchmap (iRealCOID, cDeptID, InvCode, cbatch) values (1001, 'D01', "
        "'P100', 'B1')",
        "insert into ca_batchmap (iRealCOID, cDeptID, InvCode, cMOCode, iMOSubSN, iMORouteSN, "
        "ompflag, cbatch) values (2001, 'D01', 'P300', 'MO7', 2, 3, 0, 'B2')"}},
      {"AccInformation: costing method 0 (cost-object options absent: mode 0)",
       {"insert into AccInformation (cSysID, cID, cCaption, cValue) values ('ca', '06', "
        "'成本计算方法', '0')"}},
      {"gl_mend: periods 1 to 12, period 1 closed",
       {"insert into gl_mend (iperiod, bflag_CA) values (1, 1)",
        "insert into gl_mend (iperiod, bflag_CA) values (2, 0)",
        "insert into gl_mend (iperiod, bflag_CA) values (3, 0)",
        "insert into gl_mend (iperiod, bflag_CA) values (4, 0)",
        "insert into gl_mend (iperiod, bflag_CA) values (5, 0)",
        "insert into gl_mend (iperiod, bflag_CA) values (6, 0)",
        "insert into gl_mend (iperiod, bflag_CA) values (7, 0)",
        "insert into gl_mend (iperiod, bflag_CA) values (8, 0)",
        "insert into gl_mend (iperiod, bflag_CA) values (9, 0)",
        "insert into gl_mend (iperiod, bflag_CA) values (10, 0)",
        "insert into gl_mend (iperiod, bflag_CA) values (11, 0)",
        "insert into gl_mend (iperiod, bflag_CA) values (12, 0)"}},
      {"ProductStructureEx: P100, P200, P300",
       {"insert into ProductStructureEx (cPSPCode) values ('P100')",
        "insert into ProductStructureEx (cPSPCode) values ('P200')",
        "insert into ProductStructureEx (cPSPCode) values ('P300')"}},
  };
}

}  // namespace

std::vector<std::string> InsertSampleData(Connection& conn) {
  std::vector<std::string> created;
  // All or nothing: a half-filled sample would only confuse.
  UnitOfWork work(conn);
  for (const TableRows& table : SampleRows()) {
    for (const char* sql : table.statements) conn.Execute(sql);
    created.emplace_back(table.summary);
  }
  work.Commit();
  return created;
}

}  // namespace quillor
