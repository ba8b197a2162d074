// What the pool and the connections it handed out share: the idle connections,
// the counts and the lock. The pool's own; included by its files only.
#pragma once

#include <unistd.h>

#include <chrono>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/db/connection_pool.h"

namespace quillor {

struct ConnectionPool::Shared {
  using TimePoint = std::chrono::steady_clock::time_point;

  struct Idle {
    std::string text;
    std::unique_ptr<Connection> conn;
    TimePoint until;  // closed from then on
  };

  Opener open;
  Clock clock;
  Bounds bounds;

  std::mutex mutex;
  pid_t pid = getpid();
  bool closing = false;
  std::list<Idle> idle;  // in the order they were given back, the latest last
  PoolCounts counts;

  using Closing = std::vector<std::unique_ptr<Connection>>;

  // The fork protocol (pool_fork.cpp). A child process inherits the parent's
  // connections but must never use or close them (the parent still does): they
  // are let go of, unclosed.
  void LeaveTheParentsConnections();
  // Before a fork, once no other thread is inside the pool: the connections a
  // child must not inherit are closed, and the lock is held across the fork.
  void PrepareFork();
  void AfterForkInParent();
  void AfterForkInChild();

  void Discard(std::list<Idle>::iterator at, Closing& out) {
    out.push_back(std::move(at->conn));
    idle.erase(at);
    ++counts.discarded;
  }

  void TakeExpired(TimePoint now, Closing& out) {
    for (auto at = idle.begin(); at != idle.end();) {
      const auto next = std::next(at);
      if (at->until <= now) Discard(at, out);
      at = next;
    }
  }

  // The oldest beyond the bounds go: first those of this text, then any.
  void KeepWithinBounds(const std::string& text, Closing& out) {
    size_t of_text = 0;
    for (const Idle& entry : idle) of_text += entry.text == text ? 1 : 0;
    for (auto at = idle.begin(); at != idle.end() && of_text > bounds.idle_per_text;) {
      const auto next = std::next(at);
      if (at->text == text) {
        Discard(at, out);
        --of_text;
      }
      at = next;
    }
    while (idle.size() > bounds.idle_in_all) Discard(idle.begin(), out);
  }

  void GiveBack(std::string text, std::chrono::seconds idle_time, std::unique_ptr<Connection> conn,
                pid_t owner) {
    if (owner != getpid()) {
      (void)conn.release();  // the parent's, see LeaveTheParentsConnections
      return;
    }
    bool keep = false;
    try {
      keep = conn->ResetForReuse();
    } catch (...) {  // a connection that cannot be reset is closed
    }
    Closing to_close;
    {
      const std::lock_guard lock(mutex);
      LeaveTheParentsConnections();
      if (counts.busy > 0) --counts.busy;
      const TimePoint now = clock();
      if (keep && !closing && idle_time.count() > 0) {
        idle.push_back({std::move(text), std::move(conn), now + idle_time});
        TakeExpired(now, to_close);
        KeepWithinBounds(idle.back().text, to_close);
      } else {
        to_close.push_back(std::move(conn));
        ++counts.discarded;
      }
      counts.idle = idle.size();
    }
    // Closed outside the lock: closing can take a while (a checkpoint, a goodbye
    // to the server).
  }
};

}  // namespace quillor
