#include "tools/quillor/serve/stop_signals.h"

#include <pthread.h>

#include <cerrno>
#include <ctime>

namespace quillor::serve {

namespace {

sigset_t StopSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGHUP);
  return set;
}

}  // namespace

StopSignals::StopSignals(std::function<void(int signal)> on_signal,
                         std::function<void()> on_hangup) {
  const sigset_t set = StopSet();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  waiter_ =
      std::thread([this, set, on_signal = std::move(on_signal), on_hangup = std::move(on_hangup)] {
        // The wait wakes now and then to see whether the owner is done with it.
        const timespec tick{0, 100'000'000};
        // The first signal starts the stop; later ones, while the requests in
        // progress finish, are taken and change nothing.
        bool stopping = false;
        while (!done_.load()) {
          const int signal = sigtimedwait(&set, nullptr, &tick);
          if ((signal == SIGTERM || signal == SIGINT) && !stopping) {
            stopping = true;
            on_signal(signal);
          } else if (signal == SIGHUP && !stopping) {
            on_hangup();
          }
        }
      });
}

StopSignals::~StopSignals() {
  done_.store(true);
  waiter_.join();
  // The mask stays: a signal that comes now finds a command that is ending anyway,
  // and it must not turn a clean end into a death by signal.
}

}  // namespace quillor::serve
