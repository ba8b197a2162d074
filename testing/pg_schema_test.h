// For tests against the PostgreSQL server: a fixture with a schema of its own
// and a connection into it, the test skipped when no server was given.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "testing/pg_database.h"

namespace quillor::testing {

class PgSchemaTest : public ::testing::Test {
 protected:
  // `settings` are appended to the schema's connection text (";BlockRows=4").
  explicit PgSchemaTest(std::string settings = "") : settings_(std::move(settings)) {}

  // A fixture's own SetUp calls this first and returns when IsSkipped().
  void SetUp() override {
    const auto text = PgConnectionText();
    if (!text) GTEST_SKIP() << "QUILLOR_TEST_PG_CONNECTION is not set";
    db_ = std::make_unique<PgDatabase>(*text);
    conn_ = OpenConnection(db_->text() + settings_);
  }

  std::unique_ptr<PgDatabase> db_;
  std::unique_ptr<Connection> conn_;

 private:
  std::string settings_;
};

}  // namespace quillor::testing
