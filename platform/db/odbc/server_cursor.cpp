#include "platform/db/odbc/server_cursor.h"

#include "platform/db/odbc/odbc_api.h"

#include <optional>
#include <vector>

#include "platform/base/text.h"
#include "platform/db/held_recordset.h"
#include "platform/db/odbc/odbc_block.h"
#include "platform/db/odbc/odbc_text.h"
#include "platform/db/odbc/odbc_values.h"
#include "platform/db/odbc/one_statement.h"

namespace quillor::odbc {
namespace {

constexpr const char* kRunning = "running a statement";

std::string FirstWord(std::string_view sql) {
  size_t i = 0;
  while (i < sql.size() && (IsSpace(sql[i]) || sql[i] == '(')) ++i;
  size_t end = i;
  while (end < sql.size() &&
         ((sql[end] >= 'a' && sql[end] <= 'z') || (sql[end] >= 'A' && sql[end] <= 'Z'))) {
    ++end;
  }
  return AsciiLower(std::string(sql.substr(i, end - i)));
}

// Reads the results after the rows (the CLOSE's) so that their failures count.
void FinishResults(const Handle& stmt) {
  for (;;) {
    const SQLRETURN rc = SQLMoreResults(stmt.get());
    if (rc == SQL_NO_DATA) return;
    stmt.Check(rc, kRunning);
  }
}

int64_t RowsChanged(const Handle& stmt) {
  SQLLEN rows = 0;
  stmt.Check(SQLRowCount(stmt.get(), &rows), "counting the rows");
  return rows < 0 ? 0 : static_cast<int64_t>(rows);
}

class ServerCursor : public RecordsetColumns {
 public:
  // A result read whole by the first round trip.
  ServerCursor(std::shared_ptr<CursorSession> session, ResultColumns result, std::vector<Row> rows,
               CursorType cursor)
      : RecordsetColumns(result.columns),
        session_(std::move(session)),
        result_(std::move(result)),
        cursor_(cursor),
        block_(std::move(rows)),
        at_end_(true) {}

  // A result read block by block through the cursor `name`, declared WITH HOLD;
  // `fetch` has just run its first FETCH.
  ServerCursor(std::shared_ptr<CursorSession> session, ResultColumns result, std::string name,
               Handle fetch, CursorType cursor)
      : RecordsetColumns(result.columns),
        session_(std::move(session)),
        result_(std::move(result)),
        cursor_(cursor),
        name_(std::move(name)) {
    try {
      fetch_.emplace(std::move(fetch));
      reader_.emplace(*fetch_, result_, BlockRows());
      ReadBlock();
    } catch (...) {
      Release();
      throw;
    }
  }

  ~ServerCursor() override { Release(); }
  ServerCursor(const ServerCursor&) = delete;
  ServerCursor& operator=(const ServerCursor&) = delete;

  bool Eof() const override {
    CheckOpen();
    return place_ >= block_.size();
  }

  void MoveNext() override {
    if (Eof()) NoCurrentRecord();
    if (++place_ < block_.size() || at_end_) return;
    base_ += block_.size();
    FetchBlock();
  }

  int64_t RecordCount() const override {
    CheckOpen();
    if (cursor_ == CursorType::kForwardOnly) return -1;
    if (!count_) count_ = at_end_ ? Read() : CountOnServer();
    return *count_;
  }

  int64_t RowsHeld() const override {
    return at_end_ && base_ == 0 && !closed_ ? static_cast<int64_t>(block_.size()) : -1;
  }

  DbValue Value(int index) const override {
    ColumnAt(index);
    if (place_ >= block_.size()) NoCurrentRecord();
    return block_[place_][static_cast<size_t>(index)];
  }
  using Recordset::Value;

  void Close() override {
    CheckOpen();
    Release();
    block_.clear();
    block_.shrink_to_fit();
    closed_ = true;
  }

 private:
  size_t BlockRows() const { return session_->block_rows; }
  int64_t Read() const { return static_cast<int64_t>(base_ + block_.size()); }

  void FetchBlock() {
    SQLFreeStmt(fetch_->get(), SQL_CLOSE);
    fetch_->Check(SQLExecute(fetch_->get()), "fetching a row");
    ReadBlock();
  }

  void ReadBlock() {
    block_.clear();
    place_ = 0;
    reader_->ReadAll(block_);
    if (block_.size() < BlockRows()) {
      at_end_ = true;
      Release();
    }
  }

  // The rows after those read so far, moved over on the server; then back.
  int64_t CountOnServer() const {
    const int64_t read = Read();
    const int64_t after =
        RowsChanged(ExecuteDirect(session_->dbc, "move forward all in " + name_, kRunning));
    ExecuteDirect(session_->dbc, "move absolute " + std::to_string(read) + " in " + name_,
                  kRunning);
    return read + after;
  }

  // Closes the cursor on the server. A close that fails (the server gone, the
  // unit of work around it failed) leaves the name listed for the pool's reset.
  void Release() noexcept {
    reader_.reset();
    fetch_.reset();
    if (name_.empty()) return;
    const std::string name = std::exchange(name_, std::string());
    if (session_->dbc == SQL_NULL_HDBC) return;
    try {
      ExecuteDirect(session_->dbc, "close " + name, kRunning);
      session_->open.erase(name);
    } catch (...) {  // the failure that matters has been reported already
    }
  }

  std::shared_ptr<CursorSession> session_;
  ResultColumns result_;
  CursorType cursor_;
  std::string name_;  // empty when no cursor is open on the server
  std::optional<Handle> fetch_;
  std::optional<BlockReader> reader_;
  std::vector<Row> block_;
  size_t base_ = 0;   // rows before the block
  size_t place_ = 0;  // the current row within the block
  bool at_end_ = false;
  mutable std::optional<int64_t> count_;
};

// Declares `sent` as a cursor WITH HOLD and runs the first FETCH of it; the
// cursor is closed again when that fails.
std::unique_ptr<Recordset> OpenHeld(const std::shared_ptr<CursorSession>& session,
                                    std::string_view sent, CursorType cursor) {
  std::string name = session->NextName();
  ExecuteDirect(session->dbc,
                "declare " + name + " scroll cursor with hold for " + std::string(sent) + "\n",
                kRunning);
  session->open.insert(name);
  std::optional<ResultColumns> result;
  std::optional<Handle> fetch;
  try {
    fetch.emplace(SQL_HANDLE_STMT, session->dbc);
    std::u16string text =
        Utf8ToUtf16("fetch forward " + std::to_string(session->block_rows) + " from " + name);
    fetch->Check(SQLPrepareW(fetch->get(), Wide(text), static_cast<SQLINTEGER>(text.size())),
                 kRunning);
    fetch->Check(SQLExecute(fetch->get()), "fetching a row");
    result.emplace(DescribeResult(*fetch, SkipToRows(*fetch)));
  } catch (...) {
    fetch.reset();
    try {
      ExecuteDirect(session->dbc, "close " + name, kRunning);
      session->open.erase(name);
    } catch (...) {  // left listed for the pool's reset; the first failure is the one told
    }
    throw;
  }
  return std::make_unique<ServerCursor>(session, std::move(*result), std::move(name),
                                        std::move(*fetch), cursor);
}

}  // namespace

bool CursorCanRead(std::string_view sent) {
  const std::string word = FirstWord(sent);
  if (word != "select" && word != "values" && word != "table") return false;
  // What follows the text must stand as a statement of its own: no semicolon
  // ends the text early, no quote or comment swallows what comes after it.
  const std::string joined = std::string(sent) + "\nselect";
  const std::string after = std::string(sent) + "\n;select";
  return SecondStatementAt(joined, Dialect::kPostgres) == std::string_view::npos &&
         SecondStatementAt(after, Dialect::kPostgres) == after.size() - 6;
}

std::unique_ptr<Recordset> OpenThroughCursor(const std::shared_ptr<CursorSession>& session,
                                             std::string_view sent, CursorType cursor) {
  // A static cursor is a QUERY's result, long as often as not: declared WITH HOLD
  // at once, as a probe would run a long statement twice (a join's hash built
  // for the probe's first block, then again for the cursor).
  if (cursor == CursorType::kStatic) return OpenHeld(session, sent, cursor);
  const std::string probe = session->NextName();
  const std::string blocks = std::to_string(session->block_rows);
  Handle stmt =
      ExecuteDirect(session->dbc,
                    "declare " + probe + " no scroll cursor for " + std::string(sent) +
                        "\n; fetch forward " + blocks + " from " + probe + "; close " + probe,
                    kRunning);
  ResultColumns result = DescribeResult(stmt, SkipToRows(stmt));
  std::vector<Row> rows;
  {
    BlockReader reader(stmt, result, session->block_rows);
    reader.ReadAll(rows);
  }
  FinishResults(stmt);
  if (rows.size() < session->block_rows) {
    return std::make_unique<ServerCursor>(session, std::move(result), std::move(rows), cursor);
  }
  rows.clear();
  return OpenHeld(session, sent, cursor);
}

bool CloseLeftCursors(CursorSession& session) {
  if (session.open.empty()) return true;
  try {
    ExecuteDirect(session.dbc, "close all", kRunning);
    session.open.clear();
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace quillor::odbc
