#include "tools/quillor/transact_notes.h"

#include <ostream>

#include "component/request_bound.h"
#include "platform/base/failure.h"
#include "platform/base/json_string.h"
#include "platform/base/text.h"
#include "platform/db/connection_text.h"
#include "platform/db/provider_text.h"
#include "tools/quillor/reply_gloss.h"

namespace quillor {

namespace {

// The value of a string member of one trace line, or empty.
std::string Member(std::string_view line, std::string_view name) {
  const std::string key = "\"" + std::string(name) + "\": ";
  size_t at = line.find(key);
  if (at == std::string_view::npos) return {};
  at += key.size();
  std::string why;
  return ReadJsonString(line, at, why).value_or("");
}

// A reason carries the request's text: its line feeds are shown, not obeyed.
std::string OnOneLine(std::string text) {
  std::string out;
  for (const char c : text) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::map<std::string, std::vector<std::string>> RefusedWrites(std::string_view trace_lines) {
  std::map<std::string, std::vector<std::string>> out;
  size_t start = 0;
  while (start < trace_lines.size()) {
    size_t end = trace_lines.find('\n', start);
    if (end == std::string_view::npos) end = trace_lines.size();
    const std::string_view line = trace_lines.substr(start, end - start);
    if (line.rfind("{\"refused\": ", 0) == 0) {
      out[Member(line, "item")].push_back(OnOneLine(Member(line, "refused")));
    }
    start = end + 1;
  }
  return out;
}

std::vector<std::string> ExplainReply(
    std::string_view reply, const std::map<std::string, std::vector<std::string>>& refused) {
  std::vector<std::string> out;
  for (const std::string& line : GlossReply(reply)) {
    out.push_back(line);
    constexpr std::string_view kItem = "# item ";
    if (line.rfind(kItem, 0) != 0) continue;
    const size_t colon = line.find(": ", kItem.size());
    if (colon == std::string::npos) continue;
    const auto it = refused.find(line.substr(kItem.size(), colon - kItem.size()));
    if (it == refused.end()) continue;
    for (const std::string& reason : it->second) out.push_back("#   why: " + reason);
  }
  return out;
}

namespace {

constexpr const char* kConnectionForms =
    "  the forms: Provider=SQLite;Data Source=PATH\n"
    "             Provider=SQLOLEDB;Data Source=HOST;Initial Catalog=DB;User ID=USER;Password=...\n"
    "             Driver=PostgreSQL Unicode;Server=HOST;Port=5432;Database=DB;UID=USER;PWD=...\n"
    "             DSN=NAME;UID=USER;PWD=...   (a data source of odbc.ini)\n";

// A text that is no SQLite text went to the ODBC driver manager, which names
// neither a data source nor a driver it knows (state IM002).
bool DriverManagerKnewIt(std::string_view reply) {
  return reply.find("IM002") == std::string_view::npos &&
         reply.find("Data source name not found") == std::string_view::npos;
}

}  // namespace

void NoteAfterReply(const std::string& connection, std::string_view reply, uint64_t request_bytes,
                    std::ostream& err) {
  if (Trim(connection, IsSpace).empty()) {
    err << "quillor: no connection text: give --connection TEXT or set QUILLOR_CONNECTION\n"
        << kConnectionForms;
    return;
  }
  try {
    ProviderOf(ConnectionText::Lenient(connection));
  } catch (const Failure& f) {  // a provider nothing here opens: the reply's words, and the forms
    err << "quillor: " << f.description() << "\n" << kConnectionForms;
    return;
  }
  if (!DriverManagerKnewIt(reply)) {
    err << "quillor: the connection text is neither Provider=SQLite nor an ODBC text the driver "
           "manager knows\n"
        << kConnectionForms;
  }
  try {
    const ConnectionText text = ConnectionText::Lenient(connection);
    if (request_bytes > MaxRequestBytes(text)) {
      err << "quillor: " << OversizedRequestNote(request_bytes, text) << "\n";
    }
  } catch (const Failure&) {  // a bound that is no number: the reply says so
  }
}

}  // namespace quillor
