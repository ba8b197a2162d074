// Finding the cost object that a material element is charged to.
#pragma once

#include <string>

#include "entry/entry_context.h"
#include "entry/item_result.h"
#include "platform/xml/xml.h"

namespace quillor {

struct CostObjectResult {
  std::string id;  // the iRealCOID as text; empty when nothing was found or compared
  // Refused, with the labelled values and the not-found text, when the element's
  // values matched no cost object; success (no text) otherwise, also when none of
  // the mode's condition values is present.
  ItemResult verdict;
};

// The cost object matching the element's identifying values.
CostObjectResult FindCostObject(const EntryContext& ctx, XmlElement element);

}  // namespace quillor
