#include "platform/xml/element_values.h"

#include "platform/base/failure.h"

namespace quillor {

// The failures' texts name the framework's calls, as the original's did.
std::string AttributeText(XmlElement element, std::string_view name) {
  if (!element) throw Failure(failure_numbers::kFail, "ReadAttribute: no element");
  return element.Attribute(name).value_or(std::string());
}

std::string FieldText(XmlElement element, std::string_view name) {
  if (!element) throw Failure(failure_numbers::kFail, "ReadField: no element");
  if (XmlElement child = element.FirstChild(name)) return child.Text();
  return element.Attribute(name).value_or(std::string());
}

}  // namespace quillor
