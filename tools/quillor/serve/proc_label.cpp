#include "tools/quillor/serve/proc_label.h"

#include "tools/quillor/command_text.h"

namespace quillor::serve {

std::string ProcLabel(std::string_view proc) {
  const std::string upper = UpperAscii(proc);
  return upper == "ADD" || upper == "QUERY" ? upper : "OTHER";
}

}  // namespace quillor::serve
