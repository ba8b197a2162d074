#include "platform/db/sqlite/sqlite_hooks.h"

#include <atomic>

namespace quillor::sqlite {
namespace {

std::atomic<SqliteHooks*> g_hooks{nullptr};

}  // namespace

void InstallHooks(SqliteHooks* hooks) { g_hooks.store(hooks, std::memory_order_release); }

void HookBeforeStatement(std::string_view sql) {
  if (SqliteHooks* hooks = g_hooks.load(std::memory_order_acquire)) hooks->BeforeStatement(sql);
}

bool HookOpenReadOnly() {
  SqliteHooks* hooks = g_hooks.load(std::memory_order_acquire);
  return hooks != nullptr && hooks->OpenReadOnly();
}

}  // namespace quillor::sqlite
