#include "tools/quillor/serve/request_note.h"

namespace quillor::serve {

RequestNote& ThisThreadsNote() {
  thread_local RequestNote note;
  return note;
}

}  // namespace quillor::serve
