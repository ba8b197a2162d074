// A value read from a database column: null, an integer, a double or a text, as
// a backend hands it over. How the host's runtime turns it into text or a truth
// value is runtime/value_text.h.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace quillor {

class DbValue {
 public:
  DbValue() = default;
  DbValue(int64_t v) : v_(v) {}                 // NOLINT(google-explicit-constructor)
  DbValue(double v) : v_(v) {}                  // NOLINT(google-explicit-constructor)
  DbValue(std::string v) : v_(std::move(v)) {}  // NOLINT(google-explicit-constructor)

  bool IsNull() const { return std::holds_alternative<std::monostate>(v_); }
  bool IsInteger() const { return std::holds_alternative<int64_t>(v_); }
  bool IsDouble() const { return std::holds_alternative<double>(v_); }
  bool IsText() const { return std::holds_alternative<std::string>(v_); }

  int64_t Integer() const { return std::get<int64_t>(v_); }
  double Double() const { return std::get<double>(v_); }
  const std::string& Text() const { return std::get<std::string>(v_); }

 private:
  std::variant<std::monostate, int64_t, double, std::string> v_;
};

}  // namespace quillor
