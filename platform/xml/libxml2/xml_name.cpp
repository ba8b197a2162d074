#include <libxml/tree.h>

#include <string>

#include "platform/xml/xml.h"

namespace quillor {

bool IsXmlName(std::string_view name) {
  if (name.empty() || name.find('\0') != std::string_view::npos) return false;
  const std::string copy(name);
  return xmlValidateName(reinterpret_cast<const xmlChar*>(copy.c_str()), 0) == 0;
}

}  // namespace quillor
