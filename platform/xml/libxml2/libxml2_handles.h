// libxml2's handles, each freed by its own function, and its texts as ours.
// Included by platform/xml/libxml2/*.cpp only.
#pragma once

#include <libxml/xmlstring.h>

#include <memory>
#include <string>

namespace quillor::libxml2 {

// A libxml2 handle, freed by the function libxml2 gives for its kind.
template <auto free_fn>
struct FreeWith {
  template <typename T>
  void operator()(T* handle) const {
    free_fn(handle);
  }
};
template <typename T, auto free_fn>
using XmlHandle = std::unique_ptr<T, FreeWith<free_fn>>;

// Our texts as libxml2 takes them, and its texts as ours (a null as empty text).
inline const xmlChar* XmlChars(const std::string& s) {
  return reinterpret_cast<const xmlChar*>(s.c_str());
}
inline std::string Utf8Text(const xmlChar* s) {
  return s ? std::string(reinterpret_cast<const char*>(s)) : "";
}

}  // namespace quillor::libxml2
