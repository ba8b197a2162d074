#include "component/deliverable/windows/class_object.h"

#include <atomic>
#include <new>

#include "component/deliverable/windows/material_object.h"
#include "platform/com/unknown.h"

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
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    if (out == nullptr) return com::E_POINTER;
    *out = nullptr;
    if (outer != nullptr) return com::CLASS_E_NOAGGREGATION;
    return CreateMaterialObject(profile_, iid, out);
  }

  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      ++com::LiveObjectCount();
      ++locks_;
      return com::S_OK;
    }
    // An unlock without a lock changes nothing.
    long held = locks_.load();
    while (held > 0 && !locks_.compare_exchange_weak(held, held - 1)) {
    }
    if (held <= 0) return com::E_FAIL;
    --com::LiveObjectCount();
    return com::S_OK;
  }

 private:
  ~ClassObject() { --com::LiveObjectCount(); }

  const ReleaseProfile& profile_;
  LONG refs_ = 1;
  static inline std::atomic<long> locks_{0};
};

}  // namespace

HRESULT GetMaterialClassObject(const ReleaseProfile& profile, REFIID iid, void** out) {
  if (out == nullptr) return com::E_POINTER;
  *out = nullptr;
  try {
    auto* object = new ClassObject(profile);
    const HRESULT hr = object->QueryInterface(iid, out);
    object->Release();
    return hr;
  } catch (const std::bad_alloc&) {
    return com::E_OUTOFMEMORY;
  }
}

}  // namespace quillor::win
