#include "component/deliverable/handed_replies.h"

#include <cstdlib>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "platform/base/freed_memory.h"

namespace quillor::deliverable {

namespace {

// A reply at least this long leaves pages worth handing back once it is freed.
constexpr size_t kLongReplyBytes = 256 * 1024;

// The replies the host holds, by the address of their first byte. Each string
// lives in a node of its own, so that even a short reply (kept inside the string
// object itself) keeps its address until it is freed.
struct Handed {
  std::mutex mutex;
  std::unordered_map<const void*, std::unique_ptr<std::string>> replies;
};

// A static object, not a leaked one: a host that unloads the library leaves
// nothing behind.
Handed& Replies() {
  static Handed handed;
  return handed;
}

}  // namespace

char* HandOverReply(std::string text) {
  auto kept = std::make_unique<std::string>(std::move(text));
  char* bytes = kept->data();
  Handed& handed = Replies();
  const std::lock_guard<std::mutex> lock(handed.mutex);
  handed.replies.emplace(bytes, std::move(kept));
  return bytes;
}

void FreeHandedText(void* text) {
  if (!text) return;
  std::unique_ptr<std::string> reply;
  {
    Handed& handed = Replies();
    const std::lock_guard<std::mutex> lock(handed.mutex);
    const auto it = handed.replies.find(text);
    if (it != handed.replies.end()) {
      reply = std::move(it->second);
      handed.replies.erase(it);
    }
  }
  if (!reply) {
    std::free(text);
    return;
  }
  const bool long_reply = reply->size() >= kLongReplyBytes;
  reply.reset();
  // The host's reply was the last holder of these pages: they go back to the
  // system, as the component hands back those of its own large calls.
  if (long_reply) ReturnFreedMemory();
}

}  // namespace quillor::deliverable
