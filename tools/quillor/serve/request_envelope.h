// What the server reads of a request document before handing it to the
// component: the root's proc and docid for the access log and the metrics, and
// whether the component will hand out pages, which decides the answer's shape
// before the first byte of it is sent.
#pragma once

#include <string>
#include <string_view>

namespace quillor::serve {

struct RequestEnvelope {
  std::string proc;     // as written; empty when absent or when the start tag does not parse
  std::string docid;    // as written
  std::string roottag;  // as written: the name of a QUERY's row elements
  bool paged = false;   // QUERY (in any case) with a paginate above 0
};

RequestEnvelope ReadEnvelope(std::string_view request);

// The operation as a metric label: "ADD", "QUERY", "OTHER" (another or no proc),
// so that clients cannot make up label values.
std::string ProcLabel(std::string_view proc);

}  // namespace quillor::serve
