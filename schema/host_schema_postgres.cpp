#include "schema/host_schema_postgres.h"

#include <string>
#include <vector>

namespace quillor {
namespace {

// A text as the host engine reads it when it meets a number: blanks around it,
// an optional sign, digits with at most one full stop, an exponent; an empty text
// is 0. Any other text is no number (null), so that it matches nothing.
constexpr const char* kTextNumber =
    "create or replace function quillor_text_number(text) returns numeric language sql immutable "
    "strict as 'select case when btrim($1) = '''' then 0::numeric "
    "when btrim($1) ~ ''^[+-]{0,1}([0-9]+[.]{0,1}[0-9]*|[.][0-9]+)([eE][+-]{0,1}[0-9]+){0,1}$'' "
    "then btrim($1)::numeric end'";

struct Comparison {
  std::string op;
  std::string function;
  std::string left;
  std::string right;
  std::string body;
  std::string commutator;  // empty: none declared
};

// Text against a number compares the text's number, as the host engine converts a
// text that meets a number: "a.cppid=b.iRealCOID" (the cost-object id kept as
// text) and release 8.61's str() columns compared with bare numbers.
std::vector<Comparison> Comparisons() {
  // The two "=" with integer that earlier schemas made keep their names; their
  // bodies compared decimal texts, which missed a right-aligned number.
  std::vector<Comparison> out{
      {"=", "quillor_text_eq_int", "text", "integer", "select quillor_text_number($1) = $2", "="},
      {"=", "quillor_int_eq_text", "integer", "text", "select $1 = quillor_text_number($2)", "="},
  };
  const struct {
    const char* op;
    const char* name;
  } ops[] = {{"=", "eq"}, {"<>", "ne"}, {"<", "lt"}, {">", "gt"}, {"<=", "le"}, {">=", "ge"}};
  for (const auto& o : ops) {
    out.push_back({o.op, std::string("quillor_text_") + o.name + "_num", "text", "numeric",
                   std::string("select quillor_text_number($1) ") + o.op + " $2", ""});
    out.push_back({o.op, std::string("quillor_num_") + o.name + "_text", "numeric", "text",
                   std::string("select $1 ") + o.op + " quillor_text_number($2)", ""});
  }
  return out;
}

}  // namespace

void CreatePostgresComparisons(Connection& conn) {
  conn.Execute(kTextNumber);
  for (const Comparison& c : Comparisons()) {
    const std::string args = c.left + ", " + c.right;
    conn.Execute("create or replace function " + c.function + "(" + args +
                 ") returns boolean language sql immutable strict as '" + c.body + "'");
    auto existing =
        conn.Open("select oprname from pg_operator where oprname = '" + c.op + "' and oprleft = '" +
                      c.left + "'::regtype and oprright = '" + c.right +
                      "'::regtype and oprcode <> 0 and "
                      "pg_operator_is_visible(oid)",
                  CursorType::kStatic);
    if (existing->RecordCount() > 0) continue;
    conn.Execute("create operator " + c.op + " (leftarg = " + c.left + ", rightarg = " + c.right +
                 ", function = " + c.function +
                 (c.commutator.empty() ? "" : ", commutator = " + c.commutator) + ")");
  }
}

}  // namespace quillor
