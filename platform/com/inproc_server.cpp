#include "platform/com/inproc_server.h"

#include <dlfcn.h>

#include <utility>

#include "platform/base/failure.h"

namespace quillor::com {

namespace {

std::string DlError() {
  const char* e = dlerror();
  return e ? e : "unknown error";
}

template <class Fn>
Fn Symbol(void* handle, const char* name, const std::string& path) {
  dlerror();
  void* p = dlsym(handle, name);
  if (!p) {
    throw Failure(failure_numbers::kFail,
                  "[Quillor] " + path + " lacks " + name + ": " + DlError());
  }
  return reinterpret_cast<Fn>(p);
}

}  // namespace

InprocServer InprocServer::Load(const std::string& path) {
  InprocServer server;
  server.path_ = path;
  server.handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!server.handle_) {
    throw Failure(failure_numbers::kFail, "[Quillor] cannot load " + path + ": " + DlError());
  }
  // From here the destructor closes the handle on any failure.
  server.register_ = Symbol<DllRegisterServerFn>(server.handle_, "DllRegisterServer", path);
  server.unregister_ = Symbol<DllUnregisterServerFn>(server.handle_, "DllUnregisterServer", path);
  server.get_class_object_ = Symbol<DllGetClassObjectFn>(server.handle_, "DllGetClassObject", path);
  server.can_unload_ = Symbol<DllCanUnloadNowFn>(server.handle_, "DllCanUnloadNow", path);
  return server;
}

InprocServer::~InprocServer() {
  if (handle_) dlclose(handle_);
}

InprocServer::InprocServer(InprocServer&& o) noexcept
    : handle_(std::exchange(o.handle_, nullptr)),
      path_(std::move(o.path_)),
      register_(o.register_),
      unregister_(o.unregister_),
      get_class_object_(o.get_class_object_),
      can_unload_(o.can_unload_) {}

InprocServer& InprocServer::operator=(InprocServer&& o) noexcept {
  if (this != &o) {
    if (handle_) dlclose(handle_);
    handle_ = std::exchange(o.handle_, nullptr);
    path_ = std::move(o.path_);
    register_ = o.register_;
    unregister_ = o.unregister_;
    get_class_object_ = o.get_class_object_;
    can_unload_ = o.can_unload_;
  }
  return *this;
}

void* InprocServer::FindExport(const char* name) const {
  return handle_ ? dlsym(handle_, name) : nullptr;
}

ComPtr<IClassFactory> InprocServer::GetClassObject(const Guid& clsid) const {
  ComPtr<IClassFactory> factory;
  const HRESULT hr =
      get_class_object_(&clsid, &kIID_IClassFactory, reinterpret_cast<void**>(factory.Put()));
  if (Failed(hr)) {
    throw Failure::FromStatus(
        static_cast<uint32_t>(hr),
        "[Quillor] " + path_ + " has no class object for " + clsid.ToString());
  }
  return factory;
}

}  // namespace quillor::com
