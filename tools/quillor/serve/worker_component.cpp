#include "tools/quillor/serve/worker_component.h"

namespace quillor::serve {

WorkerComponent::WorkerComponent(std::string_view release, const std::string& library,
                                 SessionCall call)
    : session_(ComponentSession::Open(release, library)), call_(std::move(call)) {}

int32_t WorkerComponent::Transact(const std::string& request, const std::string& connection_text,
                                  const WorkerCall& with, std::string* reply, SessionFacts* facts) {
  const bool want_pages = with.pages && hands_out_pages();
  if (want_pages != pages_set_) {
    // The object keeps its receiver from call to call: it is set at the first
    // call with pages, and taken back when a call without them follows.
    SessionPageHandler handler;
    if (want_pages) {
      handler = [this](std::string_view page, int32_t& number,
                       int32_t& count) -> std::optional<std::string> {
        if (pages_ && (*pages_)(page, number, count, session_.PageRows())) return std::nullopt;
        return "the page could not be sent to the client";
      };
    }
    const int32_t status = session_.SetPageHandler(std::move(handler));
    if (status < 0) return status;
    pages_set_ = want_pages;
  }
  struct Running {
    const PageHandler*& pages;
    ~Running() { pages = nullptr; }
  } running{pages_};
  pages_ = want_pages ? &with.pages : nullptr;
  call_.item = with.items;
  const int32_t status = session_.Transact(request, connection_text, reply, call_);
  call_.item = nullptr;
  if (facts) *facts = session_.Facts();
  return status;
}

}  // namespace quillor::serve
