#include "platform/com/unknown.h"

namespace quillor::com {

std::atomic<long>& LiveObjectCount() {
  // One count per library: each in-process server answers for its own objects.
  static std::atomic<long> count{0};
  return count;
}

}  // namespace quillor::com
