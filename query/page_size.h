// Reading the page size a QUERY request asks for.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quillor {

// The root's paginate text as a 32-bit whole number, as the original runtime
// converts it (FullNumber, then ToInt32): blanks around it, a sign and the
// "&H"/"&O" prefixes are allowed, a fraction is rounded to the nearest whole number
// (halves to the even one). No attribute: failure 94; empty or not a number:
// failure 13; beyond 32 bits: failure 6.
int32_t PageSizeFromText(const std::optional<std::string>& paginate);

}  // namespace quillor
