#include "profiles/shared_statements.h"

namespace quillor {

const std::vector<std::string_view>& JoinedCheckStatementPieces() {
  static const std::vector<std::string_view> pieces{
      "select a.cDeptID as cDeptID,b.InvCode as cppid, cMatID, cBatch, iPrice, iQua, "
      "iPeriod ,iMatQua,",
      "   b.Free1 as cFree1, b.Free2 as cFree2, ",
      "   b.Free3 as cFree3, b.Free4 as cFree4, ",
      "   b.Free5 as cFree5, b.Free6 as cFree6, ",
      "   b.Free7 as cFree7, b.Free8 as cFree8, ",
      "   b.Free9 as cFree9, b.Free10 as cFree10, ",
      "   b.Version as cbomver, b.IdentCode as cbomvertd, ",
      "   b.iMORouteSN as cmoroutesn, b.cMOCode as cmocode, ",
      "   b.iMOSubSN as cmosubsn ",
      " from ca_mabsw a join caq_coreal b on a.cppid=b.iRealCOID ",
      " where 1>1",
  };
  return pieces;
}

std::vector<std::string> JoinedQueryStatementPieces(const JoinedQueryColumns& columns) {
  return {
      "select c.* from ",
      std::string(" (select a.cDeptID,isnull(b.InvCode,'') as cppid, a.cMatID, a.cBatch, iPrice, "
                  "a.iQua, a.iPeriod ,a.iMatQua,") +
          std::string(columns.after_quantities),
      "   isnull(b.Free1,'') as cFree1, isnull(b.Free2,'') as cFree2, ",
      "   isnull(b.Free3,'') as cFree3, isnull(b.Free4,'') as cFree4, ",
      "   isnull(b.Free5,'') as cFree5, isnull(b.Free6,'') as cFree6, ",
      "   isnull(b.Free7,'') as cFree7, isnull(b.Free8,'') as cFree8, ",
      "   isnull(b.Free9,'') as cFree9, isnull(b.Free10,'') as cFree10, ",
      "   isnull(b.Version,'') as cbomver, isnull(b.IdentCode,'') as cbomvertd, ",
      std::string(columns.route_and_code),
      std::string(columns.sub_number),
      std::string(columns.source),
      " ) as c",
  };
}

}  // namespace quillor
