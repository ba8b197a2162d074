// QUERY: many rows unpaged and paged, each in a fresh process, beside a baseline.
#include "bench/bench_support.h"

#include <iterator>
#include <optional>

namespace quillor::bench {

// The peak resident set of this process so far, in KiB.
long PeakResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (StartsWith(line, "VmHWM:")) return std::stol(line.substr(6));
  }
  return -1;
}

uint64_t Digest(std::string_view text) {
  uint64_t h = 1469598103934665603ull;  // FNV-1a
  for (unsigned char c : text) h = (h ^ c) * 1099511628211ull;
  return h;
}

// The row elements of a reply: from the first to the end of the last.
std::string_view RowsOf(std::string_view reply) {
  const size_t first = reply.find("<material ");
  const size_t last = reply.rfind("</material>");
  if (first == std::string_view::npos || last == std::string_view::npos) return {};
  return reply.substr(first, last + std::strlen("</material>") - first);
}

void WriteQueryFigures(const fs::path& file, const Timing& t, long peak_kib,
                       std::string_view reply) {
  std::ofstream out(file);
  out << t.wall << ' ' << t.cpu << ' ' << peak_kib << ' ' << reply.size() << ' '
      << Digest(RowsOf(reply)) << '\n';
}

QueryFigures ReadQueryFigures(const fs::path& file) {
  QueryFigures f;
  std::ifstream in(file);
  in >> f.wall >> f.cpu >> f.peak_kib >> f.reply_bytes >> f.rows_digest;
  return f;
}

// The QUERY itself, in a process of its own so that its peak memory is its own.
int QueryChild(const fs::path& db, int rows, int page_size, const std::string& sync,
               const fs::path& figures_file) {
  // A caller that receives pages and drops them.
  int pages = 0;
  ComponentObject object(Component());
  if (page_size > 0 && object.SetPageReceiver([&](std::string_view) { ++pages; }) != 0) {
    std::fprintf(stderr, "the library took no page receiver\n");
    return 1;
  }
  const std::string request =
      "<ufinterface roottag=\"material\" docid=\"q\" proc=\"QUERY\" paginate=\"" +
      std::to_string(page_size) + "\"/>";
  // A server's connection text comes in the place of the database file.
  const std::string connection =
      db.string().find('=') != std::string::npos ? db.string() : ConnectionText(db, sync);
  const long before = PeakResidentKiB();
  std::optional<LibraryText> reply;
  const Timing t = Measure([&] { reply.emplace(Transact(object, request, connection)); });
  const size_t in_reply = Count(reply->view(), "<material ");
  const long peak = PeakResidentKiB();
  std::printf(
      "QUERY sync=%-6s rows=%-6d pages of %-5d %8.0f rows/s (cpu %8.0f)  peak RSS %6.1f MiB"
      " (%5.1f MiB before the call)  %d pages, %zu rows in the reply\n",
      sync.c_str(), rows, page_size, rows / t.wall, rows / t.cpu, peak / 1024.0, before / 1024.0,
      pages, in_reply);
  std::fflush(stdout);
  if (!figures_file.empty()) WriteQueryFigures(figures_file, t, peak, reply->view());
  const bool whole = page_size > 0 ? pages == (rows + page_size - 1) / page_size
                                   : in_reply == static_cast<size_t>(rows);
  if (!whole) {
    std::fprintf(stderr, "the QUERY did not give every row: %.300s\n",
                 std::string(reply->view().substr(0, 300)).c_str());
  }
  return whole ? 0 : 1;
}

void BenchQuery(const fs::path& db, int rows, int page_size, const std::string& sync,
                const fs::path& figures_file = {}) {
  std::fflush(stdout);
  // The program's own path as its name, as a host started by its path has it.
  RunChild("/proc/self/exe",
           {fs::read_symlink("/proc/self/exe").string(), "--query-child", db, std::to_string(rows),
            std::to_string(page_size), sync, figures_file},
           "the QUERY run failed");
}

void MakeQueryDatabase(const fs::path& db, int rows) {
  MakeHostDatabase(db, 0);
  SqliteDatabase conn(db);
  Exec(conn.get(), "begin");
  for (int i = 0; i < rows; ++i) {
    Exec(conn.get(), "insert into ca_mabsw values('D01','1001','M" + std::to_string(i) +
                         "','B1',2.5,3,5,7.5,0)");
  }
  Exec(conn.get(), "commit");
}

// The statement a QUERY without conditions sends, from the trace of one such
// call: the baseline runs the very text the database received. The call reads
// the host's settings and the result's columns first; the rows' statement is
// its last.
std::string QueryStatementSentOn(const std::string& connection) {
  const std::vector<std::string> statements = StatementsOfCall(
      R"(<ufinterface roottag="material" docid="q" proc="QUERY" paginate="0"/>)", connection);
  if (statements.empty() || statements.back().find("from ca_mabsw") == std::string::npos) {
    std::fprintf(stderr, "the QUERY's trace ends with no statement of its rows\n");
    std::exit(1);
  }
  return statements.back();
}

// The baseline for QUERY: a plain program over the SQLite C API that runs the
// statement the component sends (as the dialect adapts it) and writes each row
// as the same material element with its fields into one growing text.
// The element names the record mapper gives the statement's columns.
std::string FieldOfColumn(std::string column) {
  static const std::vector<std::pair<std::string, std::string>> kFields{
      {"cdeptid", "departmentno"}, {"cppid", "productno"},    {"cmatid", "inventoryno"},
      {"cbatch", "serial"},        {"iprice", "price"},       {"iqua", "quantity"},
      {"iperiod", "period"},       {"imatqua", "totalmoney"}, {"irdcode", "irdcode"},
      {"cfree1", "free1"},         {"cfree2", "free2"},       {"cfree3", "free3"},
      {"cfree4", "free4"},         {"cfree5", "free5"},       {"cfree6", "free6"},
      {"cfree7", "free7"},         {"cfree8", "free8"},       {"cfree9", "free9"},
      {"cfree10", "free10"},       {"cbomver", "bomver"},     {"cbomvertd", "bomvertd"},
      {"cmocode", "mocode"},       {"cmosubsn", "mosubsn"},   {"cmoroutesn", "moroutesn"},
      {"ompflag", "ompflag"}};
  for (char& c : column) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const auto& [name, field] : kFields) {
    if (name == column) return field;
  }
  return column;
}

void AppendEscapedText(std::string& out, const char* text, size_t size) {
  const char* run = text;
  const char* const end = text + size;
  for (const char* p = text; p < end; ++p) {
    const char* ref = *p == '&'    ? "&amp;"
                      : *p == '<'  ? "&lt;"
                      : *p == '>'  ? "&gt;"
                      : *p == '\r' ? "&#13;"
                                   : nullptr;
    if (ref == nullptr) continue;
    out.append(run, static_cast<size_t>(p - run));
    out += ref;
    run = p + 1;
  }
  out.append(run, static_cast<size_t>(end - run));
}

QueryFigures BaselineQuery(const fs::path& db, const std::string& statement) {
  QueryFigures figures;
  std::string out;
  const Timing t = Measure([&] {
    sqlite3* handle = nullptr;
    sqlite3_open_v2(db.c_str(), &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(handle, statement.c_str(), static_cast<int>(statement.size()), &stmt,
                           nullptr) != SQLITE_OK) {
      std::fprintf(stderr, "baseline: %s\n", sqlite3_errmsg(handle));
      std::exit(1);
    }
    const int columns = sqlite3_column_count(stmt);
    std::vector<std::string> start(static_cast<size_t>(columns));
    std::vector<std::string> end(static_cast<size_t>(columns));
    std::vector<std::string> empty(static_cast<size_t>(columns));
    for (int c = 0; c < columns; ++c) {
      const std::string field = FieldOfColumn(sqlite3_column_name(stmt, c));
      start[static_cast<size_t>(c)] = "<" + field + ">";
      end[static_cast<size_t>(c)] = "</" + field + ">";
      empty[static_cast<size_t>(c)] = "<" + field + "/>";
    }
    char id[16];
    for (int row = 1; sqlite3_step(stmt) == SQLITE_ROW; ++row) {
      out += "<material id=\"";
      out.append(id, static_cast<size_t>(std::snprintf(id, sizeof id, "%d", row)));
      out += "\">";
      for (int c = 0; c < columns; ++c) {
        const size_t at = static_cast<size_t>(c);
        // Numbers as the component writes them: integers in decimal, reals in
        // their shortest exact form; texts escaped.
        char number[32];
        const char* text = number;
        size_t size = 0;
        switch (sqlite3_column_type(stmt, c)) {
          case SQLITE_INTEGER:
            size = static_cast<size_t>(
                std::to_chars(number, number + sizeof number, sqlite3_column_int64(stmt, c)).ptr -
                number);
            break;
          case SQLITE_FLOAT: {
            const double value = sqlite3_column_double(stmt, c);
            size = value == 0.0
                       ? (number[0] = '0', 1)
                       : static_cast<size_t>(
                             std::to_chars(number, number + sizeof number, value).ptr - number);
            break;
          }
          case SQLITE_NULL:
            break;
          default:
            text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, c));
            size = static_cast<size_t>(sqlite3_column_bytes(stmt, c));
        }
        if (size == 0) {
          out += empty[at];
          continue;
        }
        out += start[at];
        AppendEscapedText(out, text, size);
        out += end[at];
      }
      out += "</material>";
    }
    sqlite3_finalize(stmt);
    sqlite3_close(handle);
  });
  figures.wall = t.wall;
  figures.cpu = t.cpu;
  figures.reply_bytes = out.size();
  figures.rows_digest = Digest(out);
  return figures;
}

// The best (least) time of several runs, with the figures of that run; memory
// is the same in every run.
QueryFigures Best(const std::vector<QueryFigures>& runs) {
  QueryFigures best = runs.front();
  for (const QueryFigures& f : runs) {
    if (f.wall < best.wall) best = f;
  }
  for (const QueryFigures& f : runs) best.cpu = std::min(best.cpu, f.cpu);
  return best;
}

// The baseline in a process of its own, as the component's QUERY runs: a fresh
// process has none of the memory an earlier run left behind to reuse.
int BaselineChild(const fs::path& db, const fs::path& figures_file,
                  const fs::path& statement_file) {
  std::ifstream in(statement_file, std::ios::binary);
  const std::string statement((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
  const QueryFigures f = BaselineQuery(db, statement);
  std::ofstream out(figures_file);
  out << f.wall << ' ' << f.cpu << ' ' << PeakResidentKiB() << ' ' << f.reply_bytes << ' '
      << f.rows_digest << '\n';
  return 0;
}

QueryFigures BaselineInChild(const fs::path& dir, const fs::path& db,
                             const fs::path& statement_file) {
  const fs::path file = dir / "baseline-figures.txt";
  fs::remove(file);
  std::fflush(stdout);
  RunChild("/proc/self/exe", {"quillor_bench", "--baseline-child", db, file, statement_file},
           "the baseline run failed");
  return ReadQueryFigures(file);
}

QueryFigures ComponentQuery(const fs::path& dir, const fs::path& db, int rows, int page_size,
                            const std::string& sync) {
  const fs::path file = dir / "query-figures.txt";
  fs::remove(file);
  BenchQuery(db, rows, page_size, sync, file);
  return ReadQueryFigures(file);
}

// QUERY without pages and in pages of 1,000, each beside the baseline measured in
// the same run (each in a fresh process, the best of three runs each, taken in turn), then the
// targets: time at most 1.5 times the baseline's, unpaged peak memory at most 2.5 times the reply
// plus 32 MiB, paged memory flat from 10,000 to 100,000 rows.
void BenchQueries(const fs::path& dir, bool quick, const std::string& only_sync) {
  constexpr int kPageSize = 1000;
  constexpr int kRuns = 3;
  const std::vector<int> sizes = quick ? std::vector<int>{10000} : std::vector<int>{10000, 100000};
  // The statement does not depend on the rows: it is read from a call on an
  // empty database, and the baseline's process is handed its text.
  const fs::path statement_db = dir / "statement.db";
  MakeHostDatabase(statement_db, 0);
  const fs::path statement_file = dir / "baseline-statement.sql";
  std::ofstream(statement_file, std::ios::binary)
      << QueryStatementSentOn(ConnectionText(statement_db, "Normal"));
  for (const std::string sync : {"Normal", "Full"}) {
    if (!only_sync.empty() && sync != only_sync) continue;
    std::vector<QueryFigures> paged_at;
    for (int rows : sizes) {
      const fs::path db = dir / ("query" + std::to_string(rows) + ".db");
      if (!fs::exists(db)) MakeQueryDatabase(db, rows);
      std::vector<QueryFigures> base, unpaged, paged;
      for (int run = 0; run < kRuns; ++run) {
        base.push_back(BaselineInChild(dir, db, statement_file));
        unpaged.push_back(ComponentQuery(dir, db, rows, 0, sync));
        paged.push_back(ComponentQuery(dir, db, rows, kPageSize, sync));
      }
      const QueryFigures b = Best(base), u = Best(unpaged), p = Best(paged);
      paged_at.push_back(p);
      const double mib = 1024.0 * 1024.0;
      const double limit_mib = 2.5 * static_cast<double>(u.reply_bytes) / mib + 32;
      std::printf(
          "QUERY sync=%-6s rows=%-6d baseline %8.0f rows/s (cpu %8.0f)  rows the same as the "
          "reply's: %s\n",
          sync.c_str(), rows, rows / b.wall, rows / b.cpu,
          b.rows_digest == u.rows_digest ? "yes" : "NO");
      std::printf(
          "QUERY sync=%-6s rows=%-6d unpaged time / baseline %.2f (cpu %.2f, target 1.5)  "
          "paged time / baseline %.2f (cpu %.2f, target 1.5)\n",
          sync.c_str(), rows, u.wall / b.wall, u.cpu / b.cpu, p.wall / b.wall, p.cpu / b.cpu);
      std::printf(
          "QUERY sync=%-6s rows=%-6d unpaged peak %.1f MiB, reply %.1f MiB: target 2.5 x reply + "
          "32 MiB = %.1f MiB, %s\n",
          sync.c_str(), rows, u.peak_kib / 1024.0, static_cast<double>(u.reply_bytes) / mib,
          limit_mib, u.peak_kib / 1024.0 <= limit_mib ? "held" : "NOT held");
      std::fflush(stdout);
    }
    if (paged_at.size() >= 2) {
      std::printf("QUERY sync=%-6s paged peak at rows=%d / at rows=%d: %.2f (target 1.5)\n",
                  sync.c_str(), sizes.back(), sizes.front(),
                  static_cast<double>(paged_at.back().peak_kib) /
                      static_cast<double>(paged_at.front().peak_kib));
      std::fflush(stdout);
    }
  }
}

}  // namespace quillor::bench
