#include "component/deliverable/windows/class_object.h"

#include "component/deliverable/windows/material_object.h"
#include "platform/com/class_object_support.h"

namespace quillor::win {

namespace {

class ClassObject final : public IClassFactory {
 public:
  explicit ClassObject(const ReleaseProfile& profile) : profile_(profile) {
    ++com::LiveObjectCount();
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return com::E_POINTER;
    *out = nullptr;
    if (iid != IID_IUnknown && iid != IID_IClassFactory) return com::E_NOINTERFACE;
    *out = static_cast<IClassFactory*>(this);
    AddRef();
    return com::S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return refs_.Increment(); }
  ULONG STDMETHODCALLTYPE Release() override {
    return refs_.Release([this] { delete this; });
  }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (out == nullptr) return com::E_POINTER;
    *out = nullptr;
    if (outer != nullptr) return com::CLASS_E_NOAGGREGATION;
    return CreateMaterialObject(profile_, iid, out);
  }

  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override { return locks_.Change(lock != FALSE); }

 private:
  ~ClassObject() { --com::LiveObjectCount(); }

  const ReleaseProfile& profile_;
  com::RefCount refs_;
  static inline com::ServerLocks locks_;
};

}  // namespace

HRESULT GetMaterialClassObject(const ReleaseProfile& profile, REFIID iid, void** out) {
  return com::HandOutNew([&profile] { return new ClassObject(profile); }, iid, out);
}

}  // namespace quillor::win
