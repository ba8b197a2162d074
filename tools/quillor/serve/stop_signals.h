// SIGTERM and SIGINT, taken from their default action and turned into a call on
// a thread of their own. Construct it before any other thread starts, so that
// every thread inherits the blocked signals and only the waiter receives them.
#pragma once

#include <signal.h>

#include <atomic>
#include <functional>
#include <thread>

namespace quillor::serve {

class StopSignals {
 public:
  explicit StopSignals(std::function<void(int signal)> on_signal);
  // Ends the waiter; the signals stay blocked.
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

 private:
  std::atomic<bool> done_{false};
  std::thread waiter_;
};

}  // namespace quillor::serve
