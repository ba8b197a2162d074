// The PostgreSQL lines, on the server whose ODBC connection text scripts/bench
// hands over (a throwaway server it starts): QUERY unpaged and paged with their
// peaks, beside the same rows moved by psql; ADD beside the replay of its own
// statements through the same ODBC driver.
#include <sql.h>
#include <sqlext.h>

#include <map>
#include <optional>

#include "bench/bench_support.h"

namespace quillor::bench {

namespace {

constexpr const char* kSchema = "quillor_bench";
constexpr double kMiB = 1024.0 * 1024.0;

// Every connection of the bench works in a schema of its own.
std::string InSchema(const std::string& base) {
  return base + ";ConnSettings={set search_path to " + kSchema + "}";
}

const char* Verdict(bool held) { return held ? "PASS" : "MISS"; }

// The keys of an ODBC connection text, by their upper-case names.
std::map<std::string, std::string> Keys(const std::string& text) {
  std::map<std::string, std::string> keys;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find(';', at);
    if (end == std::string::npos) end = text.size();
    const std::string part = text.substr(at, end - at);
    const size_t eq = part.find('=');
    if (eq == std::string::npos) continue;
    std::string key = part.substr(0, eq);
    for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    keys[key] = part.substr(eq + 1);
    at = end + 1;
  }
  return keys;
}

// One ODBC connection of the driver the component uses, as a plain program opens
// it: for the replay, and for the schema and rows the bench sets up beside the
// component.
class RawOdbc {
 public:
  explicit RawOdbc(const std::string& text) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
    std::string in = text;
    if (!SQL_SUCCEEDED(SQLDriverConnect(dbc_, nullptr, reinterpret_cast<SQLCHAR*>(in.data()),
                                        SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT))) {
      std::fprintf(stderr, "the bench's own ODBC connection failed\n");
      std::exit(1);
    }
  }
  ~RawOdbc() {
    SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }
  RawOdbc(const RawOdbc&) = delete;
  RawOdbc& operator=(const RawOdbc&) = delete;

  // Runs the statement and reads every column of every row as text.
  void Run(const std::string& sql) {
    SQLHSTMT stmt = nullptr;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt);
    std::string text = sql;
    const SQLRETURN rc = SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS);
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
      std::fprintf(stderr, "%s failed\n", sql.c_str());
      std::exit(1);
    }
    SQLSMALLINT columns = 0;
    SQLNumResultCols(stmt, &columns);
    char buffer[512];
    SQLLEN length = 0;
    while (columns > 0 && SQL_SUCCEEDED(SQLFetch(stmt))) {
      for (SQLUSMALLINT c = 1; c <= columns; ++c) {
        SQLGetData(stmt, c, SQL_C_CHAR, buffer, sizeof buffer, &length);
      }
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  }
  void AutoCommit(bool on) {
    SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT,
                      reinterpret_cast<SQLPOINTER>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF), 0);
  }
  void Commit() { SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_COMMIT); }

 private:
  SQLHENV env_ = nullptr;
  SQLHDBC dbc_ = nullptr;
};

// A fresh schema with the host tables, the master rows of `items` materials and
// `rows` stored lines.
// The component's pooled connections outlive the schema: an idle one holds no
// lock that the drop waits for (a connection with a unit of work open is never
// kept), and the tables come back under the same names and columns, which the
// server plans its statements on again when they are next run.
void ResetSchema(const std::string& base, int items, int rows) {
  {
    RawOdbc admin(base);
    admin.Run(std::string("drop schema if exists ") + kSchema + " cascade");
    admin.Run(std::string("create schema ") + kSchema);
  }
  try {
    Component()->InitDatabase(InSchema(base));
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "%s\n", failure.what());
    std::exit(1);
  }
  RawOdbc conn(InSchema(base));
  conn.AutoCommit(false);
  for (const std::string& row : CostObjectRows()) conn.Run(row);
  if (items > 0) {
    conn.Run("insert into Inventory select 'M' || g, 'material' from generate_series(0, " +
             std::to_string(items - 1) + ") g");
  }
  if (rows > 0) {
    conn.Run(
        "insert into ca_mabsw select 'D01','1001','M' || g,'B1',2.5,3,5,7.5,0 from "
        "generate_series(0, " +
        std::to_string(rows - 1) + ") g");
  }
  conn.Commit();
  conn.AutoCommit(true);
  conn.Run("analyze");
}

// The floor of a QUERY: psql moving the same rows of the same statement, its
// output thrown away. The whole run is timed, from the start of the process.
double PsqlSeconds(const std::string& base, const std::string& statement) {
  std::map<std::string, std::string> keys = Keys(base);
  const Clock::time_point start = Clock::now();
  RunChild("/usr/bin/psql",
           {"psql", "-X", "-At", "-h", keys["SERVER"], "-p", keys["PORT"], "-U", keys["UID"], "-d",
            keys["DATABASE"], "-c", std::string("set search_path to ") + kSchema, "-c", statement},
           "psql failed", /*quiet=*/true, {"PGPASSWORD=" + keys["PWD"]});
  return Seconds(start);
}

void BenchPgQueries(const fs::path& dir, const std::string& base, bool quick) {
  constexpr int kPageSize = 1000;
  constexpr int kRuns = 3;
  const std::string connection = InSchema(base);
  std::vector<int> sizes = {10000, 100000};
  if (!quick) sizes.push_back(1000000);
  // The statement does not depend on the rows: read from a call on empty tables.
  ResetSchema(base, 0, 0);
  const std::string statement = QueryStatementSentOn(connection);
  std::vector<QueryFigures> paged_at;
  for (int rows : sizes) {
    ResetSchema(base, 0, rows);
    std::vector<QueryFigures> paged;
    for (int run = 0; run < (rows > 100000 ? 1 : kRuns); ++run) {
      paged.push_back(ComponentQuery(dir, connection, rows, kPageSize, "Normal"));
    }
    paged_at.push_back(Best(paged));
    if (rows != 100000) continue;

    // Unpaged at 100,000 rows, beside psql, taken in turn.
    std::vector<QueryFigures> unpaged;
    double floor = 1e9;
    for (int run = 0; run < kRuns; ++run) {
      floor = std::min(floor, PsqlSeconds(base, statement));
      unpaged.push_back(ComponentQuery(dir, connection, rows, 0, "Normal"));
    }
    const QueryFigures u = Best(unpaged);
    const double limit_mib = 2.5 * static_cast<double>(u.reply_bytes) / kMiB + 32;
    std::printf(
        "PG QUERY rows=%-7d unpaged %8.0f rows/s, psql -At %8.0f rows/s: time / psql %.2f "
        "(target at most 1.5) %s\n",
        rows, rows / u.wall, rows / floor, u.wall / floor, Verdict(u.wall / floor <= 1.5));
    std::printf(
        "PG QUERY rows=%-7d unpaged peak %.1f MiB, reply %.1f MiB: target 2.5 x reply + 32 MiB = "
        "%.1f MiB %s\n",
        rows, u.peak_kib / 1024.0, static_cast<double>(u.reply_bytes) / kMiB, limit_mib,
        Verdict(u.peak_kib / 1024.0 <= limit_mib));
    std::fflush(stdout);
  }
  long highest = 0;
  for (size_t i = 0; i < sizes.size(); ++i) {
    highest = std::max(highest, paged_at[i].peak_kib);
    std::printf(
        "PG QUERY rows=%-7d paged by %d: %8.0f rows/s, peak %.1f MiB (target under 48) %s\n",
        sizes[i], kPageSize, sizes[i] / paged_at[i].wall, paged_at[i].peak_kib / 1024.0,
        Verdict(paged_at[i].peak_kib < 48 * 1024));
  }
  const double growth = static_cast<double>(paged_at.back().peak_kib) /
                        static_cast<double>(paged_at.front().peak_kib);
  std::printf("PG QUERY paged peak at rows=%d / at rows=%d: %.2f (target at most 1.2) %s\n",
              sizes.back(), sizes.front(), growth, Verdict(growth <= 1.2));
  std::fflush(stdout);
}

// The traced statements one after another, as sent, each row write (its
// deletion and insertion) in a unit of work of its own, as the component writes it.
// With `writer_turn`, each unit also takes a line's lock as the component's units do
// on a server (one more round trip, which the trace does not show).
Timing ReplayOnServer(const std::string& connection, const std::vector<std::string>& statements,
                      bool writer_turn) {
  RawOdbc odbc(connection);
  return Measure([&] {
    bool in_unit = false;
    int32_t line = 0;
    for (const std::string& sql : statements) {
      const bool deletion = StartsWith(sql, "delete from ca_mabsw ");
      const bool insertion = StartsWith(sql, "insert into ca_mabsw(");
      if ((deletion || insertion) && !in_unit) {
        odbc.AutoCommit(false);
        if (writer_turn) {
          odbc.Run("select pg_advisory_xact_lock(7140871, " + std::to_string(++line) + ")");
        }
        in_unit = true;
      }
      odbc.Run(sql);
      if (insertion) {
        odbc.Commit();
        odbc.AutoCommit(true);
        in_unit = false;
      }
    }
  });
}

void PreparePgAdd(const std::string& base, int n) {
  ResetSchema(base, n, 0);
  // The first half of the timed request's elements replace rows written here.
  ComponentObject object(Component());
  Transact(object, AddRequest(0, n / 2), InSchema(base));
}

void BenchPgAdd(const std::string& base, int n) {
  const std::string connection = InSchema(base);
  const std::string request = AddRequest(0, n);
  PreparePgAdd(base, n);
  const std::vector<std::string> statements = StatementsOfCall(request, connection);

  // The best of three runs of each, taken in turn: the server shares the
  // machine's two cores with the bench and with whatever else runs.
  Timing component{1e9, 1e9}, replay{1e9, 1e9}, locked{1e9, 1e9};
  auto keep_best = [](Timing& best, const Timing& t) {
    if (t.wall < best.wall) best = t;
  };
  size_t written = 0;
  for (int run = 0; run < 3; ++run) {
    PreparePgAdd(base, n);
    ComponentObject object(Component());
    std::optional<LibraryText> reply;
    keep_best(component, Measure([&] { reply.emplace(Transact(object, request, connection)); }));
    written = Count(reply->view(), "code=\"0\"");
    PreparePgAdd(base, n);
    keep_best(replay, ReplayOnServer(connection, statements, false));
    PreparePgAdd(base, n);
    keep_best(locked, ReplayOnServer(connection, statements, true));
  }
  const double ratio = component.wall / replay.wall;
  std::printf(
      "PG ADD   N=%-6d written=%-6zu statements=%-6zu %8.2f us/element (cpu %6.2f)  replay "
      "%8.2f us/element (cpu %6.2f)  ratio %.3f (target at most 1.25) %s\n",
      n, written, statements.size(), component.wall * 1e6 / n, component.cpu * 1e6 / n,
      replay.wall * 1e6 / n, replay.cpu * 1e6 / n, ratio, Verdict(ratio <= 1.25));
  std::printf(
      "PG ADD   N=%-6d replay with the writer lock of each unit %8.2f us/element (cpu %6.2f)  "
      "ratio %.3f\n",
      n, locked.wall * 1e6 / n, locked.cpu * 1e6 / n, component.wall / locked.wall);
  std::fflush(stdout);
}

}  // namespace

void BenchPostgres(const fs::path& dir, const std::string& connection, bool quick) {
  if (connection.empty()) {
    std::printf("PG lines skipped: no PostgreSQL server was given (QUILLOR_BENCH_PG_CONNECTION)\n");
    return;
  }
  BenchPgAdd(connection, 10000);
  BenchPgQueries(dir, connection, quick);
  RawOdbc(connection).Run(std::string("drop schema if exists ") + kSchema + " cascade");
}

}  // namespace quillor::bench
