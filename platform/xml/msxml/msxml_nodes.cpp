#include "platform/xml/msxml/msxml_nodes.h"

#include <new>

#include "platform/base/failure.h"
#include "platform/com/windows/wide_text.h"

namespace quillor {

namespace msxml {

XmlElement Store::HandleFor(win::ComPtr<IXMLDOMNode> node) {
  if (!node) return XmlElement();
  nodes.push_back(Node{std::move(node), this});
  return XmlBackend::Make(&nodes.back());
}

namespace {

// MSXML 3.0's document class.
const CLSID kDomDocument30 = {
    0xf5078f32, 0xc551, 0x11d3, {0x89, 0xb9, 0x00, 0x00, 0xf8, 0x1f, 0xe2, 0x21}};

void SetProperty(IXMLDOMDocument2* doc, const wchar_t* name, const wchar_t* value) {
  win::Bstr key{std::wstring_view(name)};
  VARIANT v;
  VariantInit(&v);
  win::Bstr text{std::wstring_view(value)};
  v.vt = VT_BSTR;
  v.bstrVal = text.get();
  Check(doc->setProperty(key.get(), v), "The XML document could not be set up");
}

}  // namespace

win::ComPtr<IXMLDOMDocument2> NewDocument() {
  win::ComPtr<IXMLDOMDocument2> doc;
  HRESULT hr =
      CoCreateInstance(kDomDocument30, nullptr, CLSCTX_INPROC_SERVER, kIID_IXMLDOMDocument2,
                       reinterpret_cast<void**>(doc.GetAddressOf()));
  if (hr == CO_E_NOTINITIALIZED) {
    // A caller that never entered COM: the thread joins an apartment of its own.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    hr = CoCreateInstance(kDomDocument30, nullptr, CLSCTX_INPROC_SERVER, kIID_IXMLDOMDocument2,
                          reinterpret_cast<void**>(doc.GetAddressOf()));
  }
  Check(hr, "The XML engine (MSXML 3.0) could not be created");
  Check(doc->put_async(VARIANT_FALSE), "The XML document could not be set up");
  Check(doc->put_preserveWhiteSpace(VARIANT_TRUE), "The XML document could not be set up");
  Check(doc->put_resolveExternals(VARIANT_FALSE), "The XML document could not be set up");
  Check(doc->put_validateOnParse(VARIANT_FALSE), "The XML document could not be set up");
  SetProperty(doc.Get(), L"SelectionLanguage", L"XPath");
  return doc;
}

void Check(HRESULT hr, std::string_view what) {
  if (SUCCEEDED(hr)) return;
  if (hr == static_cast<HRESULT>(0x8007000Eu)) throw std::bad_alloc();
  std::string description(what);
  IErrorInfo* info = nullptr;
  if (GetErrorInfo(0, &info) == 0 && info != nullptr) {
    win::Bstr text;
    if (SUCCEEDED(info->GetDescription(text.put())) && text.get() != nullptr &&
        SysStringLen(text.get()) > 0) {
      description = text.utf8();
      while (!description.empty() && (description.back() == '\n' || description.back() == '\r')) {
        description.pop_back();
      }
    }
    info->Release();
  }
  throw Failure::FromStatus(static_cast<uint32_t>(hr), std::move(description));
}

IXMLDOMNode* NodeOf(const XmlElement& element) {
  Node* n = XmlBackend::Of(element);
  if (n == nullptr) throw Failure::ObjectNotSet();
  return n->node.Get();
}

Store& StoreOf(const XmlElement& element) {
  Node* n = XmlBackend::Of(element);
  if (n == nullptr) throw Failure::ObjectNotSet();
  return *n->store;
}

std::string NodeName(IXMLDOMNode* node) {
  win::Bstr name;
  Check(node->get_nodeName(name.put()), "The node's name could not be read");
  return name.utf8();
}

std::string NodeValue(IXMLDOMNode* node) {
  VARIANT v;
  VariantInit(&v);
  Check(node->get_nodeValue(&v), "The node's value could not be read");
  std::string out = v.vt == VT_BSTR ? win::Narrow(v.bstrVal) : std::string();
  VariantClear(&v);
  // Some builds of the engine hand a parsed line end back as CR LF; the document
  // holds a line feed there, as every XML parser leaves it.
  for (size_t at = out.find("\r\n"); at != std::string::npos; at = out.find("\r\n", at)) {
    out.erase(at, 1);
  }
  return out;
}

DOMNodeType TypeOf(IXMLDOMNode* node) {
  DOMNodeType type = NODE_INVALID;
  Check(node->get_nodeType(&type), "The node's type could not be read");
  return type;
}

}  // namespace msxml

XmlElement ForeignNodes::Wrap(IXMLDOMNode* node) {
  return store_.HandleFor(win::ComPtr<IXMLDOMNode>(node));
}

}  // namespace quillor
