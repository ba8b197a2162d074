// The MSXML engine's nodes behind the document API: every handle the API gives
// out is one referenced node kept by its document's store until the document is
// emptied or ends, as the DOM keeps a node while a handle to it lives.
#pragma once

#include <deque>
#include <string>
#include <string_view>

#include "platform/com/windows/windows_api.h"
#include "platform/xml/xml.h"

namespace quillor {

namespace msxml {

// The engine's interface identifiers (the system's import libraries lack them).
inline constexpr IID kIID_IXMLDOMDocument2 = {
    0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};
inline constexpr IID kIID_IXMLDOMElement = {
    0x2933bf86, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

struct Store;

struct Node {
  win::ComPtr<IXMLDOMNode> node;
  Store* store;
};

// The nodes handed out for one document, and the document when it is ours.
struct Store {
  win::ComPtr<IXMLDOMDocument2> doc;  // null for a caller's nodes
  std::deque<Node> nodes;
  Node* root = nullptr;  // the root's handle, made once per load
  // The type declaration as the loaded text wrote it (the engine does not give
  // it back in every build).
  std::string doctype;

  // The handle the API gives out for the node, which the store keeps referenced
  // from now on; a null node gives a null handle.
  XmlElement HandleFor(win::ComPtr<IXMLDOMNode> node);
};

// A new empty MSXML 3.0 document, set up as every load needs: XPath selection,
// white space kept, nothing fetched from outside, no validation.
win::ComPtr<IXMLDOMDocument2> NewDocument();

// A failing status as a quillor::Failure, with the engine's description when it
// left one.
void Check(HRESULT hr, std::string_view what);

// The node of a handle (a null handle is failure 91).
IXMLDOMNode* NodeOf(const XmlElement& element);
Store& StoreOf(const XmlElement& element);

// The node's name and value as UTF-8.
std::string NodeName(IXMLDOMNode* node);
std::string NodeValue(IXMLDOMNode* node);
DOMNodeType TypeOf(IXMLDOMNode* node);

// The node as the Linux build's serialiser writes it, byte for byte: an empty
// element as <name/>, namespace declarations before the other attributes, text
// escaped by the project's own writer, entity references as their content.
void WriteNode(IXMLDOMNode* node, std::string& out, const Store* store = nullptr);

// The type declaration of a text, as written there ("<!DOCTYPE ... >"), or empty.
std::string DoctypeText(std::string_view text);

}  // namespace msxml

// What the document API keeps private, for this engine's code.
struct XmlBackend {
  static XmlElement Make(msxml::Node* node) { return XmlElement(node); }
  static msxml::Node* Of(const XmlElement& element) {
    return static_cast<msxml::Node*>(element.node_);
  }
};

// Handles to the nodes of a document the component does not own, such as the
// node list a caller passes to QueryProc; they stay usable while this lives.
class ForeignNodes {
 public:
  XmlElement Wrap(IXMLDOMNode* node);

 private:
  msxml::Store store_;
};

}  // namespace quillor
