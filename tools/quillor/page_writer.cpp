#include "tools/quillor/page_writer.h"

#include <cmath>
#include <fstream>
#include <optional>

#include "platform/base/failure.h"
#include "tools/quillor/page_receiver.h"

namespace quillor {

namespace {

using com::HRESULT;

std::optional<long> WholeNumber(const com::Variant& v) {
  if (v.Holds<int32_t>()) return v.Get<int32_t>();
  if (v.Holds<double>() && std::isfinite(v.Get<double>())) {
    return std::lround(v.Get<double>());
  }
  if (v.Holds<std::string>()) {
    try {
      return std::stol(v.Get<std::string>());
    } catch (...) {
      return std::nullopt;
    }
  }
  return std::nullopt;
}

class PageWriter final : public PageReceiver {
 public:
  PageWriter(std::string dir, std::ostream& progress) : dir_(std::move(dir)), progress_(progress) {}

  HRESULT ProcessExport(std::vector<com::Variant>& args, com::Variant* result,
                        com::ExceptionInfo* exception) override {
    const auto page = WholeNumber(args[1]);
    const auto count = WholeNumber(args[2]);
    if (!args[0].Holds<std::string>() || !page || !count) return com::DISP_E_TYPEMISMATCH;

    const std::string path = dir_ + "/page-" + std::to_string(*page) + ".xml";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << args[0].Get<std::string>();
    out.close();
    if (!out) {
      if (exception) {
        exception->number = failure_numbers::kFail;
        exception->description = "[Quillor] cannot write " + path;
      }
      return com::DISP_E_EXCEPTION;
    }
    progress_ << "page " << *page << " of " << *count << "\n";
    if (result) *result = com::Variant(true);
    return com::S_OK;
  }

 private:
  ~PageWriter() = default;

  const std::string dir_;
  std::ostream& progress_;
};

}  // namespace

com::ComPtr<com::IDispatch> MakePageWriter(std::string dir, std::ostream& progress) {
  return com::ComPtr<com::IDispatch>::Adopt(new PageWriter(std::move(dir), progress));
}

}  // namespace quillor
