// Keeping request values inside the literal they are written into.
#pragma once

#include <string>
#include <string_view>

namespace quillor {

// The text with every single quote doubled, for use between single quotes.
std::string DoubleQuotes(std::string_view text);

}  // namespace quillor
