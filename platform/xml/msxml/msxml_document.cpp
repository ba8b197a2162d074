// The document API over MSXML 3.0: parsing, selection and changes go through the
// engine's DOM; the text of a document is written by the project's own
// serialiser (msxml_write.cpp), never by the engine.
#include <new>

#include "platform/base/failure.h"
#include "platform/com/windows/wide_text.h"
#include "platform/xml/msxml/msxml_nodes.h"
#include "platform/xml/selection_paths.h"
#include "platform/xml/xml_hooks.h"
#include "platform/xml/xml_text.h"

namespace quillor {

using msxml::Check;
using msxml::NodeOf;
using msxml::Store;
using msxml::StoreOf;
using msxml::TypeOf;

namespace {

win::ComPtr<IXMLDOMElement> AsElement(IXMLDOMNode* node) {
  win::ComPtr<IXMLDOMElement> element;
  Check(node->QueryInterface(msxml::kIID_IXMLDOMElement,
                             reinterpret_cast<void**>(element.GetAddressOf())),
        "The node is not an element");
  return element;
}

void CheckName(std::string_view name, const char* what) {
  if (!IsXmlName(name)) {
    throw Failure(failure_numbers::kFail,
                  "'" + std::string(name) + "' is not a valid " + what + " name");
  }
}

// Calls each on every child of node, in document order.
template <class Each>
void ForEachChild(IXMLDOMNode* node, Each each) {
  win::ComPtr<IXMLDOMNode> child;
  Check(node->get_firstChild(child.GetAddressOf()), "The node's children could not be read");
  while (child) {
    win::ComPtr<IXMLDOMNode> next;
    Check(child->get_nextSibling(next.GetAddressOf()), "The node's children could not be read");
    each(child);
    child = std::move(next);
  }
}

void CollectText(IXMLDOMNode* node, std::string& out) {
  ForEachChild(node, [&](const win::ComPtr<IXMLDOMNode>& c) {
    switch (TypeOf(c.Get())) {
      case NODE_TEXT:
      case NODE_CDATA_SECTION:
        out += msxml::NodeValue(c.Get());
        break;
      case NODE_ELEMENT:
      case NODE_ENTITY_REFERENCE:
        CollectText(c.Get(), out);
        break;
      default:
        break;
    }
  });
}

void RemoveChildren(IXMLDOMNode* node) {
  for (;;) {
    win::ComPtr<IXMLDOMNode> child;
    Check(node->get_firstChild(child.GetAddressOf()), "The node's children could not be read");
    if (!child) return;
    win::ComPtr<IXMLDOMNode> removed;
    Check(node->removeChild(child.Get(), removed.GetAddressOf()), "A child could not be removed");
  }
}

// The document that creates nodes beside node: the store's own, else the node's.
IXMLDOMDocument* DocumentOf(IXMLDOMNode* node, Store& store, win::ComPtr<IXMLDOMDocument>& holder) {
  if (store.doc) return store.doc.Get();
  Check(node->get_ownerDocument(holder.GetAddressOf()), "The node's document could not be read");
  if (!holder) throw Failure(failure_numbers::kFail, "The node belongs to no document");
  return holder.Get();
}

win::ComPtr<IXMLDOMNode> NewElement(IXMLDOMNode* beside, Store& store, std::string_view name) {
  CheckName(name, "element");
  win::ComPtr<IXMLDOMDocument> holder;
  IXMLDOMDocument* doc = DocumentOf(beside, store, holder);
  win::ComPtr<IXMLDOMElement> element;
  win::Bstr tag(name);
  Check(doc->createElement(tag.get(), element.GetAddressOf()), "The element could not be created");
  return win::ComPtr<IXMLDOMNode>(element.Get());
}

void AppendText(IXMLDOMNode* node, Store& store, std::string_view text) {
  if (text.empty()) return;
  win::ComPtr<IXMLDOMDocument> holder;
  IXMLDOMDocument* doc = DocumentOf(node, store, holder);
  win::ComPtr<IXMLDOMText> t;
  win::Bstr content(text);
  Check(doc->createTextNode(content.get(), t.GetAddressOf()), "The text could not be created");
  win::ComPtr<IXMLDOMNode> added;
  Check(node->appendChild(t.Get(), added.GetAddressOf()), "The text could not be appended");
}

// The text reaches the engine decoded already, so the encoding its declaration
// names is left out (the Linux build ignores it the same way); an engine would
// otherwise refuse to switch to it.
std::string WithoutDeclaredEncoding(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // the text is decoded already
  if (!text.starts_with("<?xml")) return std::string(text);
  const size_t end = text.find("?>");
  if (end == std::string_view::npos) return std::string(text);
  const std::string_view declaration = text.substr(0, end);
  const size_t at = declaration.find("encoding");
  if (at == std::string_view::npos) return std::string(text);
  size_t p = at + 8;
  while (p < end && (text[p] == ' ' || text[p] == '\t' || text[p] == '\r' || text[p] == '\n')) ++p;
  if (p >= end || text[p] != '=') return std::string(text);
  ++p;
  while (p < end && (text[p] == ' ' || text[p] == '\t' || text[p] == '\r' || text[p] == '\n')) ++p;
  if (p >= end || (text[p] != '"' && text[p] != '\'')) return std::string(text);
  const size_t close = text.find(text[p], p + 1);
  if (close == std::string_view::npos || close > end) return std::string(text);
  size_t from = at;
  while (from > 0 && (text[from - 1] == ' ' || text[from - 1] == '\t')) --from;
  return std::string(text.substr(0, from)) + std::string(text.substr(close + 1));
}

}  // namespace

std::string XmlElement::Name() const { return msxml::NodeName(NodeOf(*this)); }

std::optional<std::string> XmlElement::Attribute(std::string_view name) const {
  win::ComPtr<IXMLDOMElement> element = AsElement(NodeOf(*this));
  win::Bstr key(name);
  win::ComPtr<IXMLDOMAttribute> attr;
  Check(element->getAttributeNode(key.get(), attr.GetAddressOf()),
        "The attribute could not be read");
  if (!attr) return std::nullopt;
  return msxml::NodeValue(attr.Get());
}

void XmlElement::SetAttribute(std::string_view name, std::string_view value) {
  win::ComPtr<IXMLDOMElement> element = AsElement(NodeOf(*this));
  CheckName(name, "attribute");
  win::Bstr key(name);
  win::Bstr text(value);
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = text.get();
  Check(element->setAttribute(key.get(), v), "The attribute could not be set");
}

XmlElement XmlElement::FirstChild(std::string_view name) const {
  IXMLDOMNode* node = NodeOf(*this);
  win::ComPtr<IXMLDOMNode> found;
  ForEachChild(node, [&](const win::ComPtr<IXMLDOMNode>& c) {
    if (!found && TypeOf(c.Get()) == NODE_ELEMENT && msxml::NodeName(c.Get()) == name) found = c;
  });
  return StoreOf(*this).HandleFor(std::move(found));
}

std::vector<XmlElement> XmlElement::ChildElements() const {
  Store& store = StoreOf(*this);
  std::vector<XmlElement> out;
  ForEachChild(NodeOf(*this), [&](const win::ComPtr<IXMLDOMNode>& c) {
    if (TypeOf(c.Get()) == NODE_ELEMENT) out.push_back(store.HandleFor(c));
  });
  return out;
}

std::string XmlElement::Text() const {
  std::string out;
  CollectText(NodeOf(*this), out);
  return out;
}

void XmlElement::SetText(std::string_view text) {
  IXMLDOMNode* node = NodeOf(*this);
  RemoveChildren(node);
  AppendText(node, StoreOf(*this), text);
}

namespace {

// Whether node is ancestor or ancestor's forebear. Node objects carry no stable
// identity in every engine build, so the node is marked for the walk and the
// mark taken off again.
bool IsSelfOrAncestor(IXMLDOMNode* node, IXMLDOMNode* of) {
  win::ComPtr<IXMLDOMElement> marked = AsElement(node);
  win::Bstr mark(std::string_view("quillor-append-check"));
  VARIANT yes;
  VariantInit(&yes);
  win::Bstr one(std::string_view("1"));
  yes.vt = VT_BSTR;
  yes.bstrVal = one.get();
  Check(marked->setAttribute(mark.get(), yes), "The node could not be appended");
  struct Unmark {
    IXMLDOMElement* element;
    BSTR name;
    ~Unmark() { element->removeAttribute(name); }
  } unmark{marked.Get(), mark.get()};
  win::ComPtr<IXMLDOMNode> at(of);
  while (at && TypeOf(at.Get()) == NODE_ELEMENT) {
    win::ComPtr<IXMLDOMElement> element = AsElement(at.Get());
    VARIANT value;
    VariantInit(&value);
    const HRESULT hr = element->getAttribute(mark.get(), &value);
    const bool found = hr == 0 && value.vt == VT_BSTR;
    VariantClear(&value);
    if (found) return true;
    win::ComPtr<IXMLDOMNode> up;
    Check(at->get_parentNode(up.GetAddressOf()), "The node could not be appended");
    at = std::move(up);
  }
  return false;
}

}  // namespace

void XmlElement::AppendChild(XmlElement child) {
  IXMLDOMNode* parent = NodeOf(*this);
  IXMLDOMNode* c = NodeOf(child);
  if (&StoreOf(child) != &StoreOf(*this)) {
    throw Failure(failure_numbers::kFail, "The node to append belongs to another document");
  }
  if (TypeOf(c) == NODE_ELEMENT && IsSelfOrAncestor(c, parent)) {
    throw Failure(failure_numbers::kFail, "A node cannot be appended to itself or its descendant");
  }
  win::ComPtr<IXMLDOMNode> added;
  Check(parent->appendChild(c, added.GetAddressOf()), "The node could not be appended");
}

XmlElement XmlElement::AppendTextChild(std::string_view name, std::string_view text) {
  IXMLDOMNode* parent = NodeOf(*this);
  Store& store = StoreOf(*this);
  win::ComPtr<IXMLDOMNode> element = NewElement(parent, store, name);
  AppendText(element.Get(), store, text);
  win::ComPtr<IXMLDOMNode> added;
  Check(parent->appendChild(element.Get(), added.GetAddressOf()), "The node could not be appended");
  return store.HandleFor(std::move(element));
}

std::vector<XmlElement> XmlElement::Select(std::string_view path) const {
  IXMLDOMNode* node = NodeOf(*this);
  Store& store = StoreOf(*this);
  win::Bstr expression(path);
  win::ComPtr<IXMLDOMNodeList> list;
  Check(node->selectNodes(expression.get(), list.GetAddressOf()), "Invalid expression");
  // A valid expression is then held to the paths every engine takes
  // (selection_paths.h), before its nodes are read.
  if (const std::optional<std::string> why = RefusedSelectionPath(path)) {
    throw Failure(failure_numbers::kFail,
                  "The path '" + std::string(path) + "' is not one a selection takes: " + *why);
  }
  std::vector<XmlElement> out;
  if (!list) return out;
  for (;;) {
    win::ComPtr<IXMLDOMNode> found;
    Check(list->nextNode(found.GetAddressOf()), "The selection could not be read");
    if (!found) break;
    if (TypeOf(found.Get()) == NODE_ELEMENT) out.push_back(store.HandleFor(std::move(found)));
  }
  return out;
}

XmlDocument::XmlDocument() = default;
XmlDocument::~XmlDocument() { delete static_cast<Store*>(doc_); }

XmlDocument::XmlDocument(XmlDocument&& other) noexcept
    : doc_(std::exchange(other.doc_, nullptr)),
      parse_error_(std::move(other.parse_error_)),
      declared_(other.declared_) {}

XmlDocument& XmlDocument::operator=(XmlDocument&& other) noexcept {
  std::swap(doc_, other.doc_);
  std::swap(parse_error_, other.parse_error_);
  std::swap(declared_, other.declared_);
  return *this;
}

bool XmlDocument::StartLoad(std::string_view text) {
  delete static_cast<Store*>(std::exchange(doc_, nullptr));
  parse_error_.clear();
  declared_ = false;
  if (FirstInvalidUtf8Byte(text) != std::string_view::npos) {
    parse_error_ = "The text is not UTF-8";
    return false;
  }
  if (text.find('\0') != std::string_view::npos) {
    parse_error_ = "The text holds a NUL character";
    return false;
  }
  return true;
}

bool XmlDocument::LoadXml(std::string_view text) {
  // Every read of a text here goes through this one load.
  xml_hooks::CountPass(text);
  if (!StartLoad(text)) return false;
  auto store = std::make_unique<Store>();
  store->doc = msxml::NewDocument();
  win::Bstr source(WithoutDeclaredEncoding(text));
  VARIANT_BOOL ok = VARIANT_FALSE;
  const HRESULT hr = store->doc->loadXML(source.get(), &ok);
  if (hr == static_cast<HRESULT>(0x8007000Eu)) throw std::bad_alloc();
  if (FAILED(hr) || ok != VARIANT_TRUE) {
    parse_error_ = "The text is not well-formed XML";
    win::ComPtr<IXMLDOMParseError> error;
    if (SUCCEEDED(store->doc->get_parseError(error.GetAddressOf())) && error) {
      win::Bstr reason;
      if (SUCCEEDED(error->get_reason(reason.put())) && reason.get() != nullptr) {
        parse_error_ = reason.utf8();
      }
    }
    return false;
  }
  // The declaration as the text has it (the engine keeps it as a node of its own),
  // after a byte order mark.
  std::string_view body = text;
  if (body.starts_with("\xEF\xBB\xBF")) body.remove_prefix(3);
  declared_ = body.starts_with("<?xml") && body.size() > 5 &&
              (body[5] == ' ' || body[5] == '\t' || body[5] == '\r' || body[5] == '\n');
  store->doctype = msxml::DoctypeText(text);
  doc_ = store.release();
  return true;
}

bool XmlDocument::LoadRootOnly(std::string_view text) {
  if (!LoadXml(text)) return false;
  if (XmlElement root = Root()) RemoveChildren(NodeOf(root));
  return true;
}

// The engine reads a text whole or not at all: the choice comes after the one
// read, and a root-only document drops the children then.
bool XmlDocument::LoadWholeOrRootOnly(std::string_view text,
                                      const std::function<bool(XmlElement root)>& root_only) {
  if (!LoadXml(text)) return false;
  if (XmlElement root = Root(); root && root_only(root)) RemoveChildren(NodeOf(root));
  return true;
}

// The engine reads a text whole or not at all, so the rest of the text is judged
// too: a text that is well-formed only as far as its root's start tag is refused
// here, where the Linux build refuses it at the whole load that follows (the
// same reply either way).
bool XmlDocument::LoadRootStart(std::string_view text) { return LoadRootOnly(text); }

void XmlDocument::ForEachRootChild(std::string_view text, std::string_view name,
                                   const std::function<void(XmlElement)>& each) {
  XmlDocument doc;
  if (!doc.LoadXml(text)) throw Failure(failure_numbers::kFail, doc.ParseError());
  XmlElement root = doc.Root();
  if (!root) return;
  for (const XmlElement& element : root.Select(name)) each(element);
}

XmlElement XmlDocument::Root() const {
  Store* store = static_cast<Store*>(doc_);
  if (store == nullptr) return XmlElement();
  if (store->root == nullptr) {
    win::ComPtr<IXMLDOMElement> root;
    Check(store->doc->get_documentElement(root.GetAddressOf()), "The root could not be read");
    if (!root) return XmlElement();
    store->root = XmlBackend::Of(store->HandleFor(win::ComPtr<IXMLDOMNode>(root.Get())));
  }
  return XmlBackend::Make(store->root);
}

bool XmlDocument::HasRoot() const { return !Root().IsNull(); }

void XmlDocument::TakeBackHeld() const {}

void XmlDocument::AppendToRootAsText(XmlElement child) {
  XmlElement root = Root();
  if (!root) throw Failure(failure_numbers::kFail, "The document has no root element");
  root.AppendChild(child);
}

XmlElement XmlDocument::CreateElement(std::string_view name) {
  Store* store = static_cast<Store*>(doc_);
  if (store == nullptr) {
    store = new Store();
    doc_ = store;
    store->doc = msxml::NewDocument();
  }
  CheckName(name, "element");
  win::ComPtr<IXMLDOMElement> element;
  win::Bstr tag(name);
  Check(store->doc->createElement(tag.get(), element.GetAddressOf()),
        "The element could not be created");
  return store->HandleFor(win::ComPtr<IXMLDOMNode>(element.Get()));
}

void XmlDocument::SetRoot(XmlElement element) {
  Store* store = static_cast<Store*>(doc_);
  if (store == nullptr || &StoreOf(element) != store) {
    throw Failure(failure_numbers::kFail, "The element belongs to another document");
  }
  win::ComPtr<IXMLDOMElement> root = AsElement(NodeOf(element));
  Check(store->doc->putref_documentElement(root.Get()), "The root could not be set");
  store->root = XmlBackend::Of(element);  // the same handle reads back as the root
}

}  // namespace quillor
