#include "profiles/release_profile.h"

namespace quillor {

using com::Guid;

const ReleaseProfile& Release850() {
  static const ReleaseProfile profile{
      .release = "8.50",
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
              .eai_helper_iid = Guid::FromString("{2CA5BFE8-8A19-4124-A13F-27D784191BB1}"),
              .message_catalog_clsid = {},
              .message_catalog_iid = {},
              .login_iid = Guid::FromString("{96E50AEF-D966-4111-B36F-15DBD613F012}"),
              .record_mapper_clsid = Guid::FromString("{41CFE044-F937-4627-9353-0C507F90FFEE}"),
              .record_mapper_iid = Guid::FromString("{BC2FA17C-D5E4-42DE-8D8E-A73DA15188B7}"),
          },
      .caller_registration = false,
      .message_catalogue = false,
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
