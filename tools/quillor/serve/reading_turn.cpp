#include "tools/quillor/serve/reading_turn.h"

namespace quillor::serve {

namespace {

// Ticks with the turn held and never let go: the holder waits for an event on an
// idle server, and the watch dozes until the turn is next let go.
constexpr int kDozeAfter = 50;

}  // namespace

ReadingTurn::ReadingTurn(Hooks hooks, std::chrono::milliseconds tick)
    : hooks_(std::move(hooks)), tick_(tick) {}

bool ReadingTurn::Take(size_t reader) {
  if (!turn_.try_lock()) return false;
  const std::lock_guard lock(state_);
  if (over_ || (keeper_ != kNobody && keeper_ != reader)) {
    turn_.unlock();
    return false;
  }
  held_ = true;
  ++takes_;
  return true;
}

void ReadingTurn::Release(bool more, size_t keeper) {
  {
    const std::lock_guard lock(state_);
    held_ = false;
    keeper_ = keeper;
    if (!more) over_ = true;
    // Only a dozing watch is told: a busy one looks on its own at the next tick.
    if (dozing_ || over_) changed_.notify_all();
  }
  turn_.unlock();
}

bool ReadingTurn::TryRunOne(size_t reader) {
  if (!Take(reader)) return false;
  bool more = true;
  try {
    more = hooks_.run_one();
  } catch (...) {
    Release(true, reader);
    throw;
  }
  Release(more, reader);
  return more;
}

bool ReadingTurn::Stint() {
  if (!Take(kNobody)) return false;
  bool more = true;
  try {
    more = hooks_.run_for(tick_);
  } catch (...) {
    Release(true, kNobody);
    throw;
  }
  {
    const std::lock_guard lock(state_);
    ++stints_;
  }
  Release(more, kNobody);
  return more;
}

void ReadingTurn::Watch() {
  std::unique_lock lock(state_);
  uint64_t seen = takes_;
  int quiet = 0;
  while (!over_) {
    if (dozing_) {
      changed_.wait(lock, [&] { return over_ || !held_; });
      dozing_ = false;
      quiet = 0;
      seen = takes_;
      continue;
    }
    changed_.wait_for(lock, tick_, [&] { return over_; });
    if (over_) break;
    const bool taken_since = takes_ != seen;
    seen = takes_;
    if (held_) {
      quiet = taken_since ? 0 : quiet + 1;
      if (quiet >= kDozeAfter) dozing_ = true;
      continue;
    }
    quiet = 0;
    if (taken_since) continue;  // let go within the tick: a worker is in a short call
    // Left free for a whole tick: no longer kept for the worker in its call; an
    // idle worker takes it, or this thread reads until one is idle.
    keeper_ = kNobody;
    lock.unlock();
    while (!hooks_.wake_idle_worker() && Stint()) {
    }
    lock.lock();
    seen = takes_;
  }
}

void ReadingTurn::Close() {
  const std::lock_guard lock(state_);
  over_ = true;
  changed_.notify_all();
}

bool ReadingTurn::over() const {
  const std::lock_guard lock(state_);
  return over_;
}

uint64_t ReadingTurn::stints() const {
  const std::lock_guard lock(state_);
  return stints_;
}

}  // namespace quillor::serve
