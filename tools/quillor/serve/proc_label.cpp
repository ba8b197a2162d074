#include "tools/quillor/serve/proc_label.h"

#include "platform/base/text.h"

namespace quillor::serve {

std::string ProcLabel(std::string_view proc) {
  const std::string upper = AsciiUpper(proc);
  return upper == "ADD" || upper == "QUERY" ? upper : "OTHER";
}

}  // namespace quillor::serve
