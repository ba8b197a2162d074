// The document written back as it was loaded, and split around its root.
#include "platform/xml/xml.h"

#include "platform/xml/libxml2/libxml2_support.h"
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
