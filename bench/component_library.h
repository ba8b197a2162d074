// The release library the bench calls, reached as any host reaches it: opened
// with dlopen, its functions found by name, and nothing but the C interface of
// include/quillor/quillor.h between them. No code of the component is linked into
// the bench, so what it measures is what a host's call costs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "quillor/quillor.h"

namespace quillor::bench {

// The functions of the interface the bench calls.
struct ComponentFunctions {
  decltype(&quillor_api_version) api_version = nullptr;
  decltype(&quillor_release) release = nullptr;
  decltype(&quillor_create) create = nullptr;
  decltype(&quillor_destroy) destroy = nullptr;
  decltype(&quillor_set_page_receiver) set_page_receiver = nullptr;
  decltype(&quillor_call_create) call_create = nullptr;
  decltype(&quillor_call_destroy) call_destroy = nullptr;
  decltype(&quillor_call_set_trace_receiver) set_trace_receiver = nullptr;
  decltype(&quillor_transact) transact = nullptr;
  decltype(&quillor_init_database) init_database = nullptr;
  decltype(&quillor_free) free_text = nullptr;
};

// One loaded library; closed when the last object, text or holder of it is gone.
class ComponentLibrary {
 public:
  // The library at `path`, which must serve `release` and implement this
  // header's version of the interface; anything else is a std::runtime_error
  // that names the file and what is wrong with it.
  static std::shared_ptr<const ComponentLibrary> Load(const std::string& path,
                                                      std::string_view release);
  ~ComponentLibrary();
  ComponentLibrary(const ComponentLibrary&) = delete;
  ComponentLibrary& operator=(const ComponentLibrary&) = delete;

  const ComponentFunctions& functions() const { return f_; }
  const std::string& path() const { return path_; }

  // The host database of a connection text made ready (quillor_init_database,
  // no sample rows): the library's report. A failure is a std::runtime_error in
  // the report's words.
  std::string InitDatabase(std::string_view connection) const;

 private:
  ComponentLibrary(std::string path, void* handle);
  template <typename F>
  void Find(F& function, const char* name);

  std::string path_;
  void* handle_;
  ComponentFunctions f_;
};

// A text the library handed out (a reply), read in place and freed by the
// library that made it: a long reply is never copied.
class LibraryText {
 public:
  LibraryText(std::shared_ptr<const ComponentLibrary> library, char* text, size_t length);
  ~LibraryText();
  LibraryText(LibraryText&& other) noexcept;
  LibraryText& operator=(LibraryText&&) = delete;
  LibraryText(const LibraryText&) = delete;
  LibraryText& operator=(const LibraryText&) = delete;

  std::string_view view() const { return {text_ ? text_ : "", length_}; }

 private:
  std::shared_ptr<const ComponentLibrary> library_;
  char* text_;
  size_t length_;
};

// One call's outcome: the component's status and its reply ("" when it gave none).
struct CallReply {
  int32_t status;
  LibraryText text;
};

// Receives each statement's trace line (one JSON object, no line end).
using TraceReceiver = std::function<void(std::string_view line)>;
// Receives each page of a paged QUERY, which it takes as it is.
using PageReceiver = std::function<void(std::string_view page)>;

// One object of the library's release, used on the thread that created it.
class ComponentObject {
 public:
  // A std::runtime_error when the library cannot make one.
  explicit ComponentObject(std::shared_ptr<const ComponentLibrary> library);
  ~ComponentObject();
  ComponentObject(const ComponentObject&) = delete;
  ComponentObject& operator=(const ComponentObject&) = delete;

  // One Transact call; with `trace`, the call is traced to it.
  CallReply Transact(std::string_view request, std::string_view connection,
                     const TraceReceiver& trace = {});
  // Registers the receiver of result pages (empty: none); the library's status.
  int32_t SetPageReceiver(PageReceiver receiver);

 private:
  std::shared_ptr<const ComponentLibrary> library_;
  quillor_t* object_;
  PageReceiver pages_;  // handed to the library by address
};

}  // namespace quillor::bench
