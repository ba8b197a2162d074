// A value read from a database column: null, an integer, a double or a text.
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

  // The value as text, as the host's runtime converts it: integers in plain
  // decimal, doubles in their shortest exact form (2.5, 6, 0.1), texts as stored.
  // A null cannot become text: failure 94.
  std::string ToText() const;

  // The value as a truth value: a non-zero number, or a text that reads as one
  // ("1", "-1", "true" in any case). A null reads as false.
  bool ToBool() const;

 private:
  std::variant<std::monostate, int64_t, double, std::string> v_;
};

// A double in its shortest text that reads back to the same value.
std::string ShortestDoubleText(double value);

}  // namespace quillor
