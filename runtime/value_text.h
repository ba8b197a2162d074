// A database value as the host's runtime turns it into text or a truth value, as
// the material checks, the options and the QUERY reply read stored values.
#pragma once

#include <string>

#include "platform/base/db_value.h"

namespace quillor {

// Integers in plain decimal, doubles in their shortest exact form (2.5, 6, 0.1),
// texts as stored. A null cannot become text: failure 94.
std::string ValueText(const DbValue& value);

// A non-zero number, or a text that reads as one ("1", "-1", "true" in any case).
// A null reads as false.
bool ValueTruth(const DbValue& value);

// A double in its shortest text that reads back to the same value.
std::string ShortestDoubleText(double value);

}  // namespace quillor
