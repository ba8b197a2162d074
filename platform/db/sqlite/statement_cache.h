// The prepared statements of one connection, kept by their shape (their text
// with the literals taken out, see Parameterise) so that a statement sent again
// with other values is bound, not parsed and planned again.
#pragma once

#include <sqlite3.h>

#include <string>
#include <unordered_map>

#include "platform/db/sqlite/sqlite_row.h"

namespace quillor::sqlite {

// Prepares exactly one statement: text after it other than blanks, semicolons
// and comments is refused, so that a value can never carry a second statement in.
StmtHandle PrepareOne(sqlite3* db, const std::string& text);

class StatementCache;

// A statement ready to step, bound to the values of the text it was asked for.
// A kept statement is reset when this lets go of it.
class BoundStatement {
 public:
  BoundStatement(BoundStatement&& other) noexcept;
  BoundStatement& operator=(BoundStatement&&) = delete;
  ~BoundStatement();

  sqlite3_stmt* get() const { return stmt_; }

 private:
  friend class StatementCache;
  BoundStatement(sqlite3_stmt* kept, bool* in_use) : stmt_(kept), in_use_(in_use) {}
  explicit BoundStatement(StmtHandle owned) : owned_(std::move(owned)), stmt_(owned_.get()) {}

  StmtHandle owned_;  // a statement not kept
  sqlite3_stmt* stmt_ = nullptr;
  bool* in_use_ = nullptr;
};

class StatementCache {
 public:
  explicit StatementCache(sqlite3* db) : db_(db) {}

  // The statement for a text, its values bound. A text whose shape does not
  // prepare is prepared as it is, so that its failure is the text's own.
  BoundStatement Get(const std::string& text);

 private:
  struct Entry {
    StmtHandle stmt;
    bool in_use = false;
  };
  // Shapes that repeat are few; values the shape keeps (real numbers) can make
  // many, so the cache starts again when it is full.
  static constexpr size_t kMaxEntries = 64;

  sqlite3* db_;
  std::unordered_map<std::string, Entry> entries_;
};

}  // namespace quillor::sqlite
