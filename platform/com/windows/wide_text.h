// The component's UTF-8 texts as the UTF-16 texts of Windows and COM (BSTR), and
// back. Malformed UTF-8 and unpaired surrogates become U+FFFD.
#pragma once

#include "platform/com/windows/windows_api.h"

#include <string>
#include <string_view>
#include <utility>

namespace quillor::win {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);
// A BSTR's text, which may hold NULs; a null BSTR is the empty text.
std::string Narrow(BSTR text);

// Owns one BSTR. Move-only.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(std::string_view utf8);
  explicit Bstr(std::wstring_view utf16);
  ~Bstr() { SysFreeString(text_); }
  Bstr(Bstr&& other) noexcept : text_(std::exchange(other.text_, nullptr)) {}
  Bstr& operator=(Bstr&& other) noexcept {
    std::swap(text_, other.text_);
    return *this;
  }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;

  BSTR get() const { return text_; }
  // Hands the string over to a caller that frees it (an out-parameter).
  BSTR release() { return std::exchange(text_, nullptr); }
  // Frees the current string and returns a slot for an out-parameter.
  BSTR* put() {
    SysFreeString(std::exchange(text_, nullptr));
    return &text_;
  }
  std::string utf8() const { return Narrow(text_); }

 private:
  BSTR text_ = nullptr;
};

}  // namespace quillor::win
