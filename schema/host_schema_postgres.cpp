#include "schema/host_schema_postgres.h"

#include <string>

namespace quillor {
namespace {

struct Comparison {
  const char* function;
  const char* left;
  const char* right;
  const char* body;
};

constexpr Comparison kComparisons[] = {
    {"quillor_text_eq_int", "text", "integer", "select $1 = $2::text"},
    {"quillor_int_eq_text", "integer", "text", "select $1::text = $2"},
};

}  // namespace

void CreatePostgresComparisons(Connection& conn) {
  for (const Comparison& c : kComparisons) {
    const std::string args = std::string(c.left) + ", " + c.right;
    conn.Execute("create or replace function " + std::string(c.function) + "(" + args +
                 ") returns boolean language sql immutable strict as '" + c.body + "'");
    auto existing =
        conn.Open("select oprname from pg_operator where oprname = '=' and oprleft = '" +
                      std::string(c.left) + "'::regtype and oprright = '" + c.right +
                      "'::regtype and pg_operator_is_visible(oid)",
                  CursorType::kStatic);
    if (existing->RecordCount() > 0) continue;
    conn.Execute("create operator = (leftarg = " + std::string(c.left) + ", rightarg = " + c.right +
                 ", function = " + c.function + ", commutator = =)");
  }
}

}  // namespace quillor
