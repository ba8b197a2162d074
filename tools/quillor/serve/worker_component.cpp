#include "tools/quillor/serve/worker_component.h"

namespace quillor::serve {

WorkerComponent::WorkerComponent(const ReleaseProfile& profile, const std::string& library,
                                 SessionCall call)
    : session_(ComponentSession::Open(profile, library)), call_(std::move(call)) {}

int32_t WorkerComponent::Transact(const std::string& request, const std::string& connection_text,
                                  PageHandler pages, std::string* reply) {
  const bool want_pages = pages && hands_out_pages();
  if (want_pages || pages_set_) {
    // The object keeps its receiver from call to call: it is set for a paged
    // call, and taken back when a call without pages follows one.
    SessionPageHandler handler;
    if (want_pages) {
      handler = [pages](std::string_view page, int32_t& number,
                        int32_t& count) -> std::optional<std::string> {
        if (pages(std::string(page), number, count)) return std::nullopt;
        return "the page could not be sent to the client";
      };
    }
    const int32_t status = session_.SetPageHandler(std::move(handler));
    if (status < 0) return status;
    pages_set_ = want_pages;
  }
  return session_.Transact(request, connection_text, reply, call_);
}

}  // namespace quillor::serve
