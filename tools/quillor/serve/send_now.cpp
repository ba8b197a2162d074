#include "tools/quillor/serve/send_now.h"

#include <sys/socket.h>
#include <sys/uio.h>

#include <array>
#include <cerrno>

namespace quillor::serve {

SentNow SendNow(int socket, std::string_view head, std::string_view body) {
  std::array<iovec, 2> pieces = {iovec{const_cast<char*>(head.data()), head.size()},
                                 iovec{const_cast<char*>(body.data()), body.size()}};
  msghdr message{};
  message.msg_iov = pieces.data();
  message.msg_iovlen = body.empty() ? 1 : 2;
  ssize_t sent = 0;
  do {
    sent = ::sendmsg(socket, &message, MSG_NOSIGNAL | MSG_DONTWAIT);
  } while (sent < 0 && errno == EINTR);
  SentNow result;
  result.failed = sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK;
  result.taken = sent < 0 ? 0 : static_cast<size_t>(sent);
  return result;
}

}  // namespace quillor::serve
