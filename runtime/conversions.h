// The numeric conversions the material checks rely on, as the original runtime
// performs them.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/base/db_value.h"

namespace quillor {

// The number at the start of a text: blanks, tabs and line feeds are skipped
// wherever they stand; an optional sign, digits with at most one full stop and an
// optional exponent (E or D) are read up to the first character that cannot
// continue the number. "&H" and "&O" start a hexadecimal or octal whole number.
// No number at all gives 0. Beyond the range of a double: failure 6.
double LeadingNumber(std::string_view text);

// The nearest whole number, halves going to the even neighbour; outside
// -32768..32767: failure 6.
int16_t ToInt16(double value);

// Whether |total - price * quantity|, formed in extended precision and then
// rounded to a double, is greater than 0.01. A difference too large for a double:
// failure 6.
bool TotalDiffers(double total, double price, double quantity);

// The whole text as a number, as the runtime converts a text it is told is a
// number: blanks (space, tab, line feed, carriage return, vertical tab, form feed)
// around it are allowed; inside, either a decimal number (sign, digits with at most
// one full stop, exponent) or "&H"/"&O" and hexadecimal or octal digits, read as
// LeadingNumber reads them. Anything else, the empty text included: failure 13.
// Beyond the range of a double: failure 6.
double FullNumber(std::string_view text);

// The nearest whole number, halves going to the even neighbour; outside the
// 32-bit range: failure 6.
int32_t ToInt32(double value);

// A database value as the runtime's Boolean: a null is false, a number is true
// when it is not 0, a text is "true" or "false" (any letter case, blanks around)
// or a number by FullNumber. Any other text: failure 13.
bool ToBoolean(const DbValue& value);

}  // namespace quillor
