// The document: loading a whole text, creating elements, serialising.
#include "platform/xml/xml.h"

#include "platform/xml/libxml2/libxml2_entities.h"
#include "platform/xml/libxml2/libxml2_errors.h"
#include "platform/xml/libxml2/libxml2_handles.h"
#include "platform/xml/libxml2/libxml2_node_budget.h"
#include "platform/xml/libxml2/libxml2_nodes.h"
#include "platform/xml/libxml2/libxml2_output.h"
#include "platform/xml/libxml2/libxml2_parse.h"
#include "platform/xml/xml_hooks.h"
#include "platform/xml/xml_text.h"

namespace quillor {

using namespace libxml2;  // NOLINT(google-build-using-namespace): this backend's own helpers

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
  xml_hooks::CountPass(text);
  const QuietErrors quiet;
  if (!StartLoad(text)) return false;
  XmlHandle<xmlParserCtxt, xmlFreeParserCtxt> ctxt(xmlNewParserCtxt());
  if (!ctxt) throw std::bad_alloc();
  // An encoding named in the declaration is ignored. Internal entities are
  // substituted and attribute defaults applied, within libxml2's amplification
  // limits (see kRequestParseOptions); no validation, nothing loaded from outside the
  // text, no network access.
  KeepToTheText(ctxt.get());
  const int options = kRequestParseOptions;
  // Read through a reader callback rather than as one memory block: libxml2
  // refuses a memory block whose start tags hold more than 10 MB of attributes
  // ("Huge input lookup"), and a reader is also spared the block's copy.
  MemoryReader reader{text};
  const BudgetScope budget(most_nodes_);
  XmlHandle<xmlDoc, xmlFreeDoc> doc(
      xmlCtxtReadIO(ctxt.get(), MemoryReader::Read, nullptr, &reader, nullptr, nullptr, options));
  if (budget.budget().exceeded) {
    parse_error_ = budget.budget().Why();
    return false;
  }
  if (std::optional<std::string> failure = ParseFailure(doc.get(), ctxt.get())) {
    parse_error_ = std::move(*failure);
    return false;
  }
  if (!SettleParsedDocument(doc.get(), parse_error_)) return false;
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
    XmlHandle<xmlDoc, xmlFreeDoc> fresh(xmlNewDoc(BAD_CAST "1.0"));
    if (!fresh) throw std::bad_alloc();
    // UTF-8, and saying so, as a loaded document does: serialised, its attribute
    // values keep characters beyond ASCII raw rather than as references.
    fresh->encoding = xmlStrdup(BAD_CAST "UTF-8");
    if (fresh->encoding == nullptr) throw std::bad_alloc();
    doc_ = fresh.release();
  }
  xmlDoc* doc = static_cast<xmlDoc*>(doc_);
  XmlHandle<xmlNode, xmlFreeNode> node(xmlNewDocNode(doc, nullptr, XmlChars(n), nullptr));
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

}  // namespace quillor
