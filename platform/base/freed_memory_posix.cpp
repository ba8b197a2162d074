#include "platform/base/freed_memory.h"

#include <cstdlib>  // for __GLIBC__, which only a C library header defines

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
