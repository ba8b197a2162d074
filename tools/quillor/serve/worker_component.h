// The component object of one worker thread: created on that thread, used only
// there, one request at a time, and kept for the thread's life. It is reached
// through the C interface alone.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "tools/quillor/component_session.h"

namespace quillor::serve {

// Returns false when the page could not be passed on (the client went away).
using PageHandler =
    std::function<bool(std::string_view page, int32_t number, int32_t count, int64_t rows)>;

// What one call hands back beside its reply.
struct WorkerCall {
  // A paged QUERY's pages, with the rows of each, as the component hands them
  // over; without one the reply carries every row.
  PageHandler pages;
  // Each line's outcome, when set (see quillor_item_t).
  std::function<void(const quillor_item_t& item)> items;
};

class WorkerComponent {
 public:
  // Loads the library and creates the object; a failure is a quillor::Failure.
  // `call` is what every call of the worker is given (the trace receiver, say).
  WorkerComponent(std::string_view release, const std::string& library, SessionCall call = {});

  // Transact on the worker's object: the library's status, the reply, and the
  // call's facts (which tell whether the rows went out in pages).
  int32_t Transact(const std::string& request, const std::string& connection_text,
                   const WorkerCall& with, std::string* reply, SessionFacts* facts);

  bool hands_out_pages() const { return session_.identity().pages; }
  const LibraryIdentity& identity() const { return session_.identity(); }

 private:
  ComponentSession session_;
  SessionCall call_;
  // The page handler of the call running, which the object's receiver (set once,
  // at the first call with pages) hands each page to.
  const PageHandler* pages_ = nullptr;
  bool pages_set_ = false;
};

}  // namespace quillor::serve
