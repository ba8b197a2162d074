// What the libxml2 implementation of the document API shares between its files:
// handles, error silencing, the closed parse options and small node helpers.
// Included by platform/xml/libxml2/*.cpp only.
#pragma once

#include <libxml/SAX2.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlsave.h>
#include <libxml/xpath.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/base/failure.h"

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

inline void DiscardStructured(void*, xmlErrorPtr) {}
inline void DiscardGeneric(void*, const char*, ...) {}

// libxml2's error handlers belong to the thread, and so to everyone in the
// process who parses on it. Silent ones stand only for the length of one of our
// calls, so nothing reaches stderr, and the caller's come back afterwards: a
// handler left behind would point into this library after it is unloaded, and
// the host's next parse error would jump there.
class QuietErrors {
 public:
  QuietErrors() {
    thread_local bool initialised = false;
    if (!initialised) {
      xmlInitParser();
      initialised = true;
    }
    structured_ = xmlStructuredError;
    structured_context_ = xmlStructuredErrorContext;
    generic_ = xmlGenericError;
    generic_context_ = xmlGenericErrorContext;
    xmlSetStructuredErrorFunc(nullptr, DiscardStructured);
    xmlSetGenericErrorFunc(nullptr, DiscardGeneric);
  }
  ~QuietErrors() {
    xmlSetStructuredErrorFunc(structured_context_, structured_);
    xmlSetGenericErrorFunc(generic_context_, generic_);
  }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;

 private:
  xmlStructuredErrorFunc structured_;
  void* structured_context_;
  xmlGenericErrorFunc generic_;
  void* generic_context_;
};

inline const xmlChar* X(const std::string& s) {
  return reinterpret_cast<const xmlChar*>(s.c_str());
}
inline std::string S(const xmlChar* s) {
  return s ? std::string(reinterpret_cast<const char*>(s)) : "";
}

inline std::string Trimmed(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return s;
}

// Why a parse did not give a whole document, or nothing when it did. An
// allocation failure stops the parser without marking the document malformed:
// what was read so far would look whole, so any stop of the parser is a failure.
inline std::optional<std::string> ParseFailure(const xmlDoc* doc, xmlParserCtxt* ctxt) {
  const bool out_of_memory = ctxt->errNo == XML_ERR_NO_MEMORY;
  if (doc != nullptr && ctxt->wellFormed && ctxt->disableSAX == 0 && !out_of_memory) {
    return std::nullopt;
  }
  const xmlError* err = xmlCtxtGetLastError(ctxt);
  std::string failure = out_of_memory ? Failure::OutOfMemory().description()
                                      : (err && err->message ? Trimmed(err->message)
                                                             : "The document is not well-formed");
  if (err && err->line > 0) failure += " (line " + std::to_string(err->line) + ")";
  return failure;
}

inline xmlNode* Node(void* p) { return static_cast<xmlNode*>(p); }

// A declaration stands at the very start of a text (after a byte-order mark), and
// a processing instruction may not be named xml: a text that parsed and begins
// with "<?xml" and a blank began with its declaration.
inline bool BeginsWithDeclaration(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  if (text.size() < 6 || text.substr(0, 5) != "<?xml") return false;
  const char next = text[5];
  return next == ' ' || next == '\t' || next == '\r' || next == '\n';
}

inline xmlNode* Checked(void* p) {
  if (p == nullptr) {
    throw Failure::ObjectNotSet();
  }
  return Node(p);
}

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

// The nodes a parse on this thread may still build into one tree; a node costs
// a hundred bytes or more against the few of its text (`<a/>`), so a bound in
// bytes alone lets one element of many children take gigabytes.
struct NodeBudget {
  size_t most = 0;  // 0: no bound
  size_t nodes = 0;
  bool exceeded = false;
  std::string Why() const {
    return "A tree read from the request holds more than " + std::to_string(most) +
           " nodes (elements, attributes, comments, processing instructions): the text is"
           " refused before its tree grows";
  }
};

inline NodeBudget*& CurrentBudget() {
  thread_local NodeBudget* budget = nullptr;
  return budget;
}

// The budget of the parses within one call of ours.
class BudgetScope {
 public:
  explicit BudgetScope(size_t most) : previous_(CurrentBudget()) {
    budget_.most = most;
    CurrentBudget() = &budget_;
  }
  ~BudgetScope() { CurrentBudget() = previous_; }
  BudgetScope(const BudgetScope&) = delete;
  BudgetScope& operator=(const BudgetScope&) = delete;
  const NodeBudget& budget() const { return budget_; }

 private:
  NodeBudget budget_;
  NodeBudget* previous_;
};

// Counts `more` nodes; past the budget the parse stops, as at too deep a nesting.
inline bool OverBudget(void* ctx, size_t more) {
  NodeBudget* budget = CurrentBudget();
  if (budget == nullptr || budget->most == 0) return false;
  budget->nodes += more;
  if (budget->nodes <= budget->most) return false;
  budget->exceeded = true;
  auto* ctxt = static_cast<xmlParserCtxt*>(ctx);
  ctxt->errNo = XML_ERR_INTERNAL_ERROR;
  ctxt->wellFormed = 0;
  xmlStopParser(ctxt);
  return true;
}

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
  std::string name = S(n->name);
  if (n->ns != nullptr && n->ns->prefix != nullptr) name = S(n->ns->prefix) + ":" + name;
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

inline void CheckName(const std::string& name, const char* what) {
  if (name.empty() || xmlValidateName(X(name), 0) != 0) {
    throw Failure(failure_numbers::kFail, "'" + name + "' is not a valid " + what + " name");
  }
}

inline int AppendToString(void* context, const char* bytes, int length) {
  static_cast<std::string*>(context)->append(bytes, static_cast<size_t>(length));
  return length;
}

// The element written straight into the text, with no encoder: the content is
// UTF-8 already and stays raw, as the save context writes it when told UTF-8.
// False when libxml2 reports a failure.
inline bool DumpInto(std::string& out, xmlDoc* doc, xmlNode* root) {
  xmlOutputBuffer* buffer = xmlOutputBufferCreateIO(AppendToString, nullptr, &out, nullptr);
  if (buffer == nullptr) throw std::bad_alloc();
  xmlNodeDumpOutput(buffer, doc, root, 0, 0, "UTF-8");
  const bool failed = buffer->error != 0;
  return xmlOutputBufferClose(buffer) >= 0 && !failed;
}

// The element through a save context (the way a document with a type declaration
// must go, which the direct dump would write as XHTML).
inline bool SaveInto(std::string& out, xmlNode* root) {
  XmlHandle<xmlBuffer, xmlBufferFree> buffer(xmlBufferCreate());
  if (!buffer) throw std::bad_alloc();
  {
    // Naming UTF-8 keeps characters beyond ASCII raw instead of as references.
    XmlHandle<xmlSaveCtxt, xmlSaveClose> save(
        xmlSaveToBuffer(buffer.get(), "UTF-8", XML_SAVE_NO_DECL | XML_SAVE_AS_XML));
    if (!save) throw std::bad_alloc();
    if (xmlSaveTree(save.get(), root) < 0) return false;
  }  // closing the context flushes it into the buffer
  out.append(reinterpret_cast<const char*>(xmlBufferContent(buffer.get())),
             static_cast<size_t>(xmlBufferLength(buffer.get())));
  return true;
}

}  // namespace quillor::libxml2
