// An automation value: what late-bound calls pass and return.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "platform/com/unknown.h"

namespace quillor::com {

struct IDispatch;

class Variant {
 public:
  struct Empty {};
  struct Null {};
  using Value = std::variant<Empty, Null, bool, int32_t, double, std::string, ComPtr<IDispatch>>;

  Variant() = default;
  Variant(bool v) : v_(v) {}          // NOLINT(google-explicit-constructor)
  Variant(int32_t v) : v_(v) {}       // NOLINT(google-explicit-constructor)
  Variant(double v) : v_(v) {}        // NOLINT(google-explicit-constructor)
  Variant(std::string v) : v_(std::move(v)) {}  // NOLINT(google-explicit-constructor)
  Variant(const char* v) : v_(std::string(v)) {}  // NOLINT(google-explicit-constructor)
  Variant(ComPtr<IDispatch> v) : v_(std::move(v)) {}  // NOLINT(google-explicit-constructor)
  static Variant MakeNull() {
    Variant v;
    v.v_ = Null{};
    return v;
  }

  bool IsEmpty() const { return std::holds_alternative<Empty>(v_); }
  bool IsNull() const { return std::holds_alternative<Null>(v_); }
  template <class T>
  bool Holds() const {
    return std::holds_alternative<T>(v_);
  }
  template <class T>
  const T& Get() const {
    return std::get<T>(v_);
  }
  template <class T>
  T& Get() {
    return std::get<T>(v_);
  }
  const Value& value() const { return v_; }

 private:
  Value v_;
};

}  // namespace quillor::com
