// Turning the field elements of a QUERY into its condition.
#pragma once

#include <string>

#include "platform/db/database.h"
#include "platform/xml/xml.h"
#include "query/query_context.h"

namespace quillor {

// "where " and one comparison per element, joined by their logic words, or empty
// text for no elements. Column names are checked against the release's check
// statement; refused operators, logic words and values are failure 5.
std::string BuildWhere(const QueryContext& ctx, const XmlNodeList& elements, Connection& conn);

}  // namespace quillor
