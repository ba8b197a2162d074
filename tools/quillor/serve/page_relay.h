// The caller object a worker registers with its component object: every result
// page handed to ProcessExport goes to the page handler of the request being
// served. A page that arrives when no handler is set is refused.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/com/dispatch.h"

namespace quillor::serve {

// Returns false when the page could not be passed on (the client went away).
using PageHandler = std::function<bool(const std::string& page, int32_t number, int32_t count)>;

class PageRelay {
 public:
  PageRelay();
  com::IDispatch* object() const { return object_.Get(); }
  void set_handler(PageHandler handler);

  struct Target;  // what the object passes pages to

 private:
  std::shared_ptr<Target> target_;
  com::ComPtr<com::IDispatch> object_;
};

}  // namespace quillor::serve
