// libxml2's nodes as the document API reaches them: checked, named, their text,
// the holder of those not yet placed, and element and attribute names checked.
// Included by platform/xml/libxml2/*.cpp only.
#pragma once

#include <libxml/tree.h>

#include <new>
#include <string>

#include "platform/base/failure.h"
#include "platform/xml/libxml2/libxml2_handles.h"
#include "platform/xml/xml.h"

namespace quillor {

// Handles to libxml2's nodes, made by the adapter's own code outside the
// document's members (the handlers a parse calls).
struct XmlBackend {
  static XmlElement Make(xmlNode* node) { return XmlElement(node); }
};

}  // namespace quillor

namespace quillor::libxml2 {

inline xmlNode* Node(void* p) { return static_cast<xmlNode*>(p); }

inline xmlNode* Checked(void* p) {
  if (p == nullptr) {
    throw Failure::ObjectNotSet();
  }
  return Node(p);
}

// Elements created but not yet placed hang under a detached holder element, kept
// in the document's application pointer, so that they are freed with it.
inline xmlNode* Nursery(xmlDoc* doc) {
  if (doc->_private == nullptr) {
    doc->_private = xmlNewDocNode(doc, nullptr, BAD_CAST "nursery", nullptr);
    if (doc->_private == nullptr) throw std::bad_alloc();
  }
  return static_cast<xmlNode*>(doc->_private);
}

inline void FreeDocument(void* p) {
  xmlDoc* doc = static_cast<xmlDoc*>(p);
  if (doc == nullptr) return;
  if (doc->_private != nullptr) xmlFreeNode(static_cast<xmlNode*>(doc->_private));
  xmlFreeDoc(doc);
}

inline std::string QualifiedName(const xmlNode* n) {
  std::string name = Utf8Text(n->name);
  if (n->ns != nullptr && n->ns->prefix != nullptr) name = Utf8Text(n->ns->prefix) + ":" + name;
  return name;
}

inline void CollectText(const xmlNode* node, std::string& out) {
  for (const xmlNode* c = node->children; c != nullptr; c = c->next) {
    if (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) {
      if (c->content) out += reinterpret_cast<const char*>(c->content);
    } else if (c->type == XML_ELEMENT_NODE) {
      CollectText(c, out);
    }
  }
}

inline void CheckName(const std::string& name, const char* what) {
  if (name.empty() || xmlValidateName(XmlChars(name), 0) != 0) {
    throw Failure(failure_numbers::kFail, "'" + name + "' is not a valid " + what + " name");
  }
}

}  // namespace quillor::libxml2
