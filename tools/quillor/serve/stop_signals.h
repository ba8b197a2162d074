// SIGTERM and SIGINT (stop) and SIGHUP (reload), taken from their default action
// and turned into calls on a thread of their own. Construct it before any other
// thread starts, so that every thread inherits the blocked signals and only the
// waiter receives them.
#pragma once

#include <signal.h>

#include <atomic>
#include <functional>
#include <thread>

namespace quillor::serve {

class StopSignals {
 public:
  // `on_hangup` runs for every SIGHUP, one at a time; none after the stop began.
  StopSignals(std::function<void(int signal)> on_signal, std::function<void()> on_hangup);
  // Ends the waiter; the signals stay blocked.
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

 private:
  std::atomic<bool> done_{false};
  std::thread waiter_;
};

}  // namespace quillor::serve
