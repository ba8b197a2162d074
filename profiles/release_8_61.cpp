#include "profiles/release_profile.h"
#include "profiles/shared_statements.h"

namespace quillor {

using com::Guid;

const ReleaseProfile& Release861() {
  static const ReleaseProfile profile{
      .release = "8.61",
      .ids =
          {
              .libid = Guid::FromString("{A13D57A3-5E85-4DB6-8878-DE7C5A3B0A8D}"),
              .typelib_major = 1,
              .typelib_minor = 0,
              .clsid = Guid::FromString("{BF180A4F-7856-4DA7-8B5A-FCB8AA5B9F9E}"),
              .interface_iids = {Guid::FromString("{C24B7A92-CBE4-480A-AEBC-44794F84CCAF}")},
              .interface_names = {"_IMaterial"},
              .methods = {{"Transact", 0x60030000}, {"QueryProc", 0x60030005}},
              .eai_helper_clsid = Guid::FromString("{8E95C720-F40C-473B-BFD4-8428B0498982}"),
              .eai_helper_iid = Guid::FromString("{CCA08729-B929-458D-99F3-8EF4E7900EE7}"),
              .message_catalog_clsid = Guid::FromString("{56A8C9F9-ED96-4B58-815E-BEDBE54E6502}"),
              .message_catalog_iid = Guid::FromString("{ECF652ED-E216-4A4A-8BE1-37F4BC1D7545}"),
              .login_iid = Guid::FromString("{EA9CCF4A-31A8-4C07-86C5-1624DF0A7329}"),
              .record_mapper_clsid = Guid::FromString("{DBC12D99-1A21-4C58-BDBB-FF0A9F24EF71}"),
              .record_mapper_iid = Guid::FromString("{317D0864-1A0E-4758-8C8C-352812EBF213}"),
          },
      .caller_registration = false,
      .message_catalogue = true,
      .message_texts = &MessageTable861,
      .reads_options = true,
      .cost_object_resolution = true,
      .ompflag_row = false,
      .product_structure_check = false,
      .closed_period_check = true,
      .row_write_deletes = false,
      .writes_irdcode = false,
      .costing_method_sql = "select cvalue from AccInformation where cSysID ='ca' and cID='06'",
      .paging = false,
      .check_statement_pieces = JoinedCheckStatementPieces(),
      .query_statement_pieces =
          {
              "select c.* from ",
              " (select a.cDeptID,isnull(b.InvCode,'') as cppid, a.cMatID, a.cBatch, iPrice, "
              "a.iQua, a.iPeriod ,a.iMatQua,",
              "   isnull(b.Free1,'') as cFree1, isnull(b.Free2,'') as cFree2, ",
              "   isnull(b.Free3,'') as cFree3, isnull(b.Free4,'') as cFree4, ",
              "   isnull(b.Free5,'') as cFree5, isnull(b.Free6,'') as cFree6, ",
              "   isnull(b.Free7,'') as cFree7, isnull(b.Free8,'') as cFree8, ",
              "   isnull(b.Free9,'') as cFree9, isnull(b.Free10,'') as cFree10, ",
              "   isnull(b.Version,'') as cbomver, isnull(b.IdentCode,'') as cbomvertd, ",
              "   isnull(str(iMORouteSN),'') as cmoroutesn, isnull(b.cMOCode,'') as cmocode, ",
              "   isnull(str(iMOSubSN),'')  as cmosubsn",
              " from ca_mabsw a left join caq_coreal b on a.cppid=b.iRealCOID ",
              " ) as c",
          },
      .query_condition_separator = "\r\n",
  };
  return profile;
}

}  // namespace quillor
