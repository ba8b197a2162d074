// For tests: a PostgreSQL database reached through ODBC when QUILLOR_TEST_PG_CONNECTION
// names one (scripts/postgres starts a throwaway server and exports it). Each
// PgDatabase is a schema of its own, dropped with everything in it at the end, so
// that tests running side by side never see each other's rows.
#pragma once

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "platform/db/open_connection.h"

namespace quillor::testing {

// The server's connection text, or nothing when no server was given.
inline std::optional<std::string> PgConnectionText() {
  const char* text = std::getenv("QUILLOR_TEST_PG_CONNECTION");
  if (text == nullptr || *text == '\0') return std::nullopt;
  return std::string(text);
}

class PgDatabase {
 public:
  explicit PgDatabase(std::string base) : base_(std::move(base)) {
    static std::atomic<int> counter{0};
    schema_ = "quillor_test_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
    auto admin = OpenConnection(base_);
    admin->Execute("drop schema if exists " + schema_ + " cascade");
    admin->Execute("create schema " + schema_);
  }
  ~PgDatabase() {
    try {
      OpenConnection(base_)->Execute("drop schema if exists " + schema_ + " cascade");
    } catch (...) {  // a server gone at the end leaves nothing worth reporting here
    }
  }
  PgDatabase(const PgDatabase&) = delete;
  PgDatabase& operator=(const PgDatabase&) = delete;

  // A connection text whose every connection works inside this schema only.
  std::string text() const { return base_ + ";ConnSettings={set search_path to " + schema_ + "}"; }
  std::unique_ptr<Connection> Open() const { return OpenConnection(text()); }
  const std::string& schema() const { return schema_; }

 private:
  std::string base_;
  std::string schema_;
};

}  // namespace quillor::testing
