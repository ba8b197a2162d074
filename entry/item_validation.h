// Whether one material element may be written.
#pragma once

#include <string>

#include "entry/entry_context.h"
#include "entry/item_result.h"
#include "platform/xml/xml.h"

namespace quillor {

// Runs the checks in order and stops at the first that fails: refused with the
// reason, or success with the success text. cost_object_id receives the resolved
// cost object (or empty text) for every element that reaches the product check,
// and keeps its earlier value otherwise. Database and conversion failures are not
// caught.
ItemResult CheckItem(const EntryContext& ctx, XmlElement element, std::string& cost_object_id);

}  // namespace quillor
