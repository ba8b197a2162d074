// The caller object the command registers for paged queries: it receives every
// completed result page through ProcessExport and writes it to a file.
#pragma once

#include <ostream>
#include <string>

#include "platform/com/dispatch.h"

namespace quillor {

// ProcessExport(page xml, page number, page count) writes DIR/page-N.xml and
// reports "page N of M" on progress.
com::ComPtr<com::IDispatch> MakePageWriter(std::string dir, std::ostream& progress);

}  // namespace quillor
