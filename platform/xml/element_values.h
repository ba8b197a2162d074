// A request element's values by name, as the integration framework reads them:
// what is absent reads as empty text.
#pragma once

#include <string>
#include <string_view>

#include "platform/xml/xml.h"

namespace quillor {

// The attribute's text, or empty text.
std::string AttributeText(XmlElement element, std::string_view name);

// The text of the element's first child element of that name; else the attribute
// of that name; else empty text.
std::string FieldText(XmlElement element, std::string_view name);

}  // namespace quillor
