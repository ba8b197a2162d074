#include "testing/test_db.h"

#include "platform/base/failure.h"
#include "platform/db/open_connection.h"
#include "platform/db/sqlite/sqlite_file.h"
#include "runtime/value_text.h"
#include "schema/host_schema.h"
#include "testing/pg_database.h"

namespace quillor::testing {

TestDb::TestDb(Engine engine) : file_(dir_.path() / "host.db") {
  const auto pg = engine == Engine::kSqlite ? std::nullopt : PgConnectionText();
  if (pg) {
    pg_ = std::make_unique<PgDatabase>(*pg);
  } else {
    CreateSqliteDatabaseFile(file_.string());
  }
  conn_ = OpenConnection(ConnectionText());
  CreateHostTables(*conn_);
}

TestDb::~TestDb() { conn_.reset(); }  // before the schema goes

std::string TestDb::ConnectionText() const {
  if (pg_) return pg_->text();
  return SqliteText(file_.string());
}

std::string ShownValue(const DbValue& value) { return value.IsNull() ? "NULL" : ValueText(value); }

std::vector<std::vector<std::string>> TestDb::Rows(std::string_view sql) {
  std::vector<std::vector<std::string>> rows;
  const std::unique_ptr<Recordset> rs = conn_->Open(sql, CursorType::kStatic);
  for (; !rs->Eof(); rs->MoveNext()) {
    std::vector<std::string> row;
    for (int i = 0; i < rs->FieldCount(); ++i) {
      const DbValue value = rs->Value(i);
      row.push_back(ShownValue(value));
    }
    rows.push_back(std::move(row));
  }
  rs->Close();
  return rows;
}

void RecordingConnection::Record(std::string_view sql) {
  statements_.emplace_back(sql);
  events_.emplace_back(sql);
  if (faults.ShouldFail(sql)) {
    throw Failure(failure_numbers::kDbStatement, "refused by the test");
  }
}

std::unique_ptr<Recordset> RecordingConnection::Open(std::string_view sql, CursorType cursor) {
  Record(sql);
  return inner_.Open(sql, cursor);
}

int64_t RecordingConnection::Execute(std::string_view sql) {
  Record(sql);
  return inner_.Execute(sql);
}

void RecordingConnection::Begin() {
  events_.emplace_back("BEGIN");
  inner_.Begin();
}

void RecordingConnection::Commit() {
  events_.emplace_back("COMMIT");
  inner_.Commit();
}

void RecordingConnection::Rollback() {
  events_.emplace_back("ROLLBACK");
  inner_.Rollback();
}

}  // namespace quillor::testing
