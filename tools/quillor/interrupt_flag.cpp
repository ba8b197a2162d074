#include "tools/quillor/interrupt_flag.h"

#include "tools/quillor/serve/reply_items.h"

namespace quillor {

namespace {

std::atomic<bool> interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void RaiseInterrupt(int) { interrupted.store(true); }

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

std::string InterruptedNote(std::string_view reply) {
  long answered = 0;
  long stored = 0;
  for (const auto& [code, count] : serve::SummarizeReply(reply, /*items=*/true).items) {
    answered += count;
    if (code == "0") stored += count;
  }
  return "quillor: interrupted: " + std::to_string(answered) +
         " of the request's lines were answered, and the " + std::to_string(stored) +
         " answered 0 are stored; no later line was sent to the database";
}

}  // namespace quillor
