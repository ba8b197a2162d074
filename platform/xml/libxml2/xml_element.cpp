// Elements: names, attributes, children, text and selection.
#include "platform/xml/xml.h"

#include <libxml/xpath.h>

#include "platform/xml/libxml2/libxml2_errors.h"
#include "platform/xml/libxml2/libxml2_handles.h"
#include "platform/xml/libxml2/libxml2_limits.h"
#include "platform/xml/libxml2/libxml2_nodes.h"
#include "platform/xml/selection_paths.h"
#include "platform/xml/xml_text.h"

namespace quillor {

using namespace libxml2;  // NOLINT(google-build-using-namespace): this backend's own helpers

std::string XmlElement::Name() const { return QualifiedName(Checked(node_)); }

std::optional<std::string> XmlElement::Attribute(std::string_view name) const {
  xmlNode* n = Checked(node_);
  xmlAttr* attr = xmlHasProp(n, XmlChars(std::string(name)));
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
  if (xmlSetProp(n, XmlChars(key), XmlChars(std::string(value))) == nullptr) throw std::bad_alloc();
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
  const std::string expression(path);
  const auto failed = [&] {
    std::string message =
        Trimmed(Utf8Text(reinterpret_cast<const xmlChar*>(ctx->lastError.message)));
    if (message.empty()) message = "Invalid expression";
    return Failure(failure_numbers::kFail, message);
  };
  XmlHandle<xmlXPathCompExpr, xmlXPathFreeCompExpr> compiled(
      xmlXPathCtxtCompile(ctx.get(), XmlChars(expression)));
  if (!compiled) throw failed();
  // What a step costs is not what libxml2 counts (the text of the whole document
  // is one operation): expressions that can cost more than a pass or so over the
  // document are refused before they run (see selection_paths.h), and the
  // budget of operations bounds the passes of those that run.
  if (const std::optional<std::string> why = RefusedSelectionPath(path)) {
    throw Failure(failure_numbers::kFail,
                  "The path '" + expression + "' is not one a selection takes: " + *why);
  }
  ctx->opLimit = kSelectOperations + kSelectOperationsPerNode * NodesBeneath(n);
  XmlHandle<xmlXPathObject, xmlXPathFreeObject> result(
      xmlXPathCompiledEval(compiled.get(), ctx.get()));
  if (!result) {
    if (ctx->opLimit != 0 && ctx->opCount >= ctx->opLimit) {
      throw Failure(failure_numbers::kFail, "The path '" + expression +
                                                "' takes more operations than a selection may (" +
                                                std::to_string(ctx->opLimit) + ")");
    }
    throw failed();
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

}  // namespace quillor
