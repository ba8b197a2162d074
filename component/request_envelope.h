// What a request's root says about the call, read once when the request is read:
// the operation, the reply's docid and proc, a QUERY's row name and page size.
// Every later step of the call takes these values rather than reading the root's
// attributes again.
#pragma once

#include <optional>
#include <string>

#include "platform/xml/xml.h"

namespace quillor {

struct RequestEnvelope {
  std::string proc;       // as written; empty when absent
  std::string operation;  // proc upper-cased (ASCII only), "ADD", "QUERY" or another
  std::string docid;      // as written; empty when absent
  // A QUERY's row name and page size as written. Absent is not empty: a QUERY
  // that writes a row without a roottag, or pages without a paginate, fails.
  std::optional<std::string> roottag;
  std::optional<std::string> paginate;
  bool is_add = false;  // the operation is ADD, in any case

  // Read from the root's attributes (the type declaration's defaults applied).
  static RequestEnvelope FromRoot(XmlElement root);
};

}  // namespace quillor
