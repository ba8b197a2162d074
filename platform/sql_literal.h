// Keeping request values inside the literal they are written into.
#pragma once

#include <string>
#include <string_view>

namespace quillor {

// The text with every single quote doubled, for use between single quotes.
std::string DoubleQuotes(std::string_view text);

// A plain number, fit to stand bare in a statement: optional blanks around it, an
// optional sign, digits with at most one full stop (at least one digit), and an
// optional exponent (E or e, optional sign, digits).
bool IsPlainNumber(std::string_view text);

// A whole number, as an integer column takes it: optional blanks around it, an
// optional sign and digits only (no full stop, no exponent).
bool IsWholeNumber(std::string_view text);

}  // namespace quillor
