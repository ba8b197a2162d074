// Ctrl-C during a long ADD: while an InterruptFlag lives, SIGINT only sets a flag
// and asks the running call to stop (quillor_request_stop), which the component
// reads between two lines, so the batch ends with every line answered so far
// committed whole. A second SIGINT takes the default action again.
#pragma once

#include <signal.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "quillor/quillor.h"

namespace quillor {

class InterruptFlag {
 public:
  InterruptFlag();
  ~InterruptFlag();  // the earlier SIGINT action again
  InterruptFlag(const InterruptFlag&) = delete;
  InterruptFlag& operator=(const InterruptFlag&) = delete;

  const std::atomic<bool>* flag() const;
  bool raised() const { return flag()->load(); }

  // The call SIGINT asks to stop, from the handler (the library's stop function
  // only sets a flag); nulls when no call runs. A SIGINT that came before the
  // call is passed on at once.
  static void Forward(void (*stop)(quillor_call_t*), quillor_call_t* call);

 private:
  struct sigaction earlier_ {};
};

// The exit status of a command ended by SIGINT, as shells report it.
inline constexpr int kInterruptedExit = 130;

// The line told on standard error when an ADD was interrupted: how many lines the
// reply answers and how many of them were answered 0 (stored), from the codes of
// the lines' outcomes.
std::string InterruptedNote(const std::vector<int32_t>& line_codes);

}  // namespace quillor
