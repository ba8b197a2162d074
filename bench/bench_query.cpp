// QUERY: many rows unpaged and paged, each in a fresh process, beside a baseline.
#include "bench/bench_support.h"

namespace quillor::bench {

class PageSink final : public com::IDispatch {
 public:
  com::HRESULT QueryInterface(const com::Guid& iid, void** out) override {
    *out = (iid == com::kIID_IUnknown || iid == com::kIID_IDispatch) ? this : nullptr;
    return *out ? com::S_OK : com::E_NOINTERFACE;
  }
  uint32_t AddRef() override { return 2; }
  uint32_t Release() override { return 1; }
  com::HRESULT GetIDsOfNames(std::string_view, int32_t* dispid) override {
    *dispid = 1;
    return com::S_OK;
  }
  com::HRESULT Invoke(int32_t, com::InvokeKind, std::vector<com::Variant>& args, com::Variant*,
                      com::ExceptionInfo*) override {
    bytes += args[0].Get<std::string>().size();
    ++pages;
    return com::S_OK;
  }
  size_t bytes = 0;
  int pages = 0;
};

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
                       const std::string& reply) {
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
  PageSink sink;
  com::ComPtr<MaterialComponent> object = MaterialComponent::Create(Release871());
  if (page_size > 0) {
    com::IDispatch* caller = &sink;
    bool ok = false;
    object->AddObjectReference(&caller, &ok);
  }
  const std::string request =
      "<ufinterface roottag=\"material\" docid=\"q\" proc=\"QUERY\" paginate=\"" +
      std::to_string(page_size) + "\"/>";
  // A server's connection text comes in the place of the database file.
  const std::string connection =
      db.string().find('=') != std::string::npos ? db.string() : ConnectionText(db, sync);
  const long before = PeakResidentKiB();
  std::string reply;
  const Timing t = Measure([&] { reply = Transact(*object, request, connection); });
  const size_t in_reply = Count(reply, "<material ");
  const long peak = PeakResidentKiB();
  std::printf(
      "QUERY sync=%-6s rows=%-6d pages of %-5d %8.0f rows/s (cpu %8.0f)  peak RSS %6.1f MiB"
      " (%5.1f MiB before the call)  %d pages, %zu rows in the reply\n",
      sync.c_str(), rows, page_size, rows / t.wall, rows / t.cpu, peak / 1024.0, before / 1024.0,
      sink.pages, in_reply);
  std::fflush(stdout);
  if (!figures_file.empty()) WriteQueryFigures(figures_file, t, peak, reply);
  const bool whole = page_size > 0 ? sink.pages == (rows + page_size - 1) / page_size
                                   : in_reply == static_cast<size_t>(rows);
  if (!whole) {
    std::fprintf(stderr, "the QUERY did not give every row: %.300s\n", reply.c_str());
  }
  return whole ? 0 : 1;
}

void BenchQuery(const fs::path& db, int rows, int page_size, const std::string& sync,
                const fs::path& figures_file = {}) {
  std::fflush(stdout);
  // The program's own path as its name: the component finds its mapping file
  // beside the program by that name.
  RunChild("/proc/self/exe",
           {fs::read_symlink("/proc/self/exe").string(), "--query-child", db, std::to_string(rows),
            std::to_string(page_size), sync, figures_file},
           "the QUERY run failed");
}

void MakeQueryDatabase(const fs::path& db, int rows) {
  MakeHostDatabase(db, 0);
  std::unique_ptr<Connection> conn = OpenConnection(ConnectionText(db, "Normal"));
  conn->Begin();
  for (int i = 0; i < rows; ++i) {
    conn->Execute("insert into ca_mabsw values('D01','1001','M" + std::to_string(i) +
                  "','B1',2.5,3,5,7.5,0)");
  }
  conn->Commit();
}

// The baseline for QUERY: a plain program over the SQLite C API that runs the
// statement the component sends (as the dialect adapts it) and writes each row
// as the same material element with its fields into one growing text.
std::string QueryStatementSentOn(const std::string& connection) {
  const ReleaseProfile& profile = Release871();
  // No conditions: the statement ends with its separator.
  std::string statement = JoinPieces(profile.query_statement_pieces);
  statement += profile.query_condition_separator;
  return OpenConnection(connection)->SentText(statement);
}

std::string QueryStatementSent(const fs::path& db) {
  return QueryStatementSentOn(ConnectionText(db, "Normal"));
}

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
  column = AsciiLower(column);
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
int BaselineChild(const fs::path& db, const fs::path& figures_file) {
  const QueryFigures f = BaselineQuery(db, QueryStatementSent(db));
  std::ofstream out(figures_file);
  out << f.wall << ' ' << f.cpu << ' ' << PeakResidentKiB() << ' ' << f.reply_bytes << ' '
      << f.rows_digest << '\n';
  return 0;
}

QueryFigures BaselineInChild(const fs::path& dir, const fs::path& db) {
  const fs::path file = dir / "baseline-figures.txt";
  fs::remove(file);
  std::fflush(stdout);
  RunChild("/proc/self/exe", {"quillor_bench", "--baseline-child", db, file},
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
  for (const std::string sync : {"Normal", "Full"}) {
    if (!only_sync.empty() && sync != only_sync) continue;
    std::vector<QueryFigures> paged_at;
    for (int rows : sizes) {
      const fs::path db = dir / ("query" + std::to_string(rows) + ".db");
      if (!fs::exists(db)) MakeQueryDatabase(db, rows);
      std::vector<QueryFigures> base, unpaged, paged;
      for (int run = 0; run < kRuns; ++run) {
        base.push_back(BaselineInChild(dir, db));
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
