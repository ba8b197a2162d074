// Writing one validated material element as a row of ca_mabsw.
#pragma once

#include <string>

#include "entry/entry_context.h"
#include "platform/xml.h"

namespace quillor {

// Replaces any row with the element's key by the element's row. Every failure is
// caught: false with the record-exists text in message. Only a failure to fetch
// that text passes to the caller.
bool SaveItem(const EntryContext& ctx, XmlElement element, std::string& message,
              const std::string& cost_object_id);

}  // namespace quillor
