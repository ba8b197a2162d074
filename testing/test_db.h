// Test fixtures over a real SQLite host database: a temporary directory, a host
// database file with the host tables, and a connection decorator that records
// every statement and can make chosen statements fail.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/database.h"
#include "platform/db/statement_faults.h"
#include "testing/temp_dir.h"

namespace quillor::testing {

class PgDatabase;

// A stored value as the host's runtime writes it as text, and "NULL" for a null.
std::string ShownValue(const DbValue& value);

// A host database with the host tables and no rows: a temporary SQLite file, or, when
// QUILLOR_TEST_PG_CONNECTION names a PostgreSQL server, a schema of its own there.
class TestDb {
 public:
  // Suites about SQLite's own behaviour (injected faults, the release
  // statements as SQLite reports them) ask for it whatever the environment says.
  enum class Engine { kAsConfigured, kSqlite };
  explicit TestDb(Engine engine = Engine::kAsConfigured);
  ~TestDb();
  std::string ConnectionText() const;
  // The fixture's own connection, open for the fixture's life.
  Connection& conn() { return *conn_; }
  void Run(std::string_view sql) { conn_->Execute(sql); }
  // Every row of a query, each column as text ("NULL" for a null).
  std::vector<std::vector<std::string>> Rows(std::string_view sql);
  const std::filesystem::path& dir() const { return dir_.path(); }

 private:
  TempDir dir_;
  std::filesystem::path file_;
  std::unique_ptr<PgDatabase> pg_;
  std::unique_ptr<Connection> conn_;
};

// Passes everything to another connection and records what it was asked to run.
class RecordingConnection final : public Connection {
 public:
  explicit RecordingConnection(Connection& inner) : inner_(inner) {}

  std::unique_ptr<Recordset> Open(std::string_view sql, CursorType cursor) override;
  int64_t Execute(std::string_view sql) override;
  void Begin() override;
  void Commit() override;
  void Rollback() override;
  // Passed on, and not recorded: the unit's events stay as the release's.
  void TakeLineTurn(std::string_view line) override { inner_.TakeLineTurn(line); }

  // The statements in the order they were run (Open and Execute alike).
  const std::vector<std::string>& statements() const { return statements_; }
  // Statements and the unit-of-work steps "BEGIN", "COMMIT", "ROLLBACK".
  const std::vector<std::string>& events() const { return events_; }
  void Clear() {
    statements_.clear();
    events_.clear();
  }
  // Which statements fail, as the engine would refuse them (FailWhen, FailStatement).
  StatementFaults faults;

 private:
  void Record(std::string_view sql);
  Connection& inner_;
  std::vector<std::string> statements_;
  std::vector<std::string> events_;
};

}  // namespace quillor::testing
