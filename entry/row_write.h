// Writing one validated material element as a row of ca_mabsw.
#pragma once

#include <string>

#include "entry/entry_context.h"
#include "entry/item_result.h"
#include "platform/xml/xml.h"

namespace quillor {

// Replaces any row with the element's key by the element's row: success without a
// text. Every failure is caught: a failed write with the record-exists text. Only
// a failure to fetch that text passes to the caller.
ItemResult SaveItem(const EntryContext& ctx, XmlElement element, const std::string& cost_object_id);

}  // namespace quillor
