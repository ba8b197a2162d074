#include "platform/xml/xml_node_list_object.h"

#include "platform/base/text.h"

namespace quillor {
namespace {

using com::HRESULT;

constexpr int32_t kLengthDispid = 74;

class NodeListObject final : public com::Implements<IXmlNodeList> {
 public:
  NodeListObject(std::shared_ptr<const XmlDocument> document, XmlNodeList elements)
      : document_(std::move(document)), elements_(std::move(elements)) {
    ++com::LiveObjectCount();
  }

  const XmlNodeList& Elements() const override { return elements_; }

  HRESULT GetIDsOfNames(std::string_view name, int32_t* dispid) override {
    if (dispid == nullptr) return com::E_POINTER;
    if (EqualsIgnoreCase(name, "length")) {
      *dispid = kLengthDispid;
      return com::S_OK;
    }
    return com::DISP_E_UNKNOWNNAME;
  }

  HRESULT Invoke(int32_t dispid, com::InvokeKind kind, std::vector<com::Variant>& args,
                 com::Variant* result, com::ExceptionInfo*) override {
    if (dispid != kLengthDispid || kind == com::InvokeKind::kPropertyPut) {
      return com::DISP_E_MEMBERNOTFOUND;
    }
    if (!args.empty()) return com::DISP_E_BADPARAMCOUNT;
    if (result) *result = com::Variant(static_cast<int32_t>(elements_.size()));
    return com::S_OK;
  }

 private:
  bool AnswersTo(const com::Guid& iid) const override {
    return iid == kIID_IXmlNodeList || iid == com::kIID_IDispatch;
  }
  ~NodeListObject() override { --com::LiveObjectCount(); }

  const std::shared_ptr<const XmlDocument> document_;
  const XmlNodeList elements_;
};

}  // namespace

com::ComPtr<IXmlNodeList> MakeNodeListObject(std::shared_ptr<const XmlDocument> document,
                                             XmlNodeList elements) {
  return com::ComPtr<IXmlNodeList>::Adopt(
      new NodeListObject(std::move(document), std::move(elements)));
}

}  // namespace quillor
