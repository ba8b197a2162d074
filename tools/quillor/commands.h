// The subcommands of the quillor command. Each returns the process exit code:
// 0 on success, 1 when the work failed (the reason is written to err).
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

namespace quillor {

struct TransactOptions {
  std::optional<std::string> connection;  // an explicit empty text is kept
  std::string release = "8.71";
  std::optional<std::string> library;
  std::optional<std::string> trace_sql;
  std::optional<std::string> pages_dir;
  bool overwrite = false;     // --pages-dir may hold page files of an earlier run
  bool explain = false;       // English notes on standard error
  std::string request = "-";  // a file, or - for standard input
};

struct InitDbOptions {
  std::string connection;
  bool sample = false;
};

struct RegisterOptions {
  std::string release = "8.71";
  bool release_given = false;  // --release was named, so a library of another release is warned of
  std::optional<std::string> library;
  bool unregister = false;
};

struct DemoOptions {
  std::string dir = "./quillor-demo";
  std::optional<std::string> library;
};

int RunTransact(const TransactOptions& options, std::istream& in, std::ostream& out,
                std::ostream& err);
int RunInitDb(const InitDbOptions& options, std::ostream& out, std::ostream& err);
int RunRegister(const RegisterOptions& options, std::ostream& out, std::ostream& err);
int RunDemo(const DemoOptions& options, std::ostream& out, std::ostream& err);

// Has the release library at `library` make the database of a connection text
// ready (SQLite files first, its host tables and, when asked, the sample rows);
// reports what was made on out. given: the user named the library.
void InitDatabase(const std::string& connection, bool sample, const std::string& library,
                  bool given, std::ostream& out);

}  // namespace quillor
