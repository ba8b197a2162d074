// One built release library's C interface, opened with dlopen and its functions
// found by name with the types of include/quillor/quillor.h alone, as ctypes or
// cgo find them: what the tests of the interface call.
#pragma once

#include <dlfcn.h>

#include <string>
#include <utility>
#include <vector>

#include "quillor/quillor.h"
#include "testing/built_tree.h"

namespace quillor::testing {

struct CInterfaceLibrary {
  explicit CInterfaceLibrary(const std::string& release)
      : handle(dlopen(BuiltLibraryResolved(release).c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (!handle) return;
    Find(api_version, "quillor_api_version");
    Find(release_of, "quillor_release");
    Find(create, "quillor_create");
    Find(destroy, "quillor_destroy");
    Find(set_page_receiver, "quillor_set_page_receiver");
    Find(set_page_refusal, "quillor_set_page_refusal");
    Find(call_create, "quillor_call_create");
    Find(call_destroy, "quillor_call_destroy");
    Find(set_request_bound, "quillor_call_set_request_bound");
    Find(request_stop, "quillor_request_stop");
    Find(set_item_receiver, "quillor_call_set_item_receiver");
    Find(set_trace_receiver, "quillor_call_set_trace_receiver");
    Find(set_read_receiver, "quillor_call_set_read_receiver");
    Find(facts, "quillor_facts");
    Find(pool_counts, "quillor_pool_counts");
    Find(check_database, "quillor_check_database");
    Find(transact, "quillor_transact");
    Find(free_text, "quillor_free");
  }
  ~CInterfaceLibrary() {
    if (handle) dlclose(handle);
  }
  CInterfaceLibrary(const CInterfaceLibrary&) = delete;
  CInterfaceLibrary& operator=(const CInterfaceLibrary&) = delete;

  // One call: its status, and the reply as text ("" when none came).
  std::pair<int32_t, std::string> Transact(quillor_t* object, const quillor_call_t* call,
                                           const std::string& request,
                                           const std::string& connection) const {
    char* reply = nullptr;
    size_t length = 0;
    const int32_t status = transact(object, call, request.data(), request.size(), connection.data(),
                                    connection.size(), &reply, &length);
    std::string text = reply ? std::string(reply, length) : std::string();
    free_text(reply);
    return {status, std::move(text)};
  }
  // The reply alone.
  std::string Reply(quillor_t* object, const quillor_call_t* call, const std::string& request,
                    const std::string& connection) const {
    return Transact(object, call, request, connection).second;
  }

  void* handle;
  std::vector<std::string> missing;  // the functions not found
  decltype(&quillor_api_version) api_version = nullptr;
  decltype(&quillor_release) release_of = nullptr;
  decltype(&quillor_create) create = nullptr;
  decltype(&quillor_destroy) destroy = nullptr;
  decltype(&quillor_set_page_receiver) set_page_receiver = nullptr;
  decltype(&quillor_set_page_refusal) set_page_refusal = nullptr;
  decltype(&quillor_call_create) call_create = nullptr;
  decltype(&quillor_call_destroy) call_destroy = nullptr;
  decltype(&quillor_call_set_request_bound) set_request_bound = nullptr;
  decltype(&quillor_request_stop) request_stop = nullptr;
  decltype(&quillor_call_set_item_receiver) set_item_receiver = nullptr;
  decltype(&quillor_call_set_trace_receiver) set_trace_receiver = nullptr;
  decltype(&quillor_call_set_read_receiver) set_read_receiver = nullptr;
  decltype(&quillor_facts) facts = nullptr;
  decltype(&quillor_pool_counts) pool_counts = nullptr;
  decltype(&quillor_check_database) check_database = nullptr;
  decltype(&quillor_transact) transact = nullptr;
  decltype(&quillor_free) free_text = nullptr;

 private:
  template <typename F>
  void Find(F& function, const char* name) {
    function = reinterpret_cast<F>(dlsym(handle, name));
    if (!function) missing.push_back(name);
  }
};

}  // namespace quillor::testing
