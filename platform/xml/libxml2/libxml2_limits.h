// The size switches of a parse and a selection: the dictionary's bound, the
// nesting depth, and the operations a selection may take.
// Included by platform/xml/libxml2/*.cpp only.
#pragma once

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cstddef>

namespace quillor::libxml2 {

// The names of one document take at most what libxml2 allows without the option.
inline constexpr size_t kDictionaryLimit = 10'000'000;

inline void StartDocumentWithLimits(void* ctx) {
  auto* ctxt = static_cast<xmlParserCtxt*>(ctx);
  if (ctxt->dict != nullptr) xmlDictSetLimit(ctxt->dict, kDictionaryLimit);
  xmlSAX2StartDocument(ctx);
}

// Elements nest at most as deep as libxml2 lets them without the option; the
// parse stops at a deeper one, as it stops there by itself.
inline constexpr int kMostDepth = 256;  // libxml2's xmlParserMaxDepth

inline bool TooDeep(void* ctx) {
  auto* ctxt = static_cast<xmlParserCtxt*>(ctx);
  if (ctxt->nameNr <= kMostDepth) return false;
  ctxt->errNo = XML_ERR_INTERNAL_ERROR;
  ctxt->wellFormed = 0;
  xmlStopParser(ctxt);
  return true;
}

// The operations a selection may take: a fixed allowance and a few per node of
// the subtree it starts from, so that a path over a large request still runs.
inline constexpr unsigned long kSelectOperations = 5'000'000;
inline constexpr unsigned long kSelectOperationsPerNode = 4;

inline unsigned long NodesBeneath(const xmlNode* node) {
  unsigned long count = 0;
  const xmlNode* c = node->children;
  while (c != nullptr) {
    ++count;
    if (c->type == XML_ELEMENT_NODE && c->children != nullptr) {
      c = c->children;
      continue;
    }
    while (c != node && c->next == nullptr) c = c->parent;
    if (c == node) break;
    c = c->next;
  }
  return count;
}

}  // namespace quillor::libxml2
