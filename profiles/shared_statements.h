// Statements that more than one release shares: sent unchanged, or built alike.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "profiles/release_profile.h"

namespace quillor {

// The check statement whose column list names what a query condition may use:
// the material table joined to the cost-object table (8.71 and 8.61).
const std::vector<std::string_view>& JoinedCheckStatementPieces();

// The costing method as option 06 holds it (8.71 and 8.61).
inline constexpr std::string_view kCostingMethodByIdSql =
    "select cvalue from AccInformation where cSysID ='ca' and cID='06'";

// Where the query statements of 8.71 and 8.61 differ; each text is one piece, or
// the end of one.
struct JoinedQueryColumns {
  std::string_view after_quantities;  // after "a.iMatQua," on its line
  std::string_view route_and_code;    // the routing number and the order code
  std::string_view sub_number;        // the order line and what follows it
  std::string_view source;            // the from clause with its join
};

// The query statement over the material table left-joined to a cost-object table,
// as pieces.
std::vector<std::string> JoinedQueryStatementPieces(const JoinedQueryColumns& columns);

}  // namespace quillor
