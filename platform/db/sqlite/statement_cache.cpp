#include "platform/db/sqlite/statement_cache.h"

#include <iterator>

#include "platform/base/failure.h"
#include "platform/db/sqlite/sql_parameters.h"
#include "platform/db/sqlite/sqlite_error.h"

namespace quillor::sqlite {
namespace {

// Binds the values in order; false when the statement does not take them all.
bool Bind(sqlite3_stmt* stmt, const std::vector<BoundValue>& values) {
  if (sqlite3_bind_parameter_count(stmt) != static_cast<int>(values.size())) return false;
  for (size_t i = 0; i < values.size(); ++i) {
    const int at = static_cast<int>(i) + 1;
    const BoundValue& v = values[i];
    const int rc = v.is_text ? sqlite3_bind_text64(stmt, at, v.text.data(), v.text.size(),
                                                   SQLITE_TRANSIENT, SQLITE_UTF8)
                             : sqlite3_bind_int64(stmt, at, v.integer);
    if (rc != SQLITE_OK) return false;
  }
  return true;
}

}  // namespace

StmtHandle PrepareOne(sqlite3* db, const std::string& text) {
  if (text.find('\0') != std::string::npos) {
    throw Failure(failure_numbers::kDbStatement, "[SQLite] the statement contains a NUL character");
  }
  sqlite3_stmt* raw = nullptr;
  const char* tail = nullptr;
  int rc = sqlite3_prepare_v3(db, text.c_str(), static_cast<int>(text.size() + 1),
                              SQLITE_PREPARE_PERSISTENT, &raw, &tail);
  StmtHandle stmt(raw);
  if (rc != SQLITE_OK) throw LastFailure(db, rc);
  if (!stmt) throw Failure(failure_numbers::kDbStatement, "[SQLite] the statement is empty");
  const char* end = text.c_str() + text.size();
  while (tail != nullptr && tail < end) {
    sqlite3_stmt* next_raw = nullptr;
    const char* next_tail = nullptr;
    rc = sqlite3_prepare_v3(db, tail, static_cast<int>(end - tail + 1), 0, &next_raw, &next_tail);
    StmtHandle next(next_raw);
    if (next || rc != SQLITE_OK || next_tail == tail) {
      throw Failure(failure_numbers::kDbStatement,
                    "[SQLite] only one statement may be run at a time");
    }
    tail = next_tail;
  }
  return stmt;
}

BoundStatement::BoundStatement(BoundStatement&& other) noexcept
    : owned_(std::move(other.owned_)), stmt_(other.stmt_), in_use_(other.in_use_) {
  other.stmt_ = nullptr;
  other.in_use_ = nullptr;
}

BoundStatement::~BoundStatement() {
  if (in_use_ == nullptr) return;
  // Reset at once: a statement left part-way would hold the connection's read
  // snapshot, and its bound texts.
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
  *in_use_ = false;
}

BoundStatement StatementCache::Get(const std::string& text) {
  if (text.find('\0') != std::string::npos) return BoundStatement(PrepareOne(db_, text));
  std::optional<Parameterised> parameterised = Parameterise(text);
  const std::string& key = parameterised ? parameterised->shape : text;
  static const std::vector<BoundValue> kNone;
  const std::vector<BoundValue>& values = parameterised ? parameterised->values : kNone;

  if (auto found = entries_.find(key); found != entries_.end()) {
    Entry& entry = found->second;
    if (!entry.in_use && Bind(entry.stmt.get(), values)) {
      entry.in_use = true;
      return BoundStatement(entry.stmt.get(), &entry.in_use);
    }
    sqlite3_clear_bindings(entry.stmt.get());
    return BoundStatement(PrepareOne(db_, text));
  }

  StmtHandle stmt;
  try {
    stmt = PrepareOne(db_, key);
  } catch (const Failure&) {
    if (key == text) throw;
    return BoundStatement(PrepareOne(db_, text));
  }
  if (!Bind(stmt.get(), values)) return BoundStatement(PrepareOne(db_, text));
  if (entries_.size() >= kMaxEntries) {
    for (auto at = entries_.begin(); at != entries_.end();) {
      at = at->second.in_use ? std::next(at) : entries_.erase(at);
    }
  }
  Entry& entry = entries_[key];
  entry.stmt = std::move(stmt);
  entry.in_use = true;
  return BoundStatement(entry.stmt.get(), &entry.in_use);
}

}  // namespace quillor::sqlite
