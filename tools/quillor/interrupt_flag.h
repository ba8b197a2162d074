// Ctrl-C during a long ADD: while an InterruptFlag lives, SIGINT only sets a flag,
// which the component reads between two lines through the login object, so the
// batch ends with every line answered so far committed whole. A second SIGINT
// takes the default action again.
#pragma once

#include <signal.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillor {

class InterruptFlag {
 public:
  InterruptFlag();
  ~InterruptFlag();  // the earlier SIGINT action again
  InterruptFlag(const InterruptFlag&) = delete;
  InterruptFlag& operator=(const InterruptFlag&) = delete;

  const std::atomic<bool>* flag() const;
  bool raised() const { return flag()->load(); }

 private:
  struct sigaction earlier_ {};
};

// The exit status of a command ended by SIGINT, as shells report it.
inline constexpr int kInterruptedExit = 130;

// The line told on standard error when an ADD was interrupted: how many lines the
// reply answers and how many of them were answered 0 (stored).
std::string InterruptedNote(std::string_view reply);

}  // namespace quillor
