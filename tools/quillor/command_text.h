// The command's few text helpers for HTTP headers, token files and operation
// names: ASCII only, as those texts are.
#pragma once

#include <string>
#include <string_view>

namespace quillor {

// The text with a..z made A..Z.
std::string UpperAscii(std::string_view text);

// Whether two texts are the same but for the case of ASCII letters.
bool SameIgnoringCase(std::string_view a, std::string_view b);
// Whether text begins with prefix, but for the case of ASCII letters.
bool BeginsIgnoringCase(std::string_view text, std::string_view prefix);

// The text without the blanks (space, tab, CR, LF) at either end.
std::string_view WithoutBlanks(std::string_view text);

}  // namespace quillor
