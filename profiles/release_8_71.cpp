#include "profiles/release_profile.h"
#include "profiles/shared_statements.h"

namespace quillor {

using com::Guid;

const ReleaseProfile& Release871() {
  static const ReleaseProfile profile{
      .release = "8.71",
      .ids =
          {
              .libid = Guid::FromString("{75584C87-AEC6-44D6-A671-CD61766F21EF}"),
              .typelib_major = 1,
              .typelib_minor = 1,
              .clsid = Guid::FromString("{CB6E8E80-C56C-4F6B-97B0-A71C5626F6D3}"),
              .interface_iids = {Guid::FromString("{0BB9C7B9-98F3-4031-B308-C1520C47836B}"),
                                 Guid::FromString("{74F0A8A9-97A5-440A-9C79-EA76CA472DA4}")},
              .interface_names = {"_IMaterial", "IMaterial___v0"},
              .methods = {{"Transact", 0x60030000},
                          {"QueryProc", 0x60030005},
                          {"AddObjectReference", 0x6003000D},
                          {"DropObjectReference", 0x6003000E}},
              .eai_helper_clsid = Guid::FromString("{E05AF7DB-DD77-4A88-AADD-F4F2D320A10C}"),
              .eai_helper_iid = Guid::FromString("{D3322F77-04CA-4BE2-866C-8A9D20EBAF9F}"),
              .message_catalog_clsid = Guid::FromString("{56A8C9F9-ED96-4B58-815E-BEDBE54E6502}"),
              .message_catalog_iid = Guid::FromString("{57AFF52F-F0C9-4A44-B478-53208B82C1FA}"),
              .login_iid = Guid::FromString("{98529E03-B1BF-48D4-82AC-F861BCD28C6B}"),
              .record_mapper_clsid = Guid::FromString("{DBC12D99-1A21-4C58-BDBB-FF0A9F24EF71}"),
              .record_mapper_iid = Guid::FromString("{317D0864-1A0E-4758-8C8C-352812EBF213}"),
          },
      .caller_registration = true,
      .message_catalogue = true,
      .message_texts = &MessageTable871,
      .reads_options = true,
      .cost_object_resolution = true,
      .ompflag_row = true,
      .product_structure_check = false,
      .closed_period_check = false,
      .row_write_deletes = true,
      .writes_irdcode = true,
      .costing_method_sql = "select cvalue from AccInformation where cSysID ='ca' and cID='06'",
      .paging = true,
      .check_statement_pieces = JoinedCheckStatementPieces(),
      .query_statement_pieces =
          {
              "select c.* from ",
              " (select a.cDeptID,isnull(b.InvCode,'') as cppid, a.cMatID, a.cBatch, iPrice, "
              "a.iQua, a.iPeriod ,a.iMatQua,case isnull(a.irdcode,0) when 0 then 0 else 8 end as "
              "irdcode, ",
              "   isnull(b.Free1,'') as cFree1, isnull(b.Free2,'') as cFree2, ",
              "   isnull(b.Free3,'') as cFree3, isnull(b.Free4,'') as cFree4, ",
              "   isnull(b.Free5,'') as cFree5, isnull(b.Free6,'') as cFree6, ",
              "   isnull(b.Free7,'') as cFree7, isnull(b.Free8,'') as cFree8, ",
              "   isnull(b.Free9,'') as cFree9, isnull(b.Free10,'') as cFree10, ",
              "   isnull(b.Version,'') as cbomver, isnull(b.IdentCode,'') as cbomvertd, ",
              "   isnull(b.iMORouteSN,0) as cmoroutesn, isnull(b.cMOCode,'') as cmocode, ",
              "   isnull(b.iMOSubSN,0) as cmosubsn,isnull(b.ompflag,0) as ompflag",
              " from ca_mabsw a left join ca_batchmap b on a.cppid=b.iRealCOID and a.cbatch = "
              "b.cbatch",
              " ) as c",
          },
      .query_condition_separator = "\r\n",
  };
  return profile;
}

}  // namespace quillor
