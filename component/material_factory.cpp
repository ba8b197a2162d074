#include "component/material_factory.h"

#include "component/imaterial.h"

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
    try {
      com::ComPtr<IMaterial> object = IMaterial::Create(profile_);
      // The caller's reference comes from QueryInterface; ours goes with `object`.
      return object->QueryInterface(iid, out);
    } catch (const std::bad_alloc&) {
      return com::E_OUTOFMEMORY;
    } catch (...) {
      return com::E_FAIL;
    }
  }

  HRESULT LockServer(bool lock) override {
    if (lock) {
      ++com::LiveObjectCount();
      ++locks_;
    } else {
      // An unlock without a lock of this class object changes nothing.
      long held = locks_.load();
      while (held > 0 && !locks_.compare_exchange_weak(held, held - 1)) {
      }
      if (held <= 0) return com::E_FAIL;
      --com::LiveObjectCount();
    }
    return com::S_OK;
  }

 private:
  bool AnswersTo(const com::Guid& iid) const override { return iid == com::kIID_IClassFactory; }
  ~MaterialFactory() { --com::LiveObjectCount(); }

  const ReleaseProfile& profile_;
  // Server locks taken through this class object; they outlive it, as locks do.
  static inline std::atomic<long> locks_{0};
};

}  // namespace

com::ComPtr<com::IClassFactory> MakeClassFactory(const ReleaseProfile& profile) {
  return com::ComPtr<com::IClassFactory>::Adopt(new MaterialFactory(profile));
}

}  // namespace quillor
