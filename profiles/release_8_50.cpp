#include "profiles/release_profile.h"
#include "profiles/shared_identifiers.h"

namespace quillor {

using com::Guid;

namespace {

// 8.61's class, with helpers of its own and no message catalogue.
ReleaseIdentity Identity850() {
  ReleaseIdentity ids = ClassIdentity861();
  ids.eai_helper_iid = Guid::FromString("{2CA5BFE8-8A19-4124-A13F-27D784191BB1}");
  ids.login_iid = Guid::FromString("{96E50AEF-D966-4111-B36F-15DBD613F012}");
  ids.record_mapper_clsid = Guid::FromString("{41CFE044-F937-4627-9353-0C507F90FFEE}");
  ids.record_mapper_iid = Guid::FromString("{BC2FA17C-D5E4-42DE-8D8E-A73DA15188B7}");
  return ids;
}

}  // namespace

const ReleaseProfile& Release850() {
  static const ReleaseProfile profile{
      .release = "8.50",
      .ids = Identity850(),
      .caller_registration = false,
      .message_texts = &FixedTexts850,
      .reads_options = false,
      .cost_object_resolution = false,
      .ompflag_row = false,
      .product_structure_check = true,
      .closed_period_check = true,
      .row_write_deletes = false,
      .writes_irdcode = false,
      .costing_method_sql =
          "select cvalue from AccInformation where cSysID ='ca' and cCaption='成本计算方法'",
      .paging = false,
      .check_statement_pieces = {"select * from ca_mabsw where 1>1"},
      .query_statement_pieces = {"select * from ca_mabsw "},
      .query_condition_separator = "",
  };
  return profile;
}

}  // namespace quillor
