// What a request's DOCTYPE may do: its internal entities and attribute defaults
// apply, nothing outside the text is read, other references are dropped.
// Included by platform/xml/libxml2/*.cpp only.
#pragma once

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

namespace quillor::libxml2 {

// Entity references other than the predefined ones are never expanded: they are
// dropped from the tree, in content and in attribute values alike.
inline void DropEntityReferences(xmlNode* node) {
  for (xmlNode* child = node->children; child != nullptr;) {
    xmlNode* next = child->next;
    if (child->type == XML_ENTITY_REF_NODE) {
      xmlUnlinkNode(child);
      xmlFreeNode(child);
    } else if (child->type == XML_ELEMENT_NODE) {
      for (xmlAttr* a = child->properties; a != nullptr; a = a->next) {
        DropEntityReferences(reinterpret_cast<xmlNode*>(a));
      }
      DropEntityReferences(child);
    }
    child = next;
  }
}

// The request's own DOCTYPE is honoured as a non-validating processor honours it:
// its internal entities are expanded and its attribute defaults applied. Nothing
// outside the text is ever read: an external subset is not loaded, and an entity
// declared with a system or public identifier is declared empty instead, so that
// a reference to it reads as nothing. These handlers belong to one parser context.
inline void NoExternalSubset(void*, const xmlChar*, const xmlChar*, const xmlChar*) {}

inline void EntityDeclWithoutFetching(void* ctx, const xmlChar* name, int type,
                                      const xmlChar* public_id, const xmlChar* system_id,
                                      xmlChar* content) {
  // A text that declares entities is read with libxml2's amplification limits
  // on, and so with its limit of 10,000,000 bytes per text; see kRequestParseOptions.
  static_cast<xmlParserCtxt*>(ctx)->options &= ~XML_PARSE_HUGE;
  switch (type) {
    case XML_EXTERNAL_GENERAL_PARSED_ENTITY:
    case XML_EXTERNAL_GENERAL_UNPARSED_ENTITY:
      xmlSAX2EntityDecl(ctx, name, XML_INTERNAL_GENERAL_ENTITY, nullptr, nullptr, BAD_CAST "");
      return;
    case XML_EXTERNAL_PARAMETER_ENTITY:
      xmlSAX2EntityDecl(ctx, name, XML_INTERNAL_PARAMETER_ENTITY, nullptr, nullptr, BAD_CAST "");
      return;
    default:
      xmlSAX2EntityDecl(ctx, name, type, public_id, system_id, content);
  }
}

}  // namespace quillor::libxml2
