// Handing memory the allocator holds free back to the system. After a call that
// built a large tree, the allocator keeps the freed pages for later use; a host
// that made one such call would keep its peak for the rest of its life.
#pragma once

namespace quillor {

// Cheap next to the work of a large call, not free: call it after one.
void ReturnFreedMemory();

}  // namespace quillor
