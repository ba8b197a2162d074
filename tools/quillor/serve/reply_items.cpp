#include "tools/quillor/serve/reply_items.h"

#include "quillor/quillor.h"

namespace quillor::serve {

std::string ItemsHeader(const ItemCounts& items) {
  std::string header;
  for (const auto& [code, count] : items) {
    if (!header.empty()) header += ", ";
    header += code + "=" + std::to_string(count);
  }
  return header;
}

bool MayBeUnopenedConnection(std::optional<int32_t> code, bool lines_answered) {
  if (!code || lines_answered) return false;
  // The request's own faults: not well-formed (or over the bound), no root, an
  // unknown operation. The component answers them only after its connection
  // opened, since it opens the connection first.
  for (const int32_t fault :
       {QUILLOR_REPLY_NOT_WELL_FORMED, QUILLOR_REPLY_NO_ROOT, QUILLOR_REPLY_UNKNOWN_PROC}) {
    if (*code == fault) return false;
  }
  return true;
}

bool DriverCouldNotConnect(std::string_view state) {
  return state.size() == 5 && state.compare(0, 2, "08") == 0;
}

}  // namespace quillor::serve
