// Statements that more than one release sends unchanged.
#pragma once

#include <string_view>
#include <vector>

namespace quillor {

// The check statement whose column list names what a query condition may use:
// the material table joined to the cost-object table.
const std::vector<std::string_view>& JoinedCheckStatementPieces();

}  // namespace quillor
