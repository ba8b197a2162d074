#include "platform/db/connection_pool.h"

#include <unistd.h>

#include "platform/base/fork_guard.h"
#include "platform/db/open_connection.h"
#include "platform/db/pool_shared.h"
#include "platform/db/relative_data_source.h"

namespace quillor {

namespace {

// What a call works on: the pool's connection, given back when the call lets go.
class PooledConnection final : public Connection {
 public:
  PooledConnection(std::shared_ptr<ConnectionPool::Shared> pool, std::string text,
                   std::chrono::seconds idle_time, std::unique_ptr<Connection> inner)
      : pool_(std::move(pool)),
        text_(std::move(text)),
        idle_time_(idle_time),
        inner_(std::move(inner)) {}
  // A connection for one call alone (Pooling=false), closed when it goes.
  explicit PooledConnection(std::unique_ptr<Connection> inner) : inner_(std::move(inner)) {}
  ~PooledConnection() override {
    if (!pool_) return;
    try {
      pool_->GiveBack(std::move(text_), idle_time_, std::move(inner_), owner_);
    } catch (...) {  // out of memory: the connection closed instead (inner_ or the pool's)
    }
  }
  PooledConnection(const PooledConnection&) = delete;
  PooledConnection& operator=(const PooledConnection&) = delete;

  std::unique_ptr<Recordset> Open(std::string_view sql, CursorType cursor) override {
    return inner_->Open(sql, cursor);
  }
  int64_t Execute(std::string_view sql) override { return inner_->Execute(sql); }
  Dialect dialect() const override { return inner_->dialect(); }
  std::string SentText(std::string_view sql) const override { return inner_->SentText(sql); }
  void Begin() override { inner_->Begin(); }
  void TakeLineTurn(std::string_view line) override { inner_->TakeLineTurn(line); }
  void Commit() override { inner_->Commit(); }
  void Rollback() override { inner_->Rollback(); }

 private:
  // Out of the pool, a connection keeps a fork waiting until it is given back.
  const ForkGuard out_;
  std::shared_ptr<ConnectionPool::Shared> pool_;
  std::string text_;
  std::chrono::seconds idle_time_{0};
  std::unique_ptr<Connection> inner_;
  pid_t owner_ = getpid();
};

}  // namespace

ConnectionPool::ConnectionPool(Opener open, Clock clock, Bounds bounds)
    : shared_(std::make_shared<Shared>()) {
  shared_->open = std::move(open);
  shared_->clock = std::move(clock);
  shared_->bounds = bounds;
  Shared* shared = shared_.get();  // the handlers go before the pool does
  fork_handlers_ = AddForkHandlers(ForkRank::kPool, {[shared] { shared->PrepareFork(); },
                                                     [shared] { shared->AfterForkInParent(); },
                                                     [shared] { shared->AfterForkInChild(); }});
}

ConnectionPool::~ConnectionPool() {
  RemoveForkHandlers(fork_handlers_);
  const ForkGuard inside;
  Shared::Closing to_close;
  const std::lock_guard lock(shared_->mutex);
  shared_->LeaveTheParentsConnections();
  shared_->closing = true;
  for (Shared::Idle& entry : shared_->idle) to_close.push_back(std::move(entry.conn));
  shared_->idle.clear();
  shared_->counts.idle = 0;
}

std::unique_ptr<Connection> ConnectionPool::Acquire(const ConnectionText& given_text) {
  const ForkGuard inside;
  const ConnectionText connection_text = WithDataSourceResolved(given_text);
  const PoolSettings settings = ReadPoolSettings(connection_text);
  if (!settings.pooling)
    return std::make_unique<PooledConnection>(shared_->open(settings.database));
  std::string text = connection_text.text();
  for (;;) {
    std::unique_ptr<Connection> candidate;
    {
      Shared::Closing expired;
      const std::lock_guard lock(shared_->mutex);
      shared_->LeaveTheParentsConnections();
      shared_->TakeExpired(shared_->clock(), expired);
      // The latest given back first: the others then age out sooner.
      for (auto at = shared_->idle.rbegin(); at != shared_->idle.rend(); ++at) {
        if (at->text != text) continue;
        candidate = std::move(at->conn);
        shared_->idle.erase(std::next(at).base());
        break;
      }
      shared_->counts.idle = shared_->idle.size();
      if (!candidate) break;
    }
    bool usable = false;
    try {
      usable = candidate->StillUsable();
    } catch (...) {  // a check that fails is a connection that cannot serve
    }
    const std::lock_guard lock(shared_->mutex);
    if (usable) {
      ++shared_->counts.busy;
      ++shared_->counts.reused;
      return std::make_unique<PooledConnection>(shared_, std::move(text), settings.idle_time,
                                                std::move(candidate));
    }
    ++shared_->counts.discarded;
  }
  std::unique_ptr<Connection> fresh = shared_->open(settings.database);
  const std::lock_guard lock(shared_->mutex);
  ++shared_->counts.opened;
  ++shared_->counts.busy;
  return std::make_unique<PooledConnection>(shared_, std::move(text), settings.idle_time,
                                            std::move(fresh));
}

PoolCounts ConnectionPool::Counts() {
  const ForkGuard inside;
  Shared::Closing expired;
  const std::lock_guard lock(shared_->mutex);
  shared_->LeaveTheParentsConnections();
  shared_->TakeExpired(shared_->clock(), expired);
  shared_->counts.idle = shared_->idle.size();
  return shared_->counts;
}

void ConnectionPool::CloseIdle() {
  const ForkGuard inside;
  Shared::Closing to_close;
  const std::lock_guard lock(shared_->mutex);
  shared_->LeaveTheParentsConnections();
  for (Shared::Idle& entry : shared_->idle) to_close.push_back(std::move(entry.conn));
  shared_->counts.discarded += shared_->idle.size();
  shared_->idle.clear();
  shared_->counts.idle = 0;
}

ConnectionPool& ConnectionPool::ForProcess() {
  // Destroyed when the library unloads (or the process ends), closing what is idle.
  static ConnectionPool pool(OpenUntracedConnection,
                             [] { return std::chrono::steady_clock::now(); });
  return pool;
}

std::unique_ptr<Connection> OpenCallConnection(const ConnectionText& connection_text) {
  return TracedWhenAsked(ConnectionPool::ForProcess().Acquire(connection_text));
}

std::unique_ptr<Connection> OpenCallConnection(const ConnectionText& connection_text,
                                               const TraceSink& trace) {
  std::unique_ptr<Connection> conn = ConnectionPool::ForProcess().Acquire(connection_text);
  if (trace) conn = TraceConnectionTo(std::move(conn), trace);
  return conn;
}

}  // namespace quillor
