#include "tools/quillor/serve/page_relay.h"

#include <cmath>
#include <optional>

#include "platform/base/failure.h"
#include "tools/quillor/page_receiver.h"

namespace quillor::serve {

struct PageRelay::Target {
  PageHandler handler;
};

namespace {

using com::HRESULT;

std::optional<int32_t> WholeNumber(const com::Variant& v) {
  if (v.Holds<int32_t>()) return v.Get<int32_t>();
  if (v.Holds<double>() && std::isfinite(v.Get<double>()) && std::fabs(v.Get<double>()) < 2e9) {
    return static_cast<int32_t>(std::lround(v.Get<double>()));
  }
  return std::nullopt;
}

class RelayObject final : public PageReceiver {
 public:
  explicit RelayObject(std::shared_ptr<PageRelay::Target> target) : target_(std::move(target)) {}

  HRESULT ProcessExport(std::vector<com::Variant>& args, com::Variant* result,
                        com::ExceptionInfo* exception) override {
    const auto number = WholeNumber(args[1]);
    const auto count = WholeNumber(args[2]);
    if (!args[0].Holds<std::string>() || !number || !count) return com::DISP_E_TYPEMISMATCH;
    if (!target_->handler || !target_->handler(args[0].Get<std::string>(), *number, *count)) {
      if (exception) {
        exception->number = failure_numbers::kFail;
        exception->description = "[Quillor] the page could not be sent to the client";
      }
      return com::DISP_E_EXCEPTION;
    }
    if (result) *result = com::Variant(true);
    return com::S_OK;
  }

 private:
  std::shared_ptr<PageRelay::Target> target_;
};

}  // namespace

PageRelay::PageRelay()
    : target_(std::make_shared<Target>()),
      object_(com::ComPtr<com::IDispatch>::Adopt(new RelayObject(target_))) {}

void PageRelay::set_handler(PageHandler handler) { target_->handler = std::move(handler); }

}  // namespace quillor::serve
