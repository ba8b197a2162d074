// The document written back as it was loaded, and split around its root.
#include "platform/xml/xml.h"

#include "platform/xml/libxml2/libxml2_errors.h"
#include "platform/xml/libxml2/libxml2_nodes.h"
#include "platform/xml/libxml2/libxml2_output.h"
#include "platform/xml/xml_text.h"

namespace quillor {

using namespace libxml2;  // NOLINT(google-build-using-namespace): this backend's own helpers

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
  std::string empty;
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
    empty = RootText(doc, root);
  }
  // The root's attributes may be long: each part is built in place, so that the
  // frame holds them twice (head and empty document) and never more on the way.
  const std::string name = QualifiedName(root);
  const bool self_closing = empty.size() >= 2 && empty.compare(empty.size() - 2, 2, "/>") == 0;
  // Written with an end tag even when empty, or else closed where it starts.
  const size_t start_size = self_closing ? empty.size() - 2 : empty.size() - (name.size() + 3);
  const AroundRoot around = TextAroundRoot(doc, root, declared_);
  XmlFrame frame;
  frame.head.reserve(around.before.size() + start_size + 1);
  frame.head += around.before;
  frame.head.append(empty, 0, start_size);
  if (self_closing) frame.head += '>';
  frame.tail = self_closing ? "</" + name + ">" : empty.substr(start_size);
  frame.tail += around.after;
  frame.empty.reserve(around.before.size() + empty.size() + around.after.size());
  frame.empty += around.before;
  frame.empty += empty;
  frame.empty += around.after;
  for (const xmlNs* ns = root->nsDef; ns != nullptr; ns = ns->next) {
    if (ns->prefix == nullptr && ns->href != nullptr && ns->href[0] != '\0') {
      frame.default_namespace = true;
    }
  }
  return frame;
}

}  // namespace quillor
