#include "tools/quillor/page_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace quillor {

namespace {

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

}  // namespace

PageWriter::PageWriter(std::string dir, std::ostream& progress)
    : dir_(std::move(dir)), progress_(progress) {}

std::optional<std::string> PageWriter::Write(std::string_view page, int32_t number, int32_t count) {
  const std::string path = dir_ + "/page-" + std::to_string(number) + ".xml";
  if (const std::string why = WritePageWhole(path, page); !why.empty()) {
    return "cannot write " + path + ": " + why;
  }
  progress_ << "page " << number << " of " << count << "\n";
  return std::nullopt;
}

}  // namespace quillor
