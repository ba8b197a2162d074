// Finding the cost object that a material element is charged to.
#pragma once

#include <string>

#include "entry/entry_context.h"
#include "platform/xml.h"

namespace quillor {

// The iRealCOID of the cost object matching the element's identifying values, as
// text; empty when nothing matched (message set to the labelled values and the
// not-found text) or when none of the mode's condition values is present
// (message untouched). The message is never cleared.
std::string FindCostObject(const EntryContext& ctx, XmlElement element, std::string& message);

}  // namespace quillor
