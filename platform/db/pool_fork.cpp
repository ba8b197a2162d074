// The pool across a fork: the process waits until no thread is inside the pool,
// the connections a child must not inherit are closed first, and a child lets go
// of the rest without using or closing them.
#include <unistd.h>

#include "platform/db/pool_shared.h"

namespace quillor {

void ConnectionPool::Shared::LeaveTheParentsConnections() {
  if (pid == getpid()) return;
  for (Idle& entry : idle) (void)entry.conn.release();
  idle.clear();
  counts = PoolCounts();
  pid = getpid();
}

void ConnectionPool::Shared::PrepareFork() {
  mutex.lock();
  LeaveTheParentsConnections();
  for (auto at = idle.begin(); at != idle.end();) {
    const auto next = std::next(at);
    if (!at->conn->KeptAcrossFork()) {
      at->conn.reset();
      idle.erase(at);
      ++counts.discarded;
    }
    at = next;
  }
  counts.idle = idle.size();
}
void ConnectionPool::Shared::AfterForkInParent() { mutex.unlock(); }
void ConnectionPool::Shared::AfterForkInChild() {
  LeaveTheParentsConnections();
  mutex.unlock();
}

}  // namespace quillor
