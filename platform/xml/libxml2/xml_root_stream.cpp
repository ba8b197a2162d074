// Reading a request without holding it whole, and replies held as text.
#include "platform/xml/xml.h"

#include <exception>
#include <functional>

#include "platform/xml/libxml2/libxml2_entities.h"
#include "platform/xml/libxml2/libxml2_errors.h"
#include "platform/xml/libxml2/libxml2_handles.h"
#include "platform/xml/libxml2/libxml2_limits.h"
#include "platform/xml/libxml2/libxml2_node_budget.h"
#include "platform/xml/libxml2/libxml2_nodes.h"
#include "platform/xml/libxml2/libxml2_output.h"
#include "platform/xml/libxml2/libxml2_parse.h"
#include "platform/xml/xml_hooks.h"
#include "platform/xml/xml_text.h"

namespace quillor {

using namespace libxml2;  // NOLINT(google-build-using-namespace): this backend's own helpers

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
  // When set, asked once the root's start tag is read whether the root's children
  // are dropped as they complete (true) or the whole tree kept; a failure it
  // throws stops the parser and waits in `failure`.
  const std::function<bool(XmlElement)>* choose = nullptr;
  bool keep_whole = false;
  std::exception_ptr failure;

  ~RootStream() {
    for (xmlNode* n : ready) xmlFreeNode(n);
  }

  bool Kept(const xmlNode* n) const {
    return keep != nullptr && n->type == XML_ELEMENT_NODE && n->ns == nullptr &&
           Utf8Text(n->name) == *keep;
  }

  // The root's children are all complete whenever the parser stands on the root.
  void Drain() {
    // What the budget bounds is one child of the root at a time.
    if (NodeBudget* budget = CurrentBudget()) budget->nodes = 0;
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
  if (stream == nullptr || stream->root == nullptr || stream->keep_whole) return nullptr;
  if (static_cast<xmlParserCtxt*>(ctx)->node != stream->root) return nullptr;
  return stream;
}

void DrainAtRoot(void* ctx) {
  if (RootStream* stream = StreamAtRoot(ctx)) stream->Drain();
}

void StartElementDraining(void* ctx, const xmlChar* localname, const xmlChar* prefix,
                          const xmlChar* uri, int nb_namespaces, const xmlChar** namespaces,
                          int nb_attributes, int nb_defaulted, const xmlChar** attributes) {
  if (TooDeep(ctx)) return;
  DrainAtRoot(ctx);
  if (OverBudget(ctx, 1 + static_cast<size_t>(nb_attributes))) return;
  xmlSAX2StartElementNs(ctx, localname, prefix, uri, nb_namespaces, namespaces, nb_attributes,
                        nb_defaulted, attributes);
  RootStream* stream = OwnStream(ctx);
  if (stream != nullptr && stream->root == nullptr) {
    auto* ctxt = static_cast<xmlParserCtxt*>(ctx);
    stream->root = ctxt->node;
    if (stream->choose != nullptr && stream->root != nullptr) {
      // The caller's code runs inside the parser: nothing it throws may cross it.
      try {
        stream->keep_whole = !(*stream->choose)(XmlBackend::Make(stream->root));
      } catch (...) {
        stream->failure = std::current_exception();
        xmlStopParser(ctxt);
      }
    }
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
  CommentWithinBudget(ctx, value);
  DrainAtRoot(ctx);
}

void PiDraining(void* ctx, const xmlChar* target, const xmlChar* data) {
  PiWithinBudget(ctx, target, data);
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

// The handlers above, for the stream, on a parser set up as LoadXml sets up its own.
void DrainIntoStream(xmlParserCtxt* ctxt, RootStream& stream) {
  KeepToTheText(ctxt);
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
  stream.parser = ctxt;
}

// A push parser set up as LoadXml sets up its parser, with the hooks above.
StreamParser NewStreamParser(RootStream& stream) {
  StreamParser ctxt(xmlCreatePushParserCtxt(nullptr, nullptr, nullptr, 0, nullptr));
  if (!ctxt) throw std::bad_alloc();
  xmlCtxtUseOptions(ctxt.get(), kRequestParseOptions);
  DrainIntoStream(ctxt.get(), stream);
  return ctxt;
}

// Where the piece fed from `at` ends. The parser reads a start tag only once it
// holds all of it, and while it waits it looks through everything it holds of
// the tag again at each piece: a long tag (a long attribute value) fed in pieces
// of a fixed size would cost the square of its length. While the parser waits in
// a start tag, the next piece runs to the '>' that ends the tag, past quoted
// values; the parser holds the whole tag either way.
size_t PieceEnd(const xmlParserCtxt* ctxt, std::string_view text, size_t at) {
  const size_t fixed = std::min(text.size(), at + kStreamChunk);
  if (ctxt->instate != XML_PARSER_START_TAG || ctxt->input == nullptr) return fixed;
  const auto held = static_cast<size_t>(ctxt->input->end - ctxt->input->cur);
  if (held > at) return fixed;
  const size_t end = MarkupEnd(text, at - held);
  return end == std::string_view::npos ? text.size() : std::max(fixed, end + 1);
}

// Feeds the text in pieces; after each piece `between` runs outside the parser.
template <typename Between>
void Feed(xmlParserCtxt* ctxt, std::string_view text, Between&& between) {
  for (size_t at = 0; at < text.size() && ctxt->disableSAX == 0;) {
    const size_t end = PieceEnd(ctxt, text, at);
    xmlParseChunk(ctxt, text.data() + at, static_cast<int>(end - at), 0);
    at = end;
    between();
  }
  xmlParseChunk(ctxt, nullptr, 0, 1);
  between();
}

// The document a root-only read leaves, taken from its parser: the root with its
// attributes and nothing beneath it (what the parser read past the start tag is
// dropped). Null, with why in `why`, when the read gave no whole root.
xmlDoc* TakeRootOnly(xmlParserCtxt* ctxt, std::string& why) {
  xmlDoc* doc = ctxt->myDoc;
  if (std::optional<std::string> failure = ParseFailure(doc, ctxt)) {
    why = std::move(*failure);
    return nullptr;
  }
  xmlNode* root = xmlDocGetRootElement(doc);
  if (root == nullptr) {
    why = "The document has no root element";
    return nullptr;
  }
  while (root->children != nullptr) {
    xmlNode* child = root->children;
    xmlUnlinkNode(child);
    xmlFreeNode(child);
  }
  for (xmlAttr* a = root->properties; a != nullptr; a = a->next) {
    DropEntityReferences(reinterpret_cast<xmlNode*>(a));
  }
  ctxt->myDoc = nullptr;
  doc->_private = nullptr;
  return doc;
}

}  // namespace

bool XmlDocument::LoadRootOnly(std::string_view text) {
  xml_hooks::CountPass(text);
  const QuietErrors quiet;
  if (!StartLoad(text)) return false;  // the same checks as a whole-document load
  const BudgetScope budget(most_nodes_);
  RootStream stream;
  StreamParser ctxt = NewStreamParser(stream);
  Feed(ctxt.get(), text, [] {});
  if (budget.budget().exceeded) {
    parse_error_ = budget.budget().Why();
    return false;
  }
  // A parser stopped short (a text node past libxml2's limit reports itself as
  // an allocation failure and halts) has read only part of the text: the text
  // does not load, as it does not with LoadXml.
  xmlDoc* doc = TakeRootOnly(ctxt.get(), parse_error_);
  if (doc == nullptr) return false;
  doc_ = doc;
  declared_ = BeginsWithDeclaration(text);
  return true;
}

bool XmlDocument::LoadRootStart(std::string_view text) {
  xml_hooks::CountPass(text);
  const QuietErrors quiet;
  if (!StartLoad(text)) return false;  // the same checks as a whole-document load
  RootStream stream;
  StreamParser ctxt = NewStreamParser(stream);
  for (size_t at = 0; at < text.size() && ctxt->disableSAX == 0 && stream.root == nullptr;) {
    const size_t end = PieceEnd(ctxt.get(), text, at);
    xmlParseChunk(ctxt.get(), text.data() + at, static_cast<int>(end - at), 0);
    at = end;
  }
  // Ended before a root: the parser's last word says why.
  if (stream.root == nullptr) xmlParseChunk(ctxt.get(), nullptr, 0, 1);
  xmlDoc* doc = TakeRootOnly(ctxt.get(), parse_error_);
  if (doc == nullptr) return false;
  doc_ = doc;
  declared_ = BeginsWithDeclaration(text);
  return true;
}

bool XmlDocument::LoadWholeOrRootOnly(std::string_view text,
                                      const std::function<bool(XmlElement root)>& root_only) {
  xml_hooks::CountPass(text);
  const QuietErrors quiet;
  if (!StartLoad(text)) return false;  // the same checks as a whole-document load
  // The stream's parser, which is fed a start tag whole: a long attribute costs
  // less here than through LoadXml's reader. Until the root's start tag is read,
  // and afterwards when the whole tree is kept, its handlers do what LoadXml's do.
  const BudgetScope budget(most_nodes_);
  RootStream stream;
  stream.choose = &root_only;
  StreamParser ctxt = NewStreamParser(stream);
  Feed(ctxt.get(), text, [] {});
  if (stream.failure) std::rethrow_exception(stream.failure);
  if (budget.budget().exceeded) {
    parse_error_ = budget.budget().Why();
    return false;
  }
  if (!stream.keep_whole) {
    xmlDoc* doc = TakeRootOnly(ctxt.get(), parse_error_);
    if (doc == nullptr) return false;
    doc_ = doc;
    declared_ = BeginsWithDeclaration(text);
    return true;
  }
  xmlDoc* doc = ctxt->myDoc;
  if (std::optional<std::string> failure = ParseFailure(doc, ctxt.get())) {
    parse_error_ = std::move(*failure);
    return false;
  }
  if (!SettleParsedDocument(doc, parse_error_)) return false;
  ctxt->myDoc = nullptr;
  doc->_private = nullptr;
  doc_ = doc;
  declared_ = BeginsWithDeclaration(text);
  return true;
}

void XmlDocument::ForEachRootChild(std::string_view text, std::string_view name,
                                   const std::function<void(XmlElement)>& each) {
  xml_hooks::CountPass(text);
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
