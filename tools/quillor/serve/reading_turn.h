// Which thread reads. The engine's handlers (reads, writes, deadlines) run on one
// thread at a time: whichever holds the turn. A free worker takes it, waits for
// the next event and handles it; a request that came whole is then served by that
// same worker, with no hand-off to another thread, while the turn lies free.
//
// The turn stays with the worker that last held it: it takes it again as soon as
// its call is done, which is at once when calls are short, and the other workers
// sleep. (The same thread, with the same object and warm caches, serves request
// after request, as one thread calling in process would.) When nobody has taken
// the turn for a whole tick (its worker is in a call that has gone on that long),
// the watch gives it to an idle worker or, with none idle, reads itself on the
// engine's own thread: requests it reads wait for a worker in the pool's queue,
// /healthz and /metrics are answered, and no call stalls other connections'
// reads for longer than about two ticks.
//
// Nothing here costs a system call per request: the turn is taken and let go
// with an uncontended lock, and the watch looks on a timer (and dozes while the
// server is idle, until the turn is next let go).
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

namespace quillor::serve {

class ReadingTurn {
 public:
  struct Hooks {
    // Waits for the next event and handles it: false when serving is over.
    std::function<bool()> run_one;
    // Handles events for at most this long: false when serving is over.
    std::function<bool(std::chrono::milliseconds)> run_for;
    // Wakes a worker that is idle for want of the turn: false when none is.
    std::function<bool()> wake_idle_worker;
  };

  ReadingTurn(Hooks hooks, std::chrono::milliseconds tick);

  // From a free worker (`reader`: its number): when nobody holds the turn and
  // it is kept for no other worker, handles one event and lets the turn go,
  // kept for this worker. False when another holds or keeps it, or serving is
  // over.
  bool TryRunOne(size_t reader);

  // The engine's own thread, until serving is over: looks every tick whether the
  // turn has been left free, and reads itself when no worker can.
  void Watch();

  // Serving is over: TryRunOne gives false, and Watch returns.
  void Close();
  bool over() const;

  // How often the engine's thread has read for want of a free worker (for the
  // tests and the figures).
  uint64_t stints() const;

 private:
  // Takes the turn when free and not kept for another; let go of it by Release,
  // kept for `keeper`.
  bool Take(size_t reader);
  void Release(bool more, size_t keeper);
  // Reads on the watch's thread for a tick: false when the turn was held.
  bool Stint();

  const Hooks hooks_;
  const std::chrono::milliseconds tick_;
  std::mutex turn_;  // held while handlers run
  mutable std::mutex state_;
  std::condition_variable changed_;
  static constexpr size_t kNobody = static_cast<size_t>(-1);
  bool held_ = false;
  size_t keeper_ = kNobody;
  bool over_ = false;
  bool dozing_ = false;
  uint64_t takes_ = 0;
  uint64_t stints_ = 0;
};

}  // namespace quillor::serve
