#include "platform/db/sqlite/write_turn.h"

#include <map>

#include "platform/base/fork_guard.h"

namespace quillor::sqlite {

namespace {

// Destroyed when the library unloads, as the connection pool is. A fork waits
// until no call is inside the library, so no turn is held then and the
// registry's lock is free; the child still starts with turns of its own.
struct Registry {
  Registry()
      : fork_handlers(
            AddForkHandlers(ForkRank::kEngine, {[] {}, [] {}, [this] { turns.clear(); }})) {}
  ~Registry() { RemoveForkHandlers(fork_handlers); }
  Registry(const Registry&) = delete;
  Registry& operator=(const Registry&) = delete;

  std::mutex mutex;
  std::map<std::string, std::weak_ptr<std::timed_mutex>> turns;
  uint64_t fork_handlers;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

std::shared_ptr<std::timed_mutex> WriteTurns::ForFile(const std::string& path) {
  Registry& registry = TheRegistry();
  const std::lock_guard lock(registry.mutex);
  if (std::shared_ptr<std::timed_mutex> turn = registry.turns[path].lock()) return turn;
  // A new turn: the files no connection holds any more go first.
  std::erase_if(registry.turns, [](const auto& entry) { return entry.second.expired(); });
  auto turn = std::make_shared<std::timed_mutex>();
  registry.turns[path] = turn;
  return turn;
}

void WriteTurn::Take(std::chrono::milliseconds most) {
  if (hold_.owns_lock() || !turn_) return;
  std::unique_lock<std::timed_mutex> hold(*turn_, std::defer_lock);
  if (hold.try_lock_for(most)) hold_ = std::move(hold);
}

void WriteTurn::Release() {
  if (hold_.owns_lock()) hold_.unlock();
}

}  // namespace quillor::sqlite
