#include "schema/host_schema.h"

#include <string>

#include "platform/base/failure.h"
#include "schema/host_schema_postgres.h"

namespace quillor {
namespace {

// The columns shared by the cost-object table and the batch map.
const std::string kCostObjectColumns =
    "iRealCOID int, cDeptID varchar(12), InvCode varchar(60), "
    "Free1 varchar(120), Free2 varchar(120), Free3 varchar(120), Free4 varchar(120), "
    "Free5 varchar(120), Free6 varchar(120), Free7 varchar(120), Free8 varchar(120), "
    "Free9 varchar(120), Free10 varchar(120), "
    "Version varchar(20), IdentCode varchar(20), cMOCode varchar(30), "
    "iMOSubSN int, iMORouteSN int, ompflag int";

}  // namespace

void CreateHostTables(Connection& conn) {
  const bool postgres = conn.dialect() == Dialect::kPostgres;
  const std::string bit = postgres ? kPostgresBitType : "bit";
  const std::string statements[] = {
      "create table if not exists AccInformation(cSysID varchar(10), cID varchar(20), "
      "cCaption varchar(60), cValue varchar(255))",
      "create table if not exists ca_depDf(cDeptID varchar(12), bIsBaseDep " + bit + ")",
      "create table if not exists Inventory(cInvCode varchar(60), cInvName varchar(255))",
      "create table if not exists ca_pronb(cBatch varchar(60))",
      "create table if not exists caq_coreal(" + kCostObjectColumns + ")",
      "create table if not exists ca_batchmap(" + kCostObjectColumns + ", cbatch varchar(60))",
      "create table if not exists ca_mabsw(cDeptID varchar(12), cppid varchar(60), "
      "cMatID varchar(60), cBatch varchar(60) default '', iPrice float, iQua float, iPeriod int, "
      "iMatQua float, irdcode int)",
      "create index if not exists ca_mabsw_key on ca_mabsw(cDeptID, cppid, cMatID, cBatch, "
      "iPeriod, irdcode)",
      "create table if not exists gl_mend(iperiod int, bflag_CA " + bit + ")",
      "create table if not exists ProductStructureEx(cPSPCode varchar(60))",
      // The host keys its master tables by code: each lookup of a line is one
      // probe, however large the tables grow.
      "create index if not exists AccInformation_key on AccInformation(cSysID, cID)",
      "create index if not exists ca_depDf_key on ca_depDf(cDeptID)",
      "create index if not exists Inventory_key on Inventory(cInvCode)",
      "create index if not exists ca_pronb_key on ca_pronb(cBatch)",
      "create index if not exists caq_coreal_key on caq_coreal(cDeptID, InvCode)",
      "create index if not exists gl_mend_key on gl_mend(iperiod)",
      "create index if not exists ProductStructureEx_key on ProductStructureEx(cPSPCode)",
  };
  for (const auto& sql : statements) conn.Execute(sql);
  if (postgres) CreatePostgresComparisons(conn);
}

bool AllHostTablesPresent(Connection& conn) {
  for (const char* table : {"AccInformation", "ca_depDf", "Inventory", "ca_pronb", "caq_coreal",
                            "ca_batchmap", "ca_mabsw", "gl_mend", "ProductStructureEx"}) {
    try {
      conn.Open(std::string("select 1 from ") + table + " where 1=0", CursorType::kForwardOnly);
    } catch (const Failure&) {
      return false;
    }
  }
  return true;
}

}  // namespace quillor
