// The check behind the request fuzz target: the material table holds exactly the
// rows the replies report as written. Rows are told apart by their rowid, so a
// row deleted and written again counts as a new row.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/db/database.h"

namespace quillor::fuzz {

class MaterialLedger {
 public:
  using Row = std::vector<std::string>;  // the key columns first, then the values
  using Rows = std::map<int64_t, Row>;

  explicit MaterialLedger(Connection& conn);

  // Puts the table back to its seed rows (one with the key a sample line writes).
  void Restore();
  Rows Snapshot();
  // Aborts, naming the broken rule, unless the table's change since `before` is
  // what the reply to the request reports.
  void CheckAfter(const std::string& request, const std::string& reply, const Rows& before);

 private:
  int64_t Count(const std::string& sql);
  std::map<std::string, int64_t> OtherTables();

  Connection& conn_;
  std::map<std::string, int64_t> other_tables_;
};

}  // namespace quillor::fuzz
