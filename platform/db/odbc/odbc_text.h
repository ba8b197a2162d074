// The component's UTF-8 texts as the wide texts of the ODBC calls, and back. The wide
// calls are used throughout so that no driver manager or driver guesses an encoding
// from the host process's locale.
#pragma once

#include "platform/db/odbc/odbc_api.h"

#include <string>
#include <string_view>

namespace quillor::odbc {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t),
              "the driver manager's wide character is UTF-16");

// Malformed UTF-8 becomes U+FFFD, so a stray byte can never cut a statement short.
std::u16string Utf8ToUtf16(std::string_view text);
// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

inline SQLWCHAR* Wide(std::u16string& text) { return reinterpret_cast<SQLWCHAR*>(text.data()); }
inline std::u16string_view WideView(const SQLWCHAR* text, size_t length) {
  return {reinterpret_cast<const char16_t*>(text), length};
}

}  // namespace quillor::odbc
