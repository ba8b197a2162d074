// The shapes of number a statement may hold bare, checked before a request's
// text is written into one.
#pragma once

#include <string_view>

namespace quillor {

// Blanks are the XML ones (space, tab, carriage return, line feed): a pretty-printed
// request puts line feeds around a field's text, and the text is spliced as it came.

// A plain number, fit to stand bare in a statement: optional blanks around it, an
// optional sign, digits with at most one full stop (at least one digit), and an
// optional exponent (E or e, optional sign, digits).
bool IsPlainNumber(std::string_view text);

// A whole number, as an integer column takes it: optional blanks around it, an
// optional sign and digits only (no full stop, no exponent).
bool IsWholeNumber(std::string_view text);

}  // namespace quillor
