// The text of a document held by MSXML, written by the project's own serialiser
// so that it is byte for byte what the Linux build writes for the same tree (the
// engine's own xml text is laid out differently from one engine build to the next).
#include <vector>

#include "platform/base/failure.h"
#include "platform/com/windows/wide_text.h"
#include "platform/xml/msxml/msxml_nodes.h"
#include "platform/xml/xml_text.h"
#include "platform/xml/xml_writer.h"

namespace quillor {

namespace msxml {

namespace {

bool IsNamespaceDeclaration(std::string_view name) {
  return name == "xmlns" || name.starts_with("xmlns:");
}

void WriteAttributes(IXMLDOMNode* node, std::string& out) {
  win::ComPtr<IXMLDOMNamedNodeMap> attributes;
  Check(node->get_attributes(attributes.GetAddressOf()), "The attributes could not be read");
  if (!attributes) return;
  long count = 0;
  Check(attributes->get_length(&count), "The attributes could not be read");
  struct Written {
    std::string name;
    std::string value;
  };
  std::vector<Written> declarations;
  std::vector<Written> others;
  for (long i = 0; i < count; ++i) {
    win::ComPtr<IXMLDOMNode> attr;
    Check(attributes->get_item(i, attr.GetAddressOf()), "The attributes could not be read");
    if (!attr) continue;
    Written w{NodeName(attr.Get()), NodeValue(attr.Get())};
    (IsNamespaceDeclaration(w.name) ? declarations : others).push_back(std::move(w));
  }
  // Namespace declarations first, as the Linux build's engine keeps them apart.
  for (const auto* group : {&declarations, &others}) {
    for (const Written& w : *group) {
      out += ' ';
      out += w.name;
      out += "=\"";
      AppendXmlAttributeValue(out, w.value);
      out += '"';
    }
  }
}

void WriteChildren(IXMLDOMNode* node, std::string& out) {
  win::ComPtr<IXMLDOMNode> child;
  Check(node->get_firstChild(child.GetAddressOf()), "The node's children could not be read");
  while (child) {
    WriteNode(child.Get(), out, nullptr);
    win::ComPtr<IXMLDOMNode> next;
    Check(child->get_nextSibling(next.GetAddressOf()), "The node's children could not be read");
    child = std::move(next);
  }
}

bool HasChildren(IXMLDOMNode* node) {
  VARIANT_BOOL has = VARIANT_FALSE;
  Check(node->hasChildNodes(&has), "The node's children could not be read");
  return has == VARIANT_TRUE;
}

}  // namespace

void WriteNode(IXMLDOMNode* node, std::string& out, const Store* store) {
  switch (TypeOf(node)) {
    case NODE_ELEMENT: {
      const std::string name = NodeName(node);
      out += '<';
      out += name;
      WriteAttributes(node, out);
      if (!HasChildren(node)) {
        out += "/>";
        return;
      }
      out += '>';
      WriteChildren(node, out);
      out += "</";
      out += name;
      out += '>';
      return;
    }
    case NODE_TEXT:
      AppendXmlText(out, NodeValue(node));
      return;
    case NODE_CDATA_SECTION:
      out += "<![CDATA[" + NodeValue(node) + "]]>";
      return;
    case NODE_COMMENT:
      out += "<!--" + NodeValue(node) + "-->";
      return;
    case NODE_PROCESSING_INSTRUCTION: {
      const std::string data = NodeValue(node);
      out += "<?" + NodeName(node);
      if (!data.empty()) out += " " + data;
      out += "?>";
      return;
    }
    case NODE_ENTITY_REFERENCE:
      WriteChildren(node, out);  // the entity's content, as the Linux build expands it
      return;
    case NODE_DOCUMENT_TYPE: {
      if (store != nullptr && !store->doctype.empty()) {
        out += store->doctype;
        return;
      }
      win::Bstr text;
      Check(node->get_xml(text.put()), "The type declaration could not be written");
      out += text.utf8();
      return;
    }
    default:
      return;
  }
}

namespace {

// A pseudo-attribute of the XML declaration's text, or nothing.
std::optional<std::string> DeclarationValue(std::string_view data, std::string_view name) {
  const size_t at = data.find(name);
  if (at == std::string_view::npos) return std::nullopt;
  size_t p = data.find_first_of("\"'", at + name.size());
  if (p == std::string_view::npos) return std::nullopt;
  const char quote = data[p];
  const size_t end = data.find(quote, p + 1);
  if (end == std::string_view::npos) return std::nullopt;
  return std::string(data.substr(p + 1, end - p - 1));
}

struct AroundRoot {
  std::string before;
  std::string after;
};

AroundRoot TextAroundRoot(const Store& store, bool declared) {
  IXMLDOMDocument2* doc = store.doc.Get();
  AroundRoot around;
  std::string version = "1.0";
  std::optional<std::string> standalone;
  std::vector<std::string> before;
  bool past_root = false;
  win::ComPtr<IXMLDOMNode> child;
  Check(doc->get_firstChild(child.GetAddressOf()), "The document could not be read");
  while (child) {
    const DOMNodeType type = TypeOf(child.Get());
    if (type == NODE_ELEMENT) {
      past_root = true;
    } else if (type == NODE_PROCESSING_INSTRUCTION && NodeName(child.Get()) == "xml") {
      const std::string data = NodeValue(child.Get());
      version = DeclarationValue(data, "version").value_or("1.0");
      standalone = DeclarationValue(data, "standalone");
    } else if (type == NODE_COMMENT || type == NODE_PROCESSING_INSTRUCTION ||
               type == NODE_DOCUMENT_TYPE) {
      std::string text;
      WriteNode(child.Get(), text, &store);
      if (past_root) {
        around.after += "\n" + text;
      } else {
        before.push_back(std::move(text));
      }
    }
    win::ComPtr<IXMLDOMNode> next;
    Check(child->get_nextSibling(next.GetAddressOf()), "The document could not be read");
    child = std::move(next);
  }
  if (declared) {
    around.before = "<?xml version=\"" + version + "\" encoding=\"UTF-8\"";
    if (standalone == "yes" || standalone == "no")
      around.before += " standalone=\"" + *standalone + "\"";
    around.before += "?>\n";
  }
  for (const std::string& text : before) around.before += text + "\n";
  return around;
}

}  // namespace

std::string DoctypeText(std::string_view text) {
  const size_t at = text.find("<!DOCTYPE");
  if (at == std::string_view::npos) return {};
  const size_t end = MarkupEnd(text, at + 9);
  if (end == std::string_view::npos) return {};
  return std::string(text.substr(at, end + 1 - at));
}

}  // namespace msxml

std::string XmlDocument::Serialize() const {
  const XmlElement root = Root();
  if (!root) return "";
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  msxml::WriteNode(msxml::NodeOf(root), out);
  return out;
}

std::string XmlDocument::SerializeAsLoaded() const {
  const XmlElement root = Root();
  if (!root) return "";
  auto* store = static_cast<msxml::Store*>(doc_);
  const msxml::AroundRoot around = msxml::TextAroundRoot(*store, declared_);
  std::string out = around.before;
  msxml::WriteNode(msxml::NodeOf(root), out);
  return out + around.after;
}

XmlFrame XmlDocument::FrameAsLoaded() const {
  const XmlElement root = Root();
  if (!root) throw Failure::ObjectNotSet();
  IXMLDOMNode* node = msxml::NodeOf(root);
  auto* store = static_cast<msxml::Store*>(doc_);
  const msxml::AroundRoot around = msxml::TextAroundRoot(*store, declared_);
  const std::string name = msxml::NodeName(node);
  std::string start = "<" + name;
  msxml::WriteAttributes(node, start);
  XmlFrame frame;
  frame.head = around.before + start + ">";
  frame.tail = "</" + name + ">" + around.after;
  frame.empty = around.before + start + "/>" + around.after;
  const std::optional<std::string> ns = root.Attribute("xmlns");
  frame.default_namespace = ns && !ns->empty();
  return frame;
}

}  // namespace quillor
