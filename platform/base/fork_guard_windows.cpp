// Windows has no fork: nothing to wait for, nothing to run around one.
#include "platform/base/fork_guard.h"

namespace quillor {

ForkGuard::ForkGuard() : held_here_(nullptr) {}
ForkGuard::~ForkGuard() = default;

uint64_t AddForkHandlers(ForkRank /*rank*/, ForkHandlers /*handlers*/) { return 0; }
void RemoveForkHandlers(uint64_t /*id*/) {}

}  // namespace quillor
