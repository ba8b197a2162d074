// The base of every interface, a smart pointer that holds one reference, and a
// reference-counting helper for implementations.
//
// Interfaces are C++ classes of pure virtual functions; they cross the library
// boundary by their table of functions, built by the same toolchain on both sides.
// Texts cross as UTF-8 std::string.
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>

#include "platform/base/hresult.h"
#include "platform/com/guid.h"

namespace quillor::com {

struct IUnknown {
  virtual HRESULT QueryInterface(const Guid& iid, void** out) = 0;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;

 protected:
  ~IUnknown() = default;
};

inline const Guid kIID_IUnknown = Guid::FromString("{00000000-0000-0000-C000-000000000046}");
inline const Guid kIID_IDispatch = Guid::FromString("{00020400-0000-0000-C000-000000000046}");
inline const Guid kIID_IClassFactory = Guid::FromString("{00000001-0000-0000-C000-000000000046}");

// Holds one reference to an interface.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}  // NOLINT(google-explicit-constructor)
  // Takes a new reference to p.
  explicit ComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  // Adopts a reference that the caller already owns.
  static ComPtr Adopt(T* p) {
    ComPtr r;
    r.p_ = p;
    return r;
  }
  ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ComPtr& operator=(ComPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~ComPtr() { Reset(); }

  void Reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  T* Get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // Releases the current reference and returns an out-parameter slot.
  T** Put() {
    Reset();
    return &p_;
  }
  T* Detach() { return std::exchange(p_, nullptr); }

  template <class U>
  ComPtr<U> As(const Guid& iid) const {
    ComPtr<U> out;
    if (p_) p_->QueryInterface(iid, reinterpret_cast<void**>(out.Put()));
    return out;
  }

 private:
  T* p_ = nullptr;
};

// The reference count of an implementation object.
class RefCount {
 public:
  uint32_t Increment() { return ++count_; }
  uint32_t Decrement() { return --count_; }
  // Drops one reference; when it was the last, `destroy` deletes the object.
  template <class Destroy>
  uint32_t Release(Destroy destroy) {
    const uint32_t left = Decrement();
    if (left == 0) destroy();
    return left;
  }

 private:
  std::atomic<uint32_t> count_{1};
};

// The IUnknown part of an object that implements one interface I: a reference
// count that deletes the object at zero, and QueryInterface answering to IUnknown
// and to whatever further IIDs the object says it answers to.
template <class I>
class Implements : public I {
 public:
  HRESULT QueryInterface(const Guid& iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (iid == kIID_IUnknown || AnswersTo(iid)) {
      *out = static_cast<I*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  uint32_t AddRef() override { return refs_.Increment(); }
  uint32_t Release() override {
    return refs_.Release([this] { delete this; });
  }

 protected:
  Implements() = default;
  virtual ~Implements() = default;
  virtual bool AnswersTo(const Guid& iid) const = 0;

 private:
  RefCount refs_;
};

// Counts live objects and server locks, for DllCanUnloadNow.
std::atomic<long>& LiveObjectCount();

}  // namespace quillor::com
