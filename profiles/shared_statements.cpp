#include "profiles/shared_statements.h"

namespace quillor {

using com::Guid;

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

ReleaseIdentity ClassIdentity861() {
  ReleaseIdentity ids{};
  ids.libid = Guid::FromString("{A13D57A3-5E85-4DB6-8878-DE7C5A3B0A8D}");
  ids.typelib_major = 1;
  ids.typelib_minor = 0;
  ids.clsid = Guid::FromString("{BF180A4F-7856-4DA7-8B5A-FCB8AA5B9F9E}");
  ids.interface_iids = {Guid::FromString("{C24B7A92-CBE4-480A-AEBC-44794F84CCAF}")};
  ids.interface_names = {"_IMaterial"};
  ids.methods = {{"Transact", 0x60030000}, {"QueryProc", 0x60030005}};
  ids.eai_helper_clsid = Guid::FromString("{8E95C720-F40C-473B-BFD4-8428B0498982}");
  return ids;
}

Guid MessageCatalogClsid() { return Guid::FromString("{56A8C9F9-ED96-4B58-815E-BEDBE54E6502}"); }

void UseSharedRecordMapper(ReleaseIdentity& ids) {
  ids.record_mapper_clsid = Guid::FromString("{DBC12D99-1A21-4C58-BDBB-FF0A9F24EF71}");
  ids.record_mapper_iid = Guid::FromString("{317D0864-1A0E-4758-8C8C-352812EBF213}");
}

}  // namespace quillor
