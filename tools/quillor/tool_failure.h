// A failure of the command's own work, or of a release library's answer, in
// words: the command and the server print it and go on or end. The command
// links nothing of the component, so it has its own type for it.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace quillor {

class ToolFailure : public std::runtime_error {
 public:
  // E_FAIL: a failure that carries no status of its own.
  static constexpr int32_t kFail = static_cast<int32_t>(0x80004005u);
  static constexpr int32_t kOutOfMemory = static_cast<int32_t>(0x8007000Eu);

  explicit ToolFailure(std::string description) : ToolFailure(kFail, std::move(description)) {}
  ToolFailure(int32_t status, std::string description)
      : std::runtime_error(description), status_(status), description_(std::move(description)) {}

  // The library's status, or kFail.
  int32_t status() const { return status_; }
  const std::string& description() const { return description_; }

 private:
  int32_t status_;
  std::string description_;
};

}  // namespace quillor
