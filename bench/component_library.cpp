#include "bench/component_library.h"

#include <dlfcn.h>

#include <stdexcept>
#include <utility>

namespace quillor::bench {

namespace {

[[noreturn]] void Fail(const std::string& path, const std::string& why) {
  throw std::runtime_error(path + ": " + why);
}

void ReceiveTrace(void* state, const char* line, size_t length) {
  try {
    (*static_cast<const TraceReceiver*>(state))(std::string_view(line, length));
  } catch (...) {  // nothing unwinds through the library
  }
}

int32_t ReceivePage(void* state, const char* page, size_t length, int32_t*, int32_t*) {
  try {
    (*static_cast<const PageReceiver*>(state))(std::string_view(page, length));
    return 0;
  } catch (...) {  // a receiver that fails refuses the page, as the interface has it
    return 1;
  }
}

}  // namespace

ComponentLibrary::ComponentLibrary(std::string path, void* handle)
    : path_(std::move(path)), handle_(handle) {}

ComponentLibrary::~ComponentLibrary() { dlclose(handle_); }

template <typename F>
void ComponentLibrary::Find(F& function, const char* name) {
  function = reinterpret_cast<F>(dlsym(handle_, name));
  if (!function) Fail(path_, std::string("does not export ") + name);
}

std::shared_ptr<const ComponentLibrary> ComponentLibrary::Load(const std::string& path,
                                                               std::string_view release) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    Fail(path, std::string("cannot be loaded: ") + (why ? why : "no reason given"));
  }
  // Owned from here on: a library found wanting is closed again as the failure leaves.
  std::shared_ptr<ComponentLibrary> library(new ComponentLibrary(path, handle));
  ComponentFunctions& f = library->f_;
  library->Find(f.api_version, "quillor_api_version");
  if (f.api_version() < QUILLOR_C_API_VERSION) {
    Fail(path, "implements version " + std::to_string(f.api_version()) +
                   " of the C interface, not " + std::to_string(QUILLOR_C_API_VERSION));
  }
  library->Find(f.release, "quillor_release");
  if (f.release() != release) {
    Fail(path, "serves release " + std::string(f.release()) + ", not " + std::string(release));
  }
  library->Find(f.create, "quillor_create");
  library->Find(f.destroy, "quillor_destroy");
  library->Find(f.set_page_receiver, "quillor_set_page_receiver");
  library->Find(f.call_create, "quillor_call_create");
  library->Find(f.call_destroy, "quillor_call_destroy");
  library->Find(f.set_trace_receiver, "quillor_call_set_trace_receiver");
  library->Find(f.transact, "quillor_transact");
  library->Find(f.init_database, "quillor_init_database");
  library->Find(f.free_text, "quillor_free");
  return library;
}

std::string ComponentLibrary::InitDatabase(std::string_view connection) const {
  char* report = nullptr;
  size_t length = 0;
  const int32_t status =
      f_.init_database(connection.data(), connection.size(), 0, &report, &length);
  std::string words(report ? report : "", report ? length : 0);
  f_.free_text(report);
  if (status < 0) throw std::runtime_error("the host database was not made ready: " + words);
  return words;
}

LibraryText::LibraryText(std::shared_ptr<const ComponentLibrary> library, char* text, size_t length)
    : library_(std::move(library)), text_(text), length_(text ? length : 0) {}

LibraryText::~LibraryText() {
  if (text_) library_->functions().free_text(text_);
}

LibraryText::LibraryText(LibraryText&& other) noexcept
    : library_(other.library_),
      text_(std::exchange(other.text_, nullptr)),
      length_(std::exchange(other.length_, 0)) {}

ComponentObject::ComponentObject(std::shared_ptr<const ComponentLibrary> library)
    : library_(std::move(library)), object_(library_->functions().create()) {
  if (!object_) Fail(library_->path(), "made no object");
}

ComponentObject::~ComponentObject() { library_->functions().destroy(object_); }

CallReply ComponentObject::Transact(std::string_view request, std::string_view connection,
                                    const TraceReceiver& trace) {
  const ComponentFunctions& f = library_->functions();
  std::unique_ptr<quillor_call_t, decltype(f.call_destroy)> call(nullptr, f.call_destroy);
  if (trace) {
    call.reset(f.call_create());
    if (!call) Fail(library_->path(), "made no call options");
    f.set_trace_receiver(call.get(), ReceiveTrace,
                         const_cast<void*>(static_cast<const void*>(&trace)));
  }
  char* reply = nullptr;
  size_t length = 0;
  const int32_t status = f.transact(object_, call.get(), request.data(), request.size(),
                                    connection.data(), connection.size(), &reply, &length);
  return {status, LibraryText(library_, reply, length)};
}

int32_t ComponentObject::SetPageReceiver(PageReceiver receiver) {
  pages_ = std::move(receiver);
  const ComponentFunctions& f = library_->functions();
  return pages_ ? f.set_page_receiver(object_, ReceivePage, &pages_)
                : f.set_page_receiver(object_, nullptr, nullptr);
}

}  // namespace quillor::bench
