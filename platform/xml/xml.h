// A small XML document API over the system's XML engine, shaped after the DOM
// operations the component needs: parse, root, relative selection, element
// creation, attributes, child append, text replacement and serialisation. Linux
// builds implement it over libxml2 (libxml2/), Windows builds over MSXML 3.0
// through COM (msxml/); the same tests hold both to the same results.
//
// Parsing is strict and closed to the outside: a document that is not well-formed
// does not load; the document's own DOCTYPE is honoured as a non-validating
// processor honours it (internal entities expanded, attribute defaults applied,
// within the engine's amplification limits); no external DTD or entity is ever
// read, from a file or the network.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillor {

class XmlDocument;

// The text of a document around its root's content, so that content can be
// written straight into it: head + content + tail, or empty when there is none.
struct XmlFrame {
  std::string head;   // up to and including the root's start tag
  std::string tail;   // from the root's end tag to the end of the document
  std::string empty;  // the whole document with the root empty
  // A default namespace is in scope inside the root: an element in no namespace
  // written into it must undeclare it (xmlns="") to read back in no namespace.
  bool default_namespace = false;
};

// A non-owning handle to an element of a document. A default-constructed handle
// designates nothing; using it is a failure, as in the DOM.
class XmlElement {
 public:
  XmlElement() = default;

  bool IsNull() const { return node_ == nullptr; }
  explicit operator bool() const { return node_ != nullptr; }
  bool operator==(const XmlElement& other) const { return node_ == other.node_; }

  std::string Name() const;

  // The attribute's text, or nothing when the element has no such attribute.
  std::optional<std::string> Attribute(std::string_view name) const;
  void SetAttribute(std::string_view name, std::string_view value);

  // The first child element of that name, or a null handle.
  XmlElement FirstChild(std::string_view name) const;
  std::vector<XmlElement> ChildElements() const;

  // All text beneath the element, concatenated.
  std::string Text() const;
  // Replaces every child of the element by one text node (none for empty text).
  void SetText(std::string_view text);

  // Appends an element created by the same document.
  void AppendChild(XmlElement child);

  // Appends a new child element of that name holding the text (no text node for
  // empty text) and returns it: what CreateElement, SetText and AppendChild do
  // together, in one step and without the intermediate copies. A name that is not
  // a valid XML name is a failure.
  XmlElement AppendTextChild(std::string_view name, std::string_view text);

  // Elements selected by an XPath 1.0 expression relative to this element, in
  // document order. An invalid expression is a failure carrying the parser's
  // description; nodes that are not elements are left out.
  std::vector<XmlElement> Select(std::string_view path) const;

 private:
  friend class XmlDocument;
  // The engine's own code, which makes handles to the nodes it holds.
  friend struct XmlBackend;

  explicit XmlElement(void* node) : node_(node) {}
  void* node_ = nullptr;
};

using XmlNodeList = std::vector<XmlElement>;

// Whether the text is a valid XML element name, as the engine that creates
// elements judges it.
bool IsXmlName(std::string_view name);

// Owns one libxml2 document. Move-only.
class XmlDocument {
 public:
  XmlDocument();
  ~XmlDocument();
  XmlDocument(XmlDocument&&) noexcept;
  XmlDocument& operator=(XmlDocument&&) noexcept;
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;

  // Replaces the document's content by the parsed text. Returns false (and leaves
  // the document empty) when the text is not well-formed XML; ParseError() then
  // says why.
  bool LoadXml(std::string_view text);
  const std::string& ParseError() const { return parse_error_; }

  // The most nodes (elements, attributes, comments, processing instructions) one
  // tree read from a text may hold: the whole document for LoadXml, each child
  // of the root for LoadRootOnly; 0 for no bound. A text past it does not load,
  // and ParseError() says so: the parse stops before the tree grows further.
  void SetMostNodes(size_t most) { most_nodes_ = most; }

  // Reads the whole text and accepts exactly what LoadXml accepts, but keeps only
  // the root element with its attributes: each child of the root is dropped the
  // moment it is complete, so memory stays that of one child however long the
  // text is.
  bool LoadRootOnly(std::string_view text);

  // Reads the text only as far as the root's start tag and keeps the root with
  // its attributes, the type declaration's defaults applied: what a request's
  // envelope needs, without reading the rest. False when the text is not
  // well-formed that far, or ends before a root; what follows is not judged.
  bool LoadRootStart(std::string_view text);

  // Reads the whole text once and accepts exactly what LoadXml accepts. As soon
  // as the root's start tag is read, `root_only` is shown the root with its
  // attributes (the type declaration's defaults applied): when it answers true,
  // the document keeps only the root, as LoadRootOnly keeps it, each child of the
  // root dropped the moment it is complete; otherwise it keeps the whole tree, as
  // LoadXml does. The node bound applies as it does to the load chosen. A failure
  // of `root_only` ends the read and is passed on.
  bool LoadWholeOrRootOnly(std::string_view text,
                           const std::function<bool(XmlElement root)>& root_only);

  // Reads a text that LoadRootOnly accepted once more and hands `each`, in
  // document order, every element that Root().Select(name) would give on the
  // whole document (name: one plain element name). Each element is built as
  // LoadXml builds it and lives until `each` returns. A failure of `each` ends
  // the reading and is passed on.
  static void ForEachRootChild(std::string_view text, std::string_view name,
                               const std::function<void(XmlElement)>& each);

  // The root element, or a null handle for an empty document.
  XmlElement Root() const;
  bool HasRoot() const;

  // Appends an element created by this document, and not placed, as the root's
  // last child, as AppendChild does, but keeps it as the text Serialize would
  // write for it and frees its nodes: a reply of many small elements then costs
  // its text, not its tree. Root() reads the held elements back into the tree
  // first, so that the tree it shows is whole.
  void AppendToRootAsText(XmlElement child);

  // A new element owned by this document, not yet placed. A name that is not a
  // valid XML name is a failure.
  XmlElement CreateElement(std::string_view name);

  // Makes the element the document's root (replacing any earlier root).
  void SetRoot(XmlElement element);

  // The document as UTF-8 text: an XML declaration, a line feed and the root
  // element, unindented. An empty document serialises as empty text.
  std::string Serialize() const;

  // The document as it was loaded: the XML declaration only when the loaded text
  // began with one (its version and standalone kept, the encoding named UTF-8,
  // which the text is), then the comments, processing instructions and type
  // declaration before the root, the root, and the comments and processing
  // instructions after it, one line feed between each. Empty for an empty document.
  std::string SerializeAsLoaded() const;

  // SerializeAsLoaded's text split around the root's content (which is left out).
  // A document without a root is a failure.
  XmlFrame FrameAsLoaded() const;

 private:
  // Reads the children held as text back into the root.
  void TakeBackHeld() const;
  // Empties the document for a load of text, and checks what every load needs:
  // a size the parser takes, UTF-8 without a NUL. False, with the parse error set,
  // when the text fails them.
  bool StartLoad(std::string_view text);

  void* doc_ = nullptr;
  std::string parse_error_;
  mutable std::string held_;  // the root's last children, as serialised text
  bool declared_ = false;     // the loaded text began with an XML declaration
  size_t most_nodes_ = 0;
};

}  // namespace quillor
