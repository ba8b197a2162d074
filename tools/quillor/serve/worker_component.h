// The component object of one worker thread: created on that thread, used only
// there, one request at a time, and kept for the thread's life. It is reached
// through the C interface alone.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "tools/quillor/component_session.h"

namespace quillor::serve {

// Returns false when the page could not be passed on (the client went away).
using PageHandler = std::function<bool(const std::string& page, int32_t number, int32_t count)>;

class WorkerComponent {
 public:
  // Loads the library and creates the object; a failure is a quillor::Failure.
  // `call` is what every call of the worker is given (the trace receiver, say).
  WorkerComponent(const ReleaseProfile& profile, const std::string& library, SessionCall call = {});

  // Transact on the worker's object: the library's status. With a page handler,
  // the pages go to it for this call; without one, the reply carries every row.
  int32_t Transact(const std::string& request, const std::string& connection_text,
                   PageHandler pages, std::string* reply);

  bool hands_out_pages() const { return session_.profile().caller_registration; }

 private:
  ComponentSession session_;
  SessionCall call_;
  bool pages_set_ = false;
};

}  // namespace quillor::serve
