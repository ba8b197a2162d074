// A failure of the command itself, told in words: what failed, on which file, and
// what to do about it. The command prints it on standard error and exits 1.
#pragma once

#include <stdexcept>
#include <string>

namespace quillor {

class CommandError : public std::runtime_error {
 public:
  CommandError(const std::string& what, std::string hint)
      : std::runtime_error(what), hint_(std::move(hint)) {}
  // What to do; may be empty.
  const std::string& hint() const { return hint_; }

 private:
  std::string hint_;
};

}  // namespace quillor
