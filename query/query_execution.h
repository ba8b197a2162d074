// Running a QUERY and building its reply, handing pages to the registered caller.
#pragma once

#include <optional>
#include <string>

#include "platform/xml/xml.h"
#include "query/query_context.h"

namespace quillor {

// What a QUERY reads of its request's root, as written: the name of its row
// elements and its page size, each absent when the root has no such attribute.
struct QueryRootValues {
  const std::optional<std::string>& roottag;
  const std::optional<std::string>& paginate;
};

// The reply is the request as loaded, its root's content left out, with a row
// written into it for each record; `reply` is written only at the very end. The
// root's values come from the caller, which has read them once.
// Always returns false. Failures are not caught.
// REQUIRES: request has a root.
bool QueryProc(const QueryContext& ctx, const XmlDocument& request, const QueryRootValues& root,
               const XmlNodeList& elements, std::string& reply);

// As above, with the request as text: request_and_reply comes in as the request
// and goes out as the reply.
bool QueryProc(const QueryContext& ctx, const XmlNodeList& elements,
               std::string& request_and_reply);

}  // namespace quillor
