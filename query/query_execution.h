// Running a QUERY and building its reply, handing pages to the registered caller.
#pragma once

#include <string>

#include "platform/xml/xml.h"
#include "query/query_context.h"

namespace quillor {

// request_and_reply comes in as the request text and goes out as the reply; it is written
// only at the very end. Always returns false. Failures are not caught.
bool QueryProc(const QueryContext& ctx, const XmlNodeList& elements,
               std::string& request_and_reply);

}  // namespace quillor
