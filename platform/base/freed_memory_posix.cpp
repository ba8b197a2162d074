#include "platform/base/freed_memory.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace quillor {

void ReturnFreedMemory() {
#if defined(__GLIBC__)
  // Also releases free pages inside the heap, not only at its top.
  malloc_trim(0);
#endif
}

}  // namespace quillor
