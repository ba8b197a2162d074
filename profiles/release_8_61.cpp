#include "profiles/release_profile.h"
#include "profiles/shared_identifiers.h"
#include "profiles/shared_statements.h"

namespace quillor {

using com::Guid;

namespace {

ReleaseIdentity Identity861() {
  ReleaseIdentity ids = ClassIdentity861();
  ids.eai_helper_iid = Guid::FromString("{CCA08729-B929-458D-99F3-8EF4E7900EE7}");
  ids.message_catalogue = ReleaseIdentity::Catalogue{
      MessageCatalogClsid(), Guid::FromString("{ECF652ED-E216-4A4A-8BE1-37F4BC1D7545}")};
  ids.login_iid = Guid::FromString("{EA9CCF4A-31A8-4C07-86C5-1624DF0A7329}");
  UseSharedRecordMapper(ids);
  return ids;
}

}  // namespace

const ReleaseProfile& Release861() {
  static const ReleaseProfile profile{
      .release = "8.61",
      .ids = Identity861(),
      .caller_registration = false,
      .message_texts = &CatalogueTexts861,
      .reads_options = true,
      .cost_object_resolution = true,
      .ompflag_row = false,
      .product_structure_check = false,
      .closed_period_check = true,
      .row_write_deletes = false,
      .writes_irdcode = false,
      .costing_method_sql = kCostingMethodByIdSql,
      .paging = false,
      .check_statement_pieces = JoinedCheckStatementPieces(),
      // Without irdcode and ompflag; the order numbers as text, cost objects from caq_coreal.
      .query_statement_pieces = JoinedQueryStatementPieces({
          .after_quantities = "",
          .route_and_code =
              "   isnull(str(iMORouteSN),'') as cmoroutesn, isnull(b.cMOCode,'') as cmocode, ",
          .sub_number = "   isnull(str(iMOSubSN),'')  as cmosubsn",
          .source = " from ca_mabsw a left join caq_coreal b on a.cppid=b.iRealCOID ",
      }),
      .query_condition_separator = "\r\n",
  };
  return profile;
}

}  // namespace quillor
