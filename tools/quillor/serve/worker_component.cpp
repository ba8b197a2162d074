#include "tools/quillor/serve/worker_component.h"

namespace quillor::serve {

WorkerComponent::WorkerComponent(const ReleaseProfile& profile, const std::string& library)
    : session_(ComponentSession::Open(profile, library)) {}

com::HRESULT WorkerComponent::Transact(const std::string& request,
                                       const std::string& connection_text, PageHandler pages,
                                       std::string* reply) {
  const bool want_relay = pages && hands_out_pages();
  if (want_relay != relay_registered_) {
    // The object keeps its caller from call to call: it is set, or taken back
    // (an empty caller), only when the kind of request changes.
    const com::HRESULT hr = session_.RegisterCaller(want_relay ? relay_.object() : nullptr);
    if (com::Failed(hr)) return hr;
    relay_registered_ = want_relay;
  }
  relay_.set_handler(std::move(pages));
  const com::HRESULT hr = session_.Transact(request, connection_text, reply);
  relay_.set_handler(nullptr);
  return hr;
}

}  // namespace quillor::serve
