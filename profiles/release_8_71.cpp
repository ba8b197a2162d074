#include "profiles/release_profile.h"
#include "profiles/shared_identifiers.h"
#include "profiles/shared_statements.h"

namespace quillor {

using com::Guid;

namespace {

ReleaseIdentity Identity871() {
  ReleaseIdentity ids = ClassIdentity(
      "{75584C87-AEC6-44D6-A671-CD61766F21EF}", 1, 1, "{CB6E8E80-C56C-4F6B-97B0-A71C5626F6D3}",
      {"{0BB9C7B9-98F3-4031-B308-C1520C47836B}", "{74F0A8A9-97A5-440A-9C79-EA76CA472DA4}"});
  ids.interface_names = {"_IMaterial", "IMaterial___v0"};
  ids.methods = {{"Transact", 0x60030000},
                 {"QueryProc", 0x60030005},
                 {"AddObjectReference", 0x6003000D},
                 {"DropObjectReference", 0x6003000E}};
  ids.eai_helper_clsid = Guid::FromString("{E05AF7DB-DD77-4A88-AADD-F4F2D320A10C}");
  ids.eai_helper_iid = Guid::FromString("{D3322F77-04CA-4BE2-866C-8A9D20EBAF9F}");
  ids.message_catalogue = ReleaseIdentity::Catalogue{
      MessageCatalogClsid(), Guid::FromString("{57AFF52F-F0C9-4A44-B478-53208B82C1FA}")};
  ids.login_iid = Guid::FromString("{98529E03-B1BF-48D4-82AC-F861BCD28C6B}");
  UseSharedRecordMapper(ids);
  return ids;
}

}  // namespace

const ReleaseProfile& Release871() {
  static const ReleaseProfile profile{
      .release = "8.71",
      .ids = Identity871(),
      .caller_registration = true,
      .message_texts = &CatalogueTexts871,
      .reads_options = true,
      .cost_object_resolution = true,
      .ompflag_row = true,
      .product_structure_check = false,
      .closed_period_check = false,
      .row_write_deletes = true,
      .writes_irdcode = true,
      .costing_method_sql = kCostingMethodByIdSql,
      .paging = true,
      .check_statement_pieces = JoinedCheckStatementPieces(),
      .query_statement_pieces = JoinedQueryStatementPieces({
          .after_quantities = "case isnull(a.irdcode,0) when 0 then 0 else 8 end as irdcode, ",
          .route_and_code =
              "   isnull(b.iMORouteSN,0) as cmoroutesn, isnull(b.cMOCode,'') as cmocode, ",
          .sub_number = "   isnull(b.iMOSubSN,0) as cmosubsn,isnull(b.ompflag,0) as ompflag",
          .source = " from ca_mabsw a left join ca_batchmap b on a.cppid=b.iRealCOID and a.cbatch "
                    "= b.cbatch",
      }),
      .query_condition_separator = "\r\n",
  };
  return profile;
}

}  // namespace quillor
