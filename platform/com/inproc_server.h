// Loads an in-process server library and reaches its four exports.
#pragma once

#include <string>

#include "platform/com/class_factory_interface.h"

namespace quillor::com {

// The exports every in-process server library provides.
extern "C" {
using DllRegisterServerFn = HRESULT (*)();
using DllUnregisterServerFn = HRESULT (*)();
using DllGetClassObjectFn = HRESULT (*)(const Guid* clsid, const Guid* iid, void** out);
using DllCanUnloadNowFn = HRESULT (*)();
}

// Owns the dlopen handle. Move-only; the library stays loaded while this lives.
class InprocServer {
 public:
  // A library that cannot be loaded, or lacks an export, is a quillor::Failure.
  static InprocServer Load(const std::string& path);
  ~InprocServer();
  InprocServer(InprocServer&&) noexcept;
  InprocServer& operator=(InprocServer&&) noexcept;
  InprocServer(const InprocServer&) = delete;
  InprocServer& operator=(const InprocServer&) = delete;

  HRESULT Register() const { return register_(); }
  HRESULT Unregister() const { return unregister_(); }
  HRESULT CanUnloadNow() const { return can_unload_(); }
  // The class factory for clsid; a failure status is a quillor::Failure.
  ComPtr<IClassFactory> GetClassObject(const Guid& clsid) const;

  const std::string& path() const { return path_; }

  // Another export of the library by name (QuillorPoolStats, say), or null.
  void* FindExport(const char* name) const;

 private:
  InprocServer() = default;
  void* handle_ = nullptr;
  std::string path_;
  DllRegisterServerFn register_ = nullptr;
  DllUnregisterServerFn unregister_ = nullptr;
  DllGetClassObjectFn get_class_object_ = nullptr;
  DllCanUnloadNowFn can_unload_ = nullptr;
};

}  // namespace quillor::com
