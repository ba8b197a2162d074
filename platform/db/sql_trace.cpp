#include "platform/db/sql_trace.h"

#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdio>
#include <utility>

#include "platform/base/failure.h"

namespace quillor {
namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Not handed to child processes; on Windows also written as it is, with no line
// ends translated.
#ifdef _WIN32
constexpr int kNotInherited = O_NOINHERIT | O_BINARY;
#else
constexpr int kNotInherited = O_CLOEXEC;
#endif

// One write() on a descriptor opened for appending: lines from several processes
// sharing the file never interleave.
void AppendLine(const std::string& path, std::string line) {
  line += '\n';
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | kNotInherited, 0644);
  if (fd < 0) return;  // the trace never stands in the way of the statement
  const ssize_t written = ::write(fd, line.data(), line.size());
  (void)written;
  ::close(fd);
}

// The trace never stands in the way of the statement: a sink's failure is dropped.
void Deliver(const TraceSink& sink, const std::string& line) {
  try {
    sink(line);
  } catch (...) {
  }
}

std::string Head(std::string_view sql, const std::string& sent) {
  std::string head = "{\"sql\": " + JsonString(sql);
  if (sent != sql) head += ", \"sent\": " + JsonString(sent);
  return head;
}

std::string SuccessLine(std::string_view sql, const std::string& sent, int64_t rows, double ms) {
  return Head(sql, sent) + ", \"rows\": " + std::to_string(rows) +
         ", \"ms\": " + MillisecondsText(ms) + "}";
}

std::string ErrorLine(std::string_view sql, const std::string& sent, const Failure& f) {
  return Head(sql, sent) + ", \"error\": {\"number\": " + std::to_string(f.number()) +
         ", \"description\": " + JsonString(f.description()) + "}}";
}

// For a result that streams its rows, the line is written when it closes, with
// the number of rows read through it.
class TracedRecordset : public Recordset {
 public:
  TracedRecordset(std::unique_ptr<Recordset> inner, TraceSink sink, std::string line_head,
                  Clock::time_point start)
      : inner_(std::move(inner)),
        sink_(std::move(sink)),
        head_(std::move(line_head)),
        start_(start) {}
  ~TracedRecordset() override { Finish(); }

  bool Eof() const override { return inner_->Eof(); }
  void MoveNext() override {
    inner_->MoveNext();
    ++rows_;
  }
  int64_t RecordCount() const override { return inner_->RecordCount(); }
  int FieldCount() const override { return inner_->FieldCount(); }
  int FieldIndex(std::string_view name) const override { return inner_->FieldIndex(name); }
  std::string FieldName(int index) const override { return inner_->FieldName(index); }
  int FieldType(int index) const override { return inner_->FieldType(index); }
  DbValue Value(int index) const override { return inner_->Value(index); }
  void Close() override {
    Finish();
    inner_->Close();
  }

 private:
  void Finish() {
    if (finished_) return;
    finished_ = true;
    try {
      Deliver(sink_, head_ + ", \"rows\": " + std::to_string(rows_) +
                         ", \"ms\": " + MillisecondsText(MsSince(start_)) + "}");
    } catch (...) {  // nothing leaves a destructor
    }
  }

  std::unique_ptr<Recordset> inner_;
  TraceSink sink_;
  std::string head_;
  Clock::time_point start_;
  int64_t rows_ = 0;
  bool finished_ = false;
};

class TracingConnection : public Connection {
 public:
  TracingConnection(std::unique_ptr<Connection> inner, TraceSink sink)
      : inner_(std::move(inner)), sink_(std::move(sink)) {}

  std::unique_ptr<Recordset> Open(std::string_view sql, CursorType cursor) override {
    const std::string sent = inner_->SentText(sql);
    const auto start = Clock::now();
    std::unique_ptr<Recordset> rs;
    try {
      rs = inner_->Open(sql, cursor);
    } catch (const Failure& f) {
      Deliver(sink_, ErrorLine(sql, sent, f));
      throw;
    }
    const int64_t held = rs->RowsHeld();
    const int64_t rows = held >= 0 ? held : rs->RecordCount();
    if (rows < 0) {
      return std::make_unique<TracedRecordset>(std::move(rs), sink_, Head(sql, sent), start);
    }
    Deliver(sink_, SuccessLine(sql, sent, rows, MsSince(start)));
    return rs;
  }

  int64_t Execute(std::string_view sql) override {
    const std::string sent = inner_->SentText(sql);
    const auto start = Clock::now();
    int64_t rows = 0;
    try {
      rows = inner_->Execute(sql);
    } catch (const Failure& f) {
      Deliver(sink_, ErrorLine(sql, sent, f));
      throw;
    }
    Deliver(sink_, SuccessLine(sql, sent, rows, MsSince(start)));
    return rows;
  }

  Dialect dialect() const override { return inner_->dialect(); }
  std::string SentText(std::string_view sql) const override { return inner_->SentText(sql); }
  void NoteRefusedWrite(const RefusedWrite& refused) override {
    Deliver(sink_, "{\"refused\": " + JsonString(refused.reason) + ", \"item\": " +
                       JsonString(refused.item) + ", \"field\": " + JsonString(refused.field) +
                       ", \"value\": " + JsonString(refused.value) + "}");
  }
  // A unit of work's steps are left out of the trace, but not their failures: a
  // lock met at the commit would otherwise leave no trace of the database's words.
  void Begin() override {
    Step("begin", [&] { inner_->Begin(); });
  }
  void TakeLineTurn(std::string_view line) override {
    Step("line lock", [&] { inner_->TakeLineTurn(line); });
  }
  void Commit() override {
    Step("commit", [&] { inner_->Commit(); });
  }
  void Rollback() override {
    Step("rollback", [&] { inner_->Rollback(); });
  }

 private:
  template <class Run>
  void Step(std::string_view name, Run run) {
    try {
      run();
    } catch (const Failure& f) {
      Deliver(sink_, ErrorLine(name, std::string(name), f));
      throw;
    }
  }

  std::unique_ptr<Connection> inner_;
  TraceSink sink_;
};

}  // namespace

std::string MillisecondsText(double ms) {
  if (!(ms > 0)) return "0";
  // to_chars, unlike printf, writes a full stop whatever the process's locale.
  char buf[400];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, ms, std::chars_format::fixed, 3);
  if (ec != std::errc()) return "0";
  std::string text(buf, end);
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text;
}

TraceSink FileTraceSink(std::string path) {
  return [path = std::move(path)](std::string_view line) { AppendLine(path, std::string(line)); };
}

std::unique_ptr<Connection> TraceConnection(std::unique_ptr<Connection> inner, std::string path) {
  return TraceConnectionTo(std::move(inner), FileTraceSink(std::move(path)));
}

std::unique_ptr<Connection> TraceConnectionTo(std::unique_ptr<Connection> inner, TraceSink sink) {
  return std::make_unique<TracingConnection>(std::move(inner), std::move(sink));
}

}  // namespace quillor
