#include "tools/quillor/serve/open_files.h"

#include <sys/resource.h>

#include <algorithm>

namespace quillor::serve {

size_t ConnectionsWithin(uint64_t limit, size_t asked, size_t threads) {
  const uint64_t aside = kFixedDescriptors + kDescriptorsPerWorker * threads;
  if (limit <= aside + kDescriptorsPerConnection) return std::min<size_t>(asked, 1);
  const uint64_t room = (limit - aside) / kDescriptorsPerConnection;
  return static_cast<size_t>(std::min<uint64_t>(asked, room));
}

OpenFiles RaiseOpenFileLimit(size_t asked, size_t threads) {
  OpenFiles files;
  files.asked = asked;
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) {
    files.connections = asked;
    return files;
  }
  if (limit.rlim_cur < limit.rlim_max) {
    // A hard limit the kernel does not take as a soft one (unlimited) leaves
    // the soft limit as it was.
    const rlimit raised{limit.rlim_max, limit.rlim_max};
    if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit.rlim_cur = limit.rlim_max;
  }
  files.limit = limit.rlim_cur == RLIM_INFINITY ? UINT64_MAX : limit.rlim_cur;
  files.connections = ConnectionsWithin(files.limit, asked, threads);
  return files;
}

std::string ConnectionsPart(const OpenFiles& files) {
  std::string part = ", max connections " + std::to_string(files.connections);
  if (files.capped()) {
    part += " (" + std::to_string(files.asked) + " asked; the limit of " +
            std::to_string(files.limit) + " open files leaves room for " +
            std::to_string(files.connections) + ")";
  }
  return part;
}

}  // namespace quillor::serve
