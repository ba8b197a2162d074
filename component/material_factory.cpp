#include "component/material_factory.h"

#include "component/material_component.h"
#include "platform/com/class_object_support.h"

namespace quillor {

namespace {

using com::HRESULT;

class MaterialFactory final : public com::Implements<com::IClassFactory> {
 public:
  explicit MaterialFactory(const ReleaseProfile& profile) : profile_(profile) {
    ++com::LiveObjectCount();
  }

  HRESULT CreateInstance(com::IUnknown* outer, const com::Guid& iid, void** out) override {
    if (!out) return com::E_POINTER;
    *out = nullptr;
    if (outer) return com::CLASS_E_NOAGGREGATION;
    return com::HandOutNew([this] { return MaterialComponent::Create(profile_).Detach(); }, iid,
                           out);
  }

  HRESULT LockServer(bool lock) override { return locks_.Change(lock); }

 private:
  bool AnswersTo(const com::Guid& iid) const override { return iid == com::kIID_IClassFactory; }
  ~MaterialFactory() { --com::LiveObjectCount(); }

  const ReleaseProfile& profile_;
  static inline com::ServerLocks locks_;
};

}  // namespace

com::ComPtr<com::IClassFactory> MakeClassFactory(const ReleaseProfile& profile) {
  return com::ComPtr<com::IClassFactory>::Adopt(new MaterialFactory(profile));
}

}  // namespace quillor
