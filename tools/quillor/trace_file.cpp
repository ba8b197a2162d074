#include "tools/quillor/trace_file.h"

#include <fcntl.h>
#include <unistd.h>

namespace quillor {

std::function<void(std::string_view line)> TraceFileAppender(std::string path) {
  return [path = std::move(path)](std::string_view line) {
    std::string whole(line);
    whole += '\n';
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    const ssize_t written = ::write(fd, whole.data(), whole.size());
    (void)written;
    ::close(fd);
  };
}

}  // namespace quillor
