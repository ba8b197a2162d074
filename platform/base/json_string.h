// Texts written as JSON strings: the SQL trace's lines and the registry file's
// names and values are quoted, and read back, the same way.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillor {

// A text as a JSON string, quotes included. UTF-8 stays as it is; control
// characters are escaped.
std::string JsonString(std::string_view text);

// Reads the JSON string that starts at text[pos] and leaves pos behind its closing
// quote. Nothing when it is not one, with the reason in why: "expected a quoted
// text", "unknown escape" or "unterminated quoted text".
std::optional<std::string> ReadJsonString(std::string_view text, size_t& pos, std::string& why);

}  // namespace quillor
