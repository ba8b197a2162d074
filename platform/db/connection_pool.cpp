#include "platform/db/connection_pool.h"

#include <unistd.h>

#include <charconv>
#include <filesystem>
#include <list>
#include <mutex>
#include <vector>

#include "platform/base/failure.h"
#include "platform/base/fork_guard.h"
#include "platform/base/text.h"
#include "platform/db/connection_text.h"
#include "platform/db/open_connection.h"

namespace quillor {
namespace {

using TimePoint = std::chrono::steady_clock::time_point;

constexpr std::string_view kPoolingKey = "Pooling";
constexpr std::string_view kIdleTimeoutKey = "Pool Idle Timeout";

[[noreturn]] void RefuseText(const std::string& why) {
  throw Failure(failure_numbers::kFail, "[Quillor] invalid connection text: " + why);
}

bool ReadSwitch(const std::string& value) {
  for (const char* on : {"true", "yes"}) {
    if (EqualsIgnoreCase(value, on)) return true;
  }
  for (const char* off : {"false", "no"}) {
    if (EqualsIgnoreCase(value, off)) return false;
  }
  RefuseText("Pooling must be true or false");
}

std::chrono::seconds ReadSeconds(const std::string& value) {
  int64_t seconds = -1;
  const char* end = value.data() + value.size();
  auto [ptr, ec] = std::from_chars(value.data(), end, seconds);
  if (ec != std::errc() || ptr != end || seconds < 0) {
    RefuseText("Pool Idle Timeout must be a whole number of seconds");
  }
  return std::chrono::seconds(seconds);
}

// A relative SQLite Data Source names a file beside the folder the host is in
// when the call starts, and so does the text the pool keys and opens: a host
// that changes folder between calls then reaches the same file with and without
// the pool. Any other text stays as it is.
ConnectionText WithDataSourceResolved(const ConnectionText& connection_text) {
  if (!EqualsIgnoreCase(Trim(connection_text.Get("Provider").value_or(""), IsSpace), "SQLite")) {
    return connection_text;
  }
  const std::optional<std::string> source = connection_text.Get("Data Source");
  if (!source || source->empty() || *source == ":memory:" ||
      std::filesystem::path(*source).is_absolute()) {
    return connection_text;
  }
  std::error_code ec;
  const std::filesystem::path here = std::filesystem::current_path(ec);
  if (ec) return connection_text;  // the folder is gone: the open fails as it would
  std::string quoted;
  for (const char c : (here / *source).string()) quoted += c == '"' ? "\"\"" : std::string(1, c);
  std::string text = connection_text.Without({"Data Source"}).text();
  if (!Trim(text, IsSpace).empty() && !Trim(text, IsSpace).ends_with(';')) text += ';';
  return ConnectionText::Lenient(text + "Data Source=\"" + quoted + "\"");
}

}  // namespace

PoolSettings ReadPoolSettings(const ConnectionText& connection_text) {
  // An ODBC text in a form of its own holds no pairs: the driver judges it as it is.
  PoolSettings settings;
  if (const auto pooling = connection_text.Get(kPoolingKey))
    settings.pooling = ReadSwitch(*pooling);
  if (const auto idle = connection_text.Get(kIdleTimeoutKey)) {
    settings.idle_time = ReadSeconds(*idle);
  }
  settings.database = connection_text.Without({kPoolingKey, kIdleTimeoutKey});
  return settings;
}

PoolSettings ReadPoolSettings(std::string_view connection_text) {
  return ReadPoolSettings(ConnectionText::Lenient(connection_text));
}

struct ConnectionPool::Shared {
  struct Idle {
    std::string text;
    std::unique_ptr<Connection> conn;
    TimePoint until;  // closed from then on
  };

  Opener open;
  Clock clock;
  Bounds bounds;

  std::mutex mutex;
  pid_t pid = getpid();
  bool closing = false;
  std::list<Idle> idle;  // in the order they were given back, the latest last
  PoolCounts counts;

  using Closing = std::vector<std::unique_ptr<Connection>>;

  // A child process inherits the parent's connections but must never use or
  // close them (the parent still does): they are let go of, unclosed.
  void LeaveTheParentsConnections() {
    if (pid == getpid()) return;
    for (Idle& entry : idle) (void)entry.conn.release();
    idle.clear();
    counts = PoolCounts();
    pid = getpid();
  }

  // Before a fork, once no other thread is inside the pool: the connections a
  // child must not inherit are closed, and the lock is held across the fork.
  void PrepareFork() {
    mutex.lock();
    LeaveTheParentsConnections();
    for (auto at = idle.begin(); at != idle.end();) {
      const auto next = std::next(at);
      if (!at->conn->KeptAcrossFork()) {
        at->conn.reset();
        idle.erase(at);
        ++counts.discarded;
      }
      at = next;
    }
    counts.idle = idle.size();
  }
  void AfterForkInParent() { mutex.unlock(); }
  void AfterForkInChild() {
    LeaveTheParentsConnections();
    mutex.unlock();
  }

  void Discard(std::list<Idle>::iterator at, Closing& out) {
    out.push_back(std::move(at->conn));
    idle.erase(at);
    ++counts.discarded;
  }

  void TakeExpired(TimePoint now, Closing& out) {
    for (auto at = idle.begin(); at != idle.end();) {
      const auto next = std::next(at);
      if (at->until <= now) Discard(at, out);
      at = next;
    }
  }

  // The oldest beyond the bounds go: first those of this text, then any.
  void KeepWithinBounds(const std::string& text, Closing& out) {
    size_t of_text = 0;
    for (const Idle& entry : idle) of_text += entry.text == text ? 1 : 0;
    for (auto at = idle.begin(); at != idle.end() && of_text > bounds.idle_per_text;) {
      const auto next = std::next(at);
      if (at->text == text) {
        Discard(at, out);
        --of_text;
      }
      at = next;
    }
    while (idle.size() > bounds.idle_in_all) Discard(idle.begin(), out);
  }

  void GiveBack(std::string text, std::chrono::seconds idle_time, std::unique_ptr<Connection> conn,
                pid_t owner) {
    if (owner != getpid()) {
      (void)conn.release();  // the parent's, see LeaveTheParentsConnections
      return;
    }
    bool keep = false;
    try {
      keep = conn->ResetForReuse();
    } catch (...) {  // a connection that cannot be reset is closed
    }
    Closing to_close;
    {
      const std::lock_guard lock(mutex);
      LeaveTheParentsConnections();
      if (counts.busy > 0) --counts.busy;
      const TimePoint now = clock();
      if (keep && !closing && idle_time.count() > 0) {
        idle.push_back({std::move(text), std::move(conn), now + idle_time});
        TakeExpired(now, to_close);
        KeepWithinBounds(idle.back().text, to_close);
      } else {
        to_close.push_back(std::move(conn));
        ++counts.discarded;
      }
      counts.idle = idle.size();
    }
    // Closed outside the lock: closing can take a while (a checkpoint, a goodbye
    // to the server).
  }
};

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
