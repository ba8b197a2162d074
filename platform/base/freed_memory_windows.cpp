#include "platform/base/freed_memory.h"

#include <malloc.h>

namespace quillor {

void ReturnFreedMemory() { _heapmin(); }

}  // namespace quillor
