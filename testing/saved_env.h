// For tests: an environment variable put back as it was when the test is done.
#pragma once

#include <stdlib.h>

#include <optional>
#include <string>

namespace quillor::testing {

// Restores one environment variable (its value, or its absence) when it goes.
class SavedEnv {
 public:
  explicit SavedEnv(const char* name) : name_(name) {
    if (const char* v = getenv(name)) old_ = v;
  }
  ~SavedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  SavedEnv(const SavedEnv&) = delete;
  SavedEnv& operator=(const SavedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace quillor::testing
