#include "tools/quillor/interrupt_flag.h"

namespace quillor {

namespace {

std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
using StopFn = void (*)(quillor_call_t*);
std::atomic<StopFn> stop_function{nullptr};
std::atomic<quillor_call_t*> stop_call{nullptr};
static_assert(std::atomic<StopFn>::is_always_lock_free, "read in a signal handler");
static_assert(std::atomic<quillor_call_t*>::is_always_lock_free, "read in a signal handler");

void AskToStop() {
  const StopFn stop = stop_function.load();
  quillor_call_t* call = stop_call.load();
  if (stop && call) stop(call);
}

extern "C" void RaiseInterrupt(int) {
  interrupted.store(true);
  AskToStop();
}

}  // namespace

InterruptFlag::InterruptFlag() {
  interrupted.store(false);
  struct sigaction action {};
  action.sa_handler = RaiseInterrupt;
  sigemptyset(&action.sa_mask);
  // One Ctrl-C asks the batch to stop; a second one ends the process at once.
  action.sa_flags = SA_RESETHAND | SA_RESTART;
  sigaction(SIGINT, &action, &earlier_);
}

InterruptFlag::~InterruptFlag() { sigaction(SIGINT, &earlier_, nullptr); }

const std::atomic<bool>* InterruptFlag::flag() const { return &interrupted; }

void InterruptFlag::Forward(void (*stop)(quillor_call_t*), quillor_call_t* call) {
  // The call first and the function after: the handler never pairs a new
  // function with a call that has ended.
  stop_function.store(nullptr);
  stop_call.store(call);
  stop_function.store(stop);
  if (interrupted.load()) AskToStop();
}

std::string InterruptedNote(const std::vector<int32_t>& line_codes) {
  const long answered = static_cast<long>(line_codes.size());
  long stored = 0;
  for (const int32_t code : line_codes) stored += code == 0 ? 1 : 0;
  return "quillor: interrupted: " + std::to_string(answered) +
         " of the request's lines were answered, and the " + std::to_string(stored) +
         " answered 0 are stored; no later line was sent to the database";
}

}  // namespace quillor
