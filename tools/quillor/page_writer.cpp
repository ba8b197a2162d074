#include "tools/quillor/page_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>

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

// A descriptor closed on every way out.
struct OwnedFile {
  int fd;
  ~OwnedFile() {
    if (fd >= 0) ::close(fd);
  }
  // False, with errno set, when closing reports a failure (a delayed write error).
  bool Close() {
    const int closing = fd;
    fd = -1;
    return ::close(closing) == 0;
  }
};

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// The page goes to a temporary name beside its own and takes its name only when
// it is whole on disk, so that a full disk never leaves a part of a page under a
// page's name (and an earlier page of that number stays until then). Nothing of
// a failed page is left behind. The empty text on success, else why not.
std::string WritePageWhole(const std::string& path, std::string_view content) {
  const std::string temporary = path + ".part-" + std::to_string(::getpid());
  OwnedFile file{::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)};
  if (file.fd < 0) return std::strerror(errno);
  std::string why;
  if (!WriteAll(file.fd, content) || ::fsync(file.fd) != 0 || !file.Close() ||
      std::rename(temporary.c_str(), path.c_str()) != 0) {
    why = std::strerror(errno);
    std::remove(temporary.c_str());
  }
  return why;
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
    if (const std::string why = WritePageWhole(path, args[0].Get<std::string>()); !why.empty()) {
      if (exception) {
        exception->number = failure_numbers::kFail;
        exception->description = "[Quillor] cannot write " + path + ": " + why;
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
