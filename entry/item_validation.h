// Whether one material element may be written.
#pragma once

#include <string>

#include "entry/entry_context.h"
#include "platform/xml.h"

namespace quillor {

// Runs the checks in order and stops at the first that fails: false with the
// reason in message, or true with the success text. cost_object_id receives the
// resolved cost object (or empty text) for every element that reaches the product
// check. Database and conversion failures are not caught.
bool CheckItem(const EntryContext& ctx, XmlElement element, std::string& message,
               std::string& cost_object_id);

}  // namespace quillor
