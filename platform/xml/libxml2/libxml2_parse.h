// How every parse of a request is set up: its options, the handlers that keep it
// to the text and within its limits and budget, and the text handed over in pieces.
// Included by platform/xml/libxml2/*.cpp only.
#pragma once

#include <libxml/SAX2.h>
#include <libxml/parser.h>

#include <algorithm>
#include <cstddef>
#include <new>
#include <string>
#include <string_view>

#include "platform/xml/libxml2/libxml2_entities.h"
#include "platform/xml/libxml2/libxml2_limits.h"
#include "platform/xml/libxml2/libxml2_node_budget.h"

namespace quillor::libxml2 {

// The options of every parse of a request, whole or streamed. Without
// XML_PARSE_HUGE libxml2 refuses any single text, attribute value, CDATA section
// or comment past 10,000,000 bytes, while a request may be far larger. The
// option also turns off the checks on entity amplification, though, so it stands
// only until the text declares its first entity (EntityDeclWithoutFetching takes
// it away then): a text without entities cannot amplify, and one with entities
// is read under every limit. Its other reliefs are taken back where the parse
// starts (the dictionary's bound) and at each start tag (the nesting depth).
inline constexpr int kRequestParseOptions = XML_PARSE_NOENT | XML_PARSE_DTDATTR | XML_PARSE_NONET |
                                            XML_PARSE_NOERROR | XML_PARSE_NOWARNING |
                                            XML_PARSE_IGNORE_ENC | XML_PARSE_HUGE;

inline void StartElementWithinDepth(void* ctx, const xmlChar* localname, const xmlChar* prefix,
                                    const xmlChar* uri, int nb_namespaces,
                                    const xmlChar** namespaces, int nb_attributes, int nb_defaulted,
                                    const xmlChar** attributes) {
  if (TooDeep(ctx) || OverBudget(ctx, 1 + static_cast<size_t>(nb_attributes))) return;
  xmlSAX2StartElementNs(ctx, localname, prefix, uri, nb_namespaces, namespaces, nb_attributes,
                        nb_defaulted, attributes);
}

inline void CommentWithinBudget(void* ctx, const xmlChar* value) {
  if (!OverBudget(ctx, 1)) xmlSAX2Comment(ctx, value);
}

inline void PiWithinBudget(void* ctx, const xmlChar* target, const xmlChar* data) {
  if (!OverBudget(ctx, 1)) xmlSAX2ProcessingInstruction(ctx, target, data);
}

inline void KeepToTheText(xmlParserCtxt* ctxt) {
  ctxt->sax->externalSubset = NoExternalSubset;
  ctxt->sax->entityDecl = EntityDeclWithoutFetching;
  ctxt->sax->startDocument = StartDocumentWithLimits;
  ctxt->sax->startElementNs = StartElementWithinDepth;
  ctxt->sax->comment = CommentWithinBudget;
  ctxt->sax->processingInstruction = PiWithinBudget;
}

// Hands the parser a text held in memory, piece by piece.
struct MemoryReader {
  std::string_view rest;
  static int Read(void* context, char* buffer, int length) {
    auto* self = static_cast<MemoryReader*>(context);
    const size_t n = std::min(self->rest.size(), static_cast<size_t>(std::max(length, 0)));
    std::copy_n(self->rest.data(), n, buffer);
    self->rest.remove_prefix(n);
    return static_cast<int>(n);
  }
};

// A declaration stands at the very start of a text (after a byte-order mark), and
// a processing instruction may not be named xml: a text that parsed and begins
// with "<?xml" and a blank began with its declaration.
inline bool BeginsWithDeclaration(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  if (text.size() < 6 || text.substr(0, 5) != "<?xml") return false;
  const char next = text[5];
  return next == ' ' || next == '\t' || next == '\r' || next == '\n';
}

// What every whole parse does to the document it keeps: a document without a
// root is a failure (false, with the words in `parse_error`); entity references
// in the root's attributes and below are replaced by their text; and the
// document is UTF-8 whatever its declaration named, and says so, so that
// serialising it keeps characters beyond ASCII raw in attributes too.
inline bool SettleParsedDocument(xmlDoc* doc, std::string& parse_error) {
  xmlNode* root = xmlDocGetRootElement(doc);
  if (root == nullptr) {
    parse_error = "The document has no root element";
    return false;
  }
  for (xmlAttr* a = root->properties; a != nullptr; a = a->next) {
    DropEntityReferences(reinterpret_cast<xmlNode*>(a));
  }
  DropEntityReferences(root);
  xmlFree(const_cast<xmlChar*>(doc->encoding));
  doc->encoding = xmlStrdup(BAD_CAST "UTF-8");
  if (doc->encoding == nullptr) throw std::bad_alloc();
  return true;
}

}  // namespace quillor::libxml2
