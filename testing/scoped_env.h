// One environment variable set (or unset) for a scope and put back as it was when
// the scope ends: a setting for one call, or for one test.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

namespace quillor {

// The name is kept as given: a text that outlives the object, such as a literal.
class ScopedEnv {
 public:
  // Only remembers the variable, for code that changes it itself.
  explicit ScopedEnv(const char* name) : name_(name) {
    if (const char* v = std::getenv(name)) old_ = v;
  }
  // Sets the variable to value, or unsets it when value is null.
  ScopedEnv(const char* name, const char* value) : ScopedEnv(name) {
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace quillor
