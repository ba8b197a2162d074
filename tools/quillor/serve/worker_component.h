// The component object of one worker thread: created on that thread, used only
// there, one request at a time, and kept for the thread's life.
#pragma once

#include <string>

#include "tools/quillor/component_session.h"
#include "tools/quillor/serve/page_relay.h"

namespace quillor::serve {

class WorkerComponent {
 public:
  // Loads the library and creates the object; a failure is a quillor::Failure.
  WorkerComponent(const ReleaseProfile& profile, const std::string& library);

  // Transact on the worker's object. With a page handler, the worker's page
  // relay is the registered caller for this call and receives the pages; without
  // one, no caller is registered, so the reply carries every row.
  com::HRESULT Transact(const std::string& request, const std::string& connection_text,
                        PageHandler pages, std::string* reply);

  bool hands_out_pages() const { return session_.profile().caller_registration; }

 private:
  ComponentSession session_;
  PageRelay relay_;
  bool relay_registered_ = false;
};

}  // namespace quillor::serve
