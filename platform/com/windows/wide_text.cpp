#include "platform/com/windows/wide_text.h"

#include <climits>
#include <new>

namespace quillor::win {

std::wstring Widen(std::string_view utf8) {
  if (utf8.empty()) return {};
  if (utf8.size() > static_cast<size_t>(INT_MAX)) throw std::bad_alloc();
  const int length = static_cast<int>(utf8.size());
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
  if (n <= 0) throw std::bad_alloc();
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, out.data(), n);
  return out;
}

std::string Narrow(std::wstring_view utf16) {
  if (utf16.empty()) return {};
  if (utf16.size() > static_cast<size_t>(INT_MAX)) throw std::bad_alloc();
  const int length = static_cast<int>(utf16.size());
  const int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), length, nullptr, 0, nullptr, nullptr);
  if (n <= 0) throw std::bad_alloc();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, utf16.data(), length, out.data(), n, nullptr, nullptr);
  return out;
}

std::string Narrow(BSTR text) {
  if (text == nullptr) return {};
  return Narrow(std::wstring_view(text, SysStringLen(text)));
}

Bstr::Bstr(std::wstring_view utf16) {
  if (utf16.size() > static_cast<size_t>(UINT_MAX / 2)) throw std::bad_alloc();
  text_ = SysAllocStringLen(utf16.data(), static_cast<UINT>(utf16.size()));
  if (text_ == nullptr) throw std::bad_alloc();
}

Bstr::Bstr(std::string_view utf8) : Bstr(std::wstring_view(Widen(utf8))) {}

}  // namespace quillor::win
