#include "platform/xml.h"

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

#include "platform/failure.h"
#include "platform/xml_text.h"

namespace quillor {
namespace {

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

void DiscardStructured(void*, xmlErrorPtr) {}
void DiscardGeneric(void*, const char*, ...) {}

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

const xmlChar* X(const std::string& s) { return reinterpret_cast<const xmlChar*>(s.c_str()); }
std::string S(const xmlChar* s) { return s ? std::string(reinterpret_cast<const char*>(s)) : ""; }

std::string Trimmed(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return s;
}

// Why a parse did not give a whole document, or nothing when it did. An
// allocation failure stops the parser without marking the document malformed:
// what was read so far would look whole, so any stop of the parser is a failure.
std::optional<std::string> ParseFailure(const xmlDoc* doc, xmlParserCtxt* ctxt) {
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

xmlNode* Node(void* p) { return static_cast<xmlNode*>(p); }

// A declaration stands at the very start of a text (after a byte-order mark), and
// a processing instruction may not be named xml: a text that parsed and begins
// with "<?xml" and a blank began with its declaration.
bool BeginsWithDeclaration(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  if (text.size() < 6 || text.substr(0, 5) != "<?xml") return false;
  const char next = text[5];
  return next == ' ' || next == '\t' || next == '\r' || next == '\n';
}

xmlNode* Checked(void* p) {
  if (p == nullptr) {
    throw Failure::ObjectNotSet();
  }
  return Node(p);
}

// Entity references other than the predefined ones are never expanded: they are
// dropped from the tree, in content and in attribute values alike.
void DropEntityReferences(xmlNode* node) {
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
void NoExternalSubset(void*, const xmlChar*, const xmlChar*, const xmlChar*) {}

void EntityDeclWithoutFetching(void* ctx, const xmlChar* name, int type, const xmlChar* public_id,
                               const xmlChar* system_id, xmlChar* content) {
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

// The options of every parse of a request, whole or streamed.
constexpr int kRequestParseOptions = XML_PARSE_NOENT | XML_PARSE_DTDATTR | XML_PARSE_NONET |
                                     XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_IGNORE_ENC;

void KeepToTheText(xmlParserCtxt* ctxt) {
  ctxt->sax->externalSubset = NoExternalSubset;
  ctxt->sax->entityDecl = EntityDeclWithoutFetching;
}

// Elements created but not yet placed hang under a detached holder element, kept
// in the document's application pointer, so that they are freed with it.
xmlNode* Nursery(xmlDoc* doc) {
  if (doc->_private == nullptr) {
    doc->_private = xmlNewDocNode(doc, nullptr, BAD_CAST "nursery", nullptr);
    if (doc->_private == nullptr) throw std::bad_alloc();
  }
  return static_cast<xmlNode*>(doc->_private);
}

void FreeDocument(void* p) {
  xmlDoc* doc = static_cast<xmlDoc*>(p);
  if (doc == nullptr) return;
  if (doc->_private != nullptr) xmlFreeNode(static_cast<xmlNode*>(doc->_private));
  xmlFreeDoc(doc);
}

std::string QualifiedName(const xmlNode* n) {
  std::string name = S(n->name);
  if (n->ns != nullptr && n->ns->prefix != nullptr) name = S(n->ns->prefix) + ":" + name;
  return name;
}

void CollectText(const xmlNode* node, std::string& out) {
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
constexpr unsigned long kSelectOperations = 5'000'000;
constexpr unsigned long kSelectOperationsPerNode = 4;

unsigned long NodesBeneath(const xmlNode* node) {
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

void CheckName(const std::string& name, const char* what) {
  if (name.empty() || xmlValidateName(X(name), 0) != 0) {
    throw Failure(failure_numbers::kFail, "'" + name + "' is not a valid " + what + " name");
  }
}

}  // namespace

std::string XmlElement::Name() const { return QualifiedName(Checked(node_)); }

std::optional<std::string> XmlElement::Attribute(std::string_view name) const {
  xmlNode* n = Checked(node_);
  xmlAttr* attr = xmlHasProp(n, X(std::string(name)));
  if (attr == nullptr) return std::nullopt;
  std::string value;
  for (const xmlNode* c = attr->children; c != nullptr; c = c->next) {
    if (c->type == XML_TEXT_NODE && c->content) value += reinterpret_cast<const char*>(c->content);
  }
  return value;
}

void XmlElement::SetAttribute(std::string_view name, std::string_view value) {
  xmlNode* n = Checked(node_);
  const std::string key(name);
  CheckName(key, "attribute");
  // xmlSetProp stores the value as one text node: nothing in it is read as markup.
  if (xmlSetProp(n, X(key), X(std::string(value))) == nullptr) throw std::bad_alloc();
}

XmlElement XmlElement::FirstChild(std::string_view name) const {
  for (xmlNode* c = Checked(node_)->children; c != nullptr; c = c->next) {
    if (c->type == XML_ELEMENT_NODE && QualifiedName(c) == name) return XmlElement(c);
  }
  return XmlElement();
}

std::vector<XmlElement> XmlElement::ChildElements() const {
  std::vector<XmlElement> out;
  for (xmlNode* c = Checked(node_)->children; c != nullptr; c = c->next) {
    if (c->type == XML_ELEMENT_NODE) out.push_back(XmlElement(c));
  }
  return out;
}

std::string XmlElement::Text() const {
  std::string out;
  CollectText(Checked(node_), out);
  return out;
}

void XmlElement::SetText(std::string_view text) {
  xmlNode* n = Checked(node_);
  xmlNode* nursery = Nursery(n->doc);
  for (xmlNode* c = n->children; c != nullptr;) {
    xmlNode* next = c->next;
    xmlUnlinkNode(c);
    // Removed elements stay alive with the document, so that handles to them
    // remain usable, as in the DOM; other nodes have no handles and go at once.
    if (c->type == XML_ELEMENT_NODE) {
      xmlAddChild(nursery, c);
    } else {
      xmlFreeNode(c);
    }
    c = next;
  }
  if (text.empty()) return;
  if (text.size() > static_cast<size_t>(INT_MAX)) throw std::bad_alloc();
  // A text node made directly: the text is content, never parsed for references.
  xmlNode* t = xmlNewDocTextLen(n->doc, reinterpret_cast<const xmlChar*>(text.data()),
                                static_cast<int>(text.size()));
  if (t == nullptr) throw std::bad_alloc();
  xmlAddChild(n, t);
}

void XmlElement::AppendChild(XmlElement child) {
  xmlNode* parent = Checked(node_);
  xmlNode* c = Checked(child.node_);
  if (c->doc != parent->doc) {
    throw Failure(failure_numbers::kFail, "The node to append belongs to another document");
  }
  for (xmlNode* a = parent; a != nullptr; a = a->parent) {
    if (a == c) {
      throw Failure(failure_numbers::kFail,
                    "A node cannot be appended to itself or its descendant");
    }
  }
  xmlUnlinkNode(c);
  xmlAddChild(parent, c);
}

XmlElement XmlElement::AppendTextChild(std::string_view name, std::string_view text) {
  xmlNode* parent = Checked(node_);
  xmlDoc* doc = parent->doc;
  if (name.empty()) CheckName(std::string(), "element");
  if (name.size() > static_cast<size_t>(INT_MAX) || text.size() > static_cast<size_t>(INT_MAX)) {
    throw std::bad_alloc();
  }
  // The name is interned in the document's dictionary when it has one: one copy
  // for every element of that name, and none to free with each element. A full
  // dictionary (libxml2 caps it) leaves the element its own copy.
  const xmlChar* interned =
      doc != nullptr && doc->dict != nullptr
          ? xmlDictLookup(doc->dict, reinterpret_cast<const xmlChar*>(name.data()),
                          static_cast<int>(name.size()))
          : nullptr;
  xmlChar* own = interned == nullptr ? xmlStrndup(reinterpret_cast<const xmlChar*>(name.data()),
                                                  static_cast<int>(name.size()))
                                     : nullptr;
  if (interned == nullptr && own == nullptr) throw std::bad_alloc();
  if (xmlValidateName(interned != nullptr ? interned : own, 0) != 0) {
    xmlFree(own);
    CheckName(std::string(name), "element");
  }
  // Takes the name over: the element frees it unless the dictionary owns it.
  xmlNode* node = xmlNewDocNodeEatName(
      doc, nullptr, own != nullptr ? own : const_cast<xmlChar*>(interned), nullptr);
  if (node == nullptr) throw std::bad_alloc();
  if (!text.empty()) {
    // A text node made directly: the text is content, never parsed for references.
    xmlNode* t = xmlNewDocTextLen(doc, reinterpret_cast<const xmlChar*>(text.data()),
                                  static_cast<int>(text.size()));
    if (t == nullptr) {
      xmlFreeNode(node);
      throw std::bad_alloc();
    }
    xmlAddChild(node, t);
  }
  xmlAddChild(parent, node);
  return XmlElement(node);
}

std::vector<XmlElement> XmlElement::Select(std::string_view path) const {
  xmlNode* n = Checked(node_);
  const QuietErrors quiet;
  XmlHandle<xmlXPathContext, xmlXPathFreeContext> ctx(xmlXPathNewContext(n->doc));
  if (!ctx) throw std::bad_alloc();
  ctx->node = n;
  // The expression's errors land in the context; the handler only keeps them quiet.
  ctx->error = DiscardStructured;
  // A short expression can cost time without end (counts of counts of every
  // node). A budget of operations, generous beside what a path over this
  // document needs, stops it in well under a second.
  ctx->opLimit = kSelectOperations + kSelectOperationsPerNode * NodesBeneath(n);
  XmlHandle<xmlXPathObject, xmlXPathFreeObject> result(
      xmlXPathEvalExpression(X(std::string(path)), ctx.get()));
  if (!result) {
    if (ctx->opLimit != 0 && ctx->opCount >= ctx->opLimit) {
      throw Failure(failure_numbers::kFail, "The path '" + std::string(path) +
                                                "' takes more operations than a selection may (" +
                                                std::to_string(ctx->opLimit) + ")");
    }
    std::string message = Trimmed(S(reinterpret_cast<const xmlChar*>(ctx->lastError.message)));
    if (message.empty()) message = "Invalid expression";
    throw Failure(failure_numbers::kFail, message);
  }
  if (result->type != XPATH_NODESET) {
    throw Failure(failure_numbers::kFail, "Expression does not return a DOM node");
  }
  std::vector<XmlElement> out;
  if (result->nodesetval != nullptr) {
    for (int i = 0; i < result->nodesetval->nodeNr; ++i) {
      xmlNode* found = result->nodesetval->nodeTab[i];
      if (found != nullptr && found->type == XML_ELEMENT_NODE) out.push_back(XmlElement(found));
    }
  }
  return out;
}

XmlDocument::XmlDocument() = default;
XmlDocument::~XmlDocument() { FreeDocument(doc_); }

XmlDocument::XmlDocument(XmlDocument&& other) noexcept
    : doc_(other.doc_),
      parse_error_(std::move(other.parse_error_)),
      held_(std::move(other.held_)),
      declared_(other.declared_) {
  other.doc_ = nullptr;
  other.held_.clear();
  other.declared_ = false;
}

XmlDocument& XmlDocument::operator=(XmlDocument&& other) noexcept {
  if (this != &other) {
    FreeDocument(doc_);
    doc_ = other.doc_;
    other.doc_ = nullptr;
    parse_error_ = std::move(other.parse_error_);
    held_ = std::move(other.held_);
    other.held_.clear();
    declared_ = other.declared_;
    other.declared_ = false;
  }
  return *this;
}

bool XmlDocument::StartLoad(std::string_view text) {
  FreeDocument(doc_);
  doc_ = nullptr;
  held_.clear();
  parse_error_.clear();
  declared_ = false;
  if (text.size() > static_cast<size_t>(INT_MAX)) {
    parse_error_ = "The document is too large";
    return false;
  }
  // The text arrives decoded, as UTF-8. It is checked here rather than by naming
  // the encoding to the parser: told an encoding, libxml2 converts the input and
  // then refuses a document past 10 MB with long texts as a "Huge input lookup".
  // Valid UTF-8 without a NUL leaves the parser nothing to take for another
  // encoding.
  if (const size_t at = FirstInvalidUtf8Byte(text); at != std::string_view::npos) {
    parse_error_ = "The document is not UTF-8 (byte " + std::to_string(at) + ")";
    return false;
  }
  if (const size_t at = text.find('\0'); at != std::string_view::npos) {
    parse_error_ = "The document holds a NUL character (byte " + std::to_string(at) + ")";
    return false;
  }
  return true;
}

bool XmlDocument::LoadXml(std::string_view text) {
  const QuietErrors quiet;
  if (!StartLoad(text)) return false;
  XmlHandle<xmlParserCtxt, xmlFreeParserCtxt> ctxt(xmlNewParserCtxt());
  if (!ctxt) throw std::bad_alloc();
  // An encoding named in the declaration is ignored. Internal entities are
  // substituted and attribute defaults applied, within libxml2's amplification
  // limits (no XML_PARSE_HUGE); no validation, nothing loaded from outside the
  // text, no network access.
  KeepToTheText(ctxt.get());
  const int options = kRequestParseOptions;
  // Read through a reader callback rather than as one memory block: libxml2
  // refuses a memory block whose start tags hold more than 10 MB of attributes
  // ("Huge input lookup"), and a reader is also spared the block's copy.
  MemoryReader reader{text};
  XmlHandle<xmlDoc, xmlFreeDoc> doc(
      xmlCtxtReadIO(ctxt.get(), MemoryReader::Read, nullptr, &reader, nullptr, nullptr, options));
  if (std::optional<std::string> failure = ParseFailure(doc.get(), ctxt.get())) {
    parse_error_ = std::move(*failure);
    return false;
  }
  xmlNode* root = xmlDocGetRootElement(doc.get());
  if (root == nullptr) {
    parse_error_ = "The document has no root element";
    return false;
  }
  for (xmlAttr* a = root->properties; a != nullptr; a = a->next) {
    DropEntityReferences(reinterpret_cast<xmlNode*>(a));
  }
  DropEntityReferences(root);
  // The document is UTF-8 whatever its declaration named, and says so, so that
  // serialising it keeps characters beyond ASCII raw in attributes too.
  xmlFree(const_cast<xmlChar*>(doc->encoding));
  doc->encoding = xmlStrdup(BAD_CAST "UTF-8");
  if (doc->encoding == nullptr) throw std::bad_alloc();
  doc->_private = nullptr;
  doc_ = doc.release();
  declared_ = BeginsWithDeclaration(text);
  return true;
}

XmlElement XmlDocument::Root() const {
  if (doc_ == nullptr) return XmlElement();
  TakeBackHeld();
  return XmlElement(xmlDocGetRootElement(static_cast<xmlDoc*>(doc_)));
}

bool XmlDocument::HasRoot() const {
  return doc_ != nullptr && xmlDocGetRootElement(static_cast<xmlDoc*>(doc_)) != nullptr;
}

void XmlDocument::TakeBackHeld() const {
  if (held_.empty()) return;
  xmlNode* root = xmlDocGetRootElement(static_cast<xmlDoc*>(doc_));
  if (root == nullptr || held_.size() > static_cast<size_t>(INT_MAX)) return;
  const QuietErrors quiet;
  xmlNode* list = nullptr;
  if (xmlParseInNodeContext(root, held_.data(), static_cast<int>(held_.size()), XML_PARSE_NONET,
                            &list) != XML_ERR_OK) {
    xmlFreeNodeList(list);
    throw Failure(failure_numbers::kFail, "The document's held children could not be read back");
  }
  if (list != nullptr) xmlAddChildList(root, list);
  held_.clear();
}

XmlElement XmlDocument::CreateElement(std::string_view name) {
  const QuietErrors quiet;
  const std::string n(name);
  CheckName(n, "element");
  if (doc_ == nullptr) {
    doc_ = xmlNewDoc(BAD_CAST "1.0");
    if (doc_ == nullptr) throw std::bad_alloc();
  }
  xmlDoc* doc = static_cast<xmlDoc*>(doc_);
  XmlHandle<xmlNode, xmlFreeNode> node(xmlNewDocNode(doc, nullptr, X(n), nullptr));
  if (!node) throw std::bad_alloc();
  xmlNode* placed = node.release();
  xmlAddChild(Nursery(doc), placed);
  return XmlElement(placed);
}

void XmlDocument::SetRoot(XmlElement element) {
  xmlNode* n = Checked(element.node_);
  TakeBackHeld();  // they belong to the root they were appended to
  if (doc_ == nullptr || n->doc != static_cast<xmlDoc*>(doc_)) {
    throw Failure(failure_numbers::kFail, "The root element must belong to this document");
  }
  xmlDoc* doc = static_cast<xmlDoc*>(doc_);
  if (xmlDocGetRootElement(doc) == n) return;
  xmlUnlinkNode(n);
  xmlNode* old = xmlDocSetRootElement(doc, n);
  if (old != nullptr) {
    xmlUnlinkNode(old);
    xmlAddChild(Nursery(doc), old);  // handles to the former root stay usable
  }
}

namespace {

int AppendToString(void* context, const char* bytes, int length) {
  static_cast<std::string*>(context)->append(bytes, static_cast<size_t>(length));
  return length;
}

// The element written straight into the text, with no encoder: the content is
// UTF-8 already and stays raw, as the save context writes it when told UTF-8.
// False when libxml2 reports a failure.
bool DumpInto(std::string& out, xmlDoc* doc, xmlNode* root) {
  xmlOutputBuffer* buffer = xmlOutputBufferCreateIO(AppendToString, nullptr, &out, nullptr);
  if (buffer == nullptr) throw std::bad_alloc();
  xmlNodeDumpOutput(buffer, doc, root, 0, 0, "UTF-8");
  const bool failed = buffer->error != 0;
  return xmlOutputBufferClose(buffer) >= 0 && !failed;
}

// The element through a save context (the way a document with a type declaration
// must go, which the direct dump would write as XHTML).
bool SaveInto(std::string& out, xmlNode* root) {
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

}  // namespace

std::string XmlDocument::Serialize() const {
  if (doc_ == nullptr) return "";
  xmlDoc* doc = static_cast<xmlDoc*>(doc_);
  xmlNode* root = xmlDocGetRootElement(doc);
  if (root == nullptr) return "";
  const QuietErrors quiet;
  // Pages of a reply come out at much the same size: room for the longest text
  // this thread has written (within a bound) spares the text its many regrowths.
  constexpr size_t kMostReserved = size_t{4} << 20;
  thread_local size_t longest = 0;
  std::string out;
  out.reserve(std::min(longest, kMostReserved));
  out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  const bool written =
      xmlGetIntSubset(doc) == nullptr ? DumpInto(out, doc, root) : SaveInto(out, root);
  if (!written) throw Failure(failure_numbers::kFail, "The document could not be serialised");
  if (!held_.empty()) {
    // The held children stand last in the root, where AppendChild put them.
    const std::string name = QualifiedName(root);
    if (root->children == nullptr && out.ends_with("/>")) {
      out.resize(out.size() - 2);
      out += '>';
    } else if (out.ends_with("</" + name + ">")) {
      out.resize(out.size() - name.size() - 3);
    } else {
      throw Failure(failure_numbers::kFail, "The document could not be serialised");
    }
    out += held_;
    out += "</" + name + ">";
  }
  longest = std::max(longest, out.size());
  // A short text after a long one does not keep the long one's room.
  if (out.capacity() > 2 * out.size() + 4096) out.shrink_to_fit();
  return out;
}

// Reading a request without holding it whole. The text goes through libxml2's
// push parser with the options LoadXml uses and the tree-building handlers, so
// that every node is made exactly as LoadXml makes it; hooks around those
// handlers take each finished child of the root off the tree at once.
namespace {

constexpr size_t kStreamChunk = 64 * 1024;

struct RootStream {
  xmlParserCtxt* parser = nullptr;
  xmlNode* root = nullptr;
  // When set, the root's child elements of this name (and no namespace, as a
  // path step of that name selects them) are kept for the caller; every other
  // finished child of the root is freed.
  const std::string* keep = nullptr;
  std::vector<xmlNode*> ready;

  ~RootStream() {
    for (xmlNode* n : ready) xmlFreeNode(n);
  }

  bool Kept(const xmlNode* n) const {
    return keep != nullptr && n->type == XML_ELEMENT_NODE && n->ns == nullptr &&
           S(n->name) == *keep;
  }

  // The root's children are all complete whenever the parser stands on the root.
  void Drain() {
    for (xmlNode* c = root->children; c != nullptr;) {
      xmlNode* next = c->next;
      xmlUnlinkNode(c);
      if (Kept(c)) {
        for (xmlAttr* a = c->properties; a != nullptr; a = a->next) {
          DropEntityReferences(reinterpret_cast<xmlNode*>(a));
        }
        DropEntityReferences(c);
        ready.push_back(c);
      } else {
        xmlFreeNode(c);
      }
      c = next;
    }
  }
};

// The stream of the parser that calls, when it stands on the root. The parser
// of an entity's text calls the same handlers with a context of its own (which
// may carry the same private pointer): it is never the stream's.
RootStream* OwnStream(void* ctx) {
  auto* ctxt = static_cast<xmlParserCtxt*>(ctx);
  auto* stream = static_cast<RootStream*>(ctxt->_private);
  if (stream == nullptr || stream->parser != ctxt) return nullptr;
  return stream;
}

RootStream* StreamAtRoot(void* ctx) {
  RootStream* stream = OwnStream(ctx);
  if (stream == nullptr || stream->root == nullptr) return nullptr;
  if (static_cast<xmlParserCtxt*>(ctx)->node != stream->root) return nullptr;
  return stream;
}

void DrainAtRoot(void* ctx) {
  if (RootStream* stream = StreamAtRoot(ctx)) stream->Drain();
}

void StartElementDraining(void* ctx, const xmlChar* localname, const xmlChar* prefix,
                          const xmlChar* uri, int nb_namespaces, const xmlChar** namespaces,
                          int nb_attributes, int nb_defaulted, const xmlChar** attributes) {
  DrainAtRoot(ctx);
  xmlSAX2StartElementNs(ctx, localname, prefix, uri, nb_namespaces, namespaces, nb_attributes,
                        nb_defaulted, attributes);
  RootStream* stream = OwnStream(ctx);
  if (stream != nullptr && stream->root == nullptr) {
    stream->root = static_cast<xmlParserCtxt*>(ctx)->node;
  }
}

void EndElementDraining(void* ctx, const xmlChar* localname, const xmlChar* prefix,
                        const xmlChar* uri) {
  // The root itself ending: what it still holds (text, the content of an entity)
  // goes before it closes.
  DrainAtRoot(ctx);
  xmlSAX2EndElementNs(ctx, localname, prefix, uri);
  DrainAtRoot(ctx);
}

void CharactersDraining(void* ctx, const xmlChar* ch, int len) {
  xmlSAX2Characters(ctx, ch, len);
  DrainAtRoot(ctx);
}

void CdataDraining(void* ctx, const xmlChar* value, int len) {
  xmlSAX2CDataBlock(ctx, value, len);
  DrainAtRoot(ctx);
}

void CommentDraining(void* ctx, const xmlChar* value) {
  xmlSAX2Comment(ctx, value);
  DrainAtRoot(ctx);
}

void PiDraining(void* ctx, const xmlChar* target, const xmlChar* data) {
  xmlSAX2ProcessingInstruction(ctx, target, data);
  DrainAtRoot(ctx);
}

void ReferenceDraining(void* ctx, const xmlChar* name) {
  xmlSAX2Reference(ctx, name);
  DrainAtRoot(ctx);
}

struct StreamedDocFree {
  void operator()(xmlParserCtxt* c) const {
    if (c->myDoc != nullptr) xmlFreeDoc(c->myDoc);
    xmlFreeParserCtxt(c);
  }
};
using StreamParser = std::unique_ptr<xmlParserCtxt, StreamedDocFree>;

// A push parser set up as LoadXml sets up its parser, with the hooks above.
StreamParser NewStreamParser(RootStream& stream) {
  StreamParser ctxt(xmlCreatePushParserCtxt(nullptr, nullptr, nullptr, 0, nullptr));
  if (!ctxt) throw std::bad_alloc();
  xmlCtxtUseOptions(ctxt.get(), kRequestParseOptions);
  KeepToTheText(ctxt.get());
  xmlSAXHandler* sax = ctxt->sax;
  sax->startElementNs = StartElementDraining;
  sax->endElementNs = EndElementDraining;
  sax->characters = CharactersDraining;
  sax->ignorableWhitespace = CharactersDraining;
  sax->cdataBlock = CdataDraining;
  sax->comment = CommentDraining;
  sax->processingInstruction = PiDraining;
  sax->reference = ReferenceDraining;
  ctxt->_private = &stream;
  stream.parser = ctxt.get();
  return ctxt;
}

// Feeds the text in pieces; after each piece `between` runs outside the parser.
template <typename Between>
void Feed(xmlParserCtxt* ctxt, std::string_view text, Between&& between) {
  for (size_t at = 0; at < text.size() && ctxt->disableSAX == 0; at += kStreamChunk) {
    const size_t piece = std::min(kStreamChunk, text.size() - at);
    xmlParseChunk(ctxt, text.data() + at, static_cast<int>(piece), 0);
    between();
  }
  xmlParseChunk(ctxt, nullptr, 0, 1);
  between();
}

}  // namespace

bool XmlDocument::LoadRootOnly(std::string_view text) {
  const QuietErrors quiet;
  if (!StartLoad(text)) return false;  // the same checks as a whole-document load
  RootStream stream;
  StreamParser ctxt = NewStreamParser(stream);
  Feed(ctxt.get(), text, [] {});
  xmlDoc* doc = ctxt->myDoc;
  // A parser stopped short (a text node past libxml2's limit reports itself as
  // an allocation failure and halts) has read only part of the text: the text
  // does not load, as it does not with LoadXml.
  if (std::optional<std::string> failure = ParseFailure(doc, ctxt.get())) {
    parse_error_ = std::move(*failure);
    return false;
  }
  xmlNode* root = xmlDocGetRootElement(doc);
  if (root == nullptr) {
    parse_error_ = "The document has no root element";
    return false;
  }
  for (xmlAttr* a = root->properties; a != nullptr; a = a->next) {
    DropEntityReferences(reinterpret_cast<xmlNode*>(a));
  }
  ctxt->myDoc = nullptr;
  doc->_private = nullptr;
  doc_ = doc;
  declared_ = BeginsWithDeclaration(text);
  return true;
}

void XmlDocument::ForEachRootChild(std::string_view text, std::string_view name,
                                   const std::function<void(XmlElement)>& each) {
  if (text.size() > static_cast<size_t>(INT_MAX)) {
    throw Failure(failure_numbers::kFail, "The document is too large");
  }
  const std::string wanted(name);
  RootStream stream;
  stream.keep = &wanted;
  const QuietErrors quiet;
  StreamParser ctxt = NewStreamParser(stream);
  Feed(ctxt.get(), text, [&] {
    // Handed over between pieces, outside the parser.
    std::vector<xmlNode*> ready;
    ready.swap(stream.ready);
    XmlHandle<xmlNode, xmlFreeNode> held;
    for (size_t i = 0; i < ready.size(); ++i) {
      held.reset(ready[i]);
      ready[i] = nullptr;
      try {
        each(XmlElement(held.get()));
      } catch (...) {
        for (xmlNode* rest : ready) xmlFreeNode(rest);
        throw;
      }
    }
  });
  if (!ctxt->wellFormed || ctxt->disableSAX != 0 || ctxt->errNo == XML_ERR_NO_MEMORY) {
    throw Failure(failure_numbers::kFail, "The document could not be read again");
  }
}

void XmlDocument::AppendToRootAsText(XmlElement child) {
  xmlNode* c = Checked(child.node_);
  xmlDoc* doc = static_cast<xmlDoc*>(doc_);
  if (doc == nullptr || c->doc != doc || c->type != XML_ELEMENT_NODE) {
    throw Failure(failure_numbers::kFail, "The node to append belongs to another document");
  }
  xmlNode* root = xmlDocGetRootElement(doc);
  if (root == nullptr) throw Failure(failure_numbers::kFail, "The document has no root element");
  for (const xmlNode* a = root; a != nullptr; a = a->parent) {
    if (a == c) throw Failure(failure_numbers::kFail, "The root cannot be appended to itself");
  }
  const QuietErrors quiet;
  xmlUnlinkNode(c);
  XmlHandle<xmlNode, xmlFreeNode> node(c);
  // Written by the serialiser that writes the whole document, so that the reply
  // reads exactly as if the element had stayed in the tree.
  std::string text;
  const bool written = xmlGetIntSubset(doc) == nullptr ? DumpInto(text, doc, c) : SaveInto(text, c);
  if (!written) throw Failure(failure_numbers::kFail, "The element could not be serialised");
  held_ += text;
}

}  // namespace quillor

namespace quillor {
namespace {

// The element with its content, as Serialize writes the root.
std::string RootText(xmlDoc* doc, xmlNode* root) {
  std::string out;
  const bool written =
      xmlGetIntSubset(doc) == nullptr ? DumpInto(out, doc, root) : SaveInto(out, root);
  if (!written) throw Failure(failure_numbers::kFail, "The document could not be serialised");
  return out;
}

// A node beside the root: a comment, a processing instruction or the type declaration.
std::string NodeText(xmlNode* node) {
  std::string out;
  if (!SaveInto(out, node)) {
    throw Failure(failure_numbers::kFail, "The document could not be serialised");
  }
  return out;
}

std::string Declaration(const xmlDoc* doc) {
  std::string out = "<?xml version=\"";
  out += doc->version != nullptr ? reinterpret_cast<const char*>(doc->version) : "1.0";
  out += "\" encoding=\"UTF-8\"";
  if (doc->standalone == 1) out += " standalone=\"yes\"";
  if (doc->standalone == 0) out += " standalone=\"no\"";
  return out + "?>";
}

// What stands before and after the root, each node followed (before) or preceded
// (after) by a line feed.
struct AroundRoot {
  std::string before;
  std::string after;
};

AroundRoot TextAroundRoot(xmlDoc* doc, xmlNode* root, bool declared) {
  AroundRoot around;
  if (declared) around.before = Declaration(doc) + "\n";
  bool past_root = false;
  for (xmlNode* node = doc->children; node != nullptr; node = node->next) {
    if (node == root) {
      past_root = true;
      continue;
    }
    if (node->type != XML_COMMENT_NODE && node->type != XML_PI_NODE && node->type != XML_DTD_NODE) {
      continue;
    }
    if (past_root) {
      around.after += "\n" + NodeText(node);
    } else {
      around.before += NodeText(node) + "\n";
    }
  }
  return around;
}

}  // namespace

std::string XmlDocument::SerializeAsLoaded() const {
  if (doc_ == nullptr) return "";
  TakeBackHeld();  // written here from the tree
  xmlDoc* doc = static_cast<xmlDoc*>(doc_);
  xmlNode* root = xmlDocGetRootElement(doc);
  if (root == nullptr) return "";
  const QuietErrors quiet;
  const AroundRoot around = TextAroundRoot(doc, root, declared_);
  return around.before + RootText(doc, root) + around.after;
}

XmlFrame XmlDocument::FrameAsLoaded() const {
  if (doc_ != nullptr) TakeBackHeld();
  xmlDoc* doc = static_cast<xmlDoc*>(doc_);
  xmlNode* root = doc != nullptr ? xmlDocGetRootElement(doc) : nullptr;
  if (root == nullptr) throw Failure::ObjectNotSet();
  const QuietErrors quiet;
  XmlFrame frame;
  {
    // The root's content stands aside while the root is written empty.
    struct Aside {
      xmlNode* root;
      xmlNode* children;
      xmlNode* last;
      ~Aside() {
        root->children = children;
        root->last = last;
      }
    } aside{root, root->children, root->last};
    root->children = nullptr;
    root->last = nullptr;
    frame.empty = RootText(doc, root);
  }
  const std::string name = QualifiedName(root);
  std::string start;
  std::string end;
  if (frame.empty.size() >= 2 && frame.empty.compare(frame.empty.size() - 2, 2, "/>") == 0) {
    start = frame.empty.substr(0, frame.empty.size() - 2) + ">";
    end = "</" + name + ">";
  } else {
    // Written with an end tag even when empty.
    const size_t cut = frame.empty.size() - (name.size() + 3);
    start = frame.empty.substr(0, cut);
    end = frame.empty.substr(cut);
  }
  const AroundRoot around = TextAroundRoot(doc, root, declared_);
  frame.head = around.before + start;
  frame.tail = end + around.after;
  frame.empty = around.before + frame.empty + around.after;
  for (const xmlNs* ns = root->nsDef; ns != nullptr; ns = ns->next) {
    if (ns->prefix == nullptr && ns->href != nullptr && ns->href[0] != '\0') {
      frame.default_namespace = true;
    }
  }
  return frame;
}

}  // namespace quillor

namespace quillor {

bool IsXmlName(std::string_view name) {
  if (name.empty() || name.find('\0') != std::string_view::npos) return false;
  const std::string copy(name);
  return xmlValidateName(reinterpret_cast<const xmlChar*>(copy.c_str()), 0) == 0;
}

}  // namespace quillor
