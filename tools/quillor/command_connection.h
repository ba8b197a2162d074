// Choosing the connection text the command passes to the component.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quillor {

// The text given on the command line, even when empty; else $QUILLOR_CONNECTION;
// else empty text.
std::string ChooseConnection(const std::optional<std::string>& given);

}  // namespace quillor
