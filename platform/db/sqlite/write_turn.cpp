#include "platform/db/sqlite/write_turn.h"

#include <map>

#include "platform/base/fork_guard.h"

namespace quillor::sqlite {

namespace {

struct Registry {
  std::mutex mutex;
  std::map<std::string, std::weak_ptr<std::timed_mutex>> turns;
};

// Never destroyed: connections may outlive static destruction.
Registry*& TheRegistry() {
  static Registry* registry = [] {
    // A child of fork starts with turns of its own: a turn that another thread
    // of the parent held would otherwise stay taken in the child for ever. The
    // parent's registry is left behind on purpose (its mutex may be held).
    AddForkHandlers(ForkRank::kEngine, {[] {}, [] {}, [] { TheRegistry() = new Registry(); }});
    return new Registry();
  }();
  return registry;
}

}  // namespace

std::shared_ptr<std::timed_mutex> WriteTurns::ForFile(const std::string& path) {
  Registry& registry = *TheRegistry();
  const std::lock_guard lock(registry.mutex);
  std::weak_ptr<std::timed_mutex>& entry = registry.turns[path];
  std::shared_ptr<std::timed_mutex> turn = entry.lock();
  if (!turn) {
    turn = std::make_shared<std::timed_mutex>();
    entry = turn;
  }
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
