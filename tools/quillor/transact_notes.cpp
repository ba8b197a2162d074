#include "tools/quillor/transact_notes.h"

#include <ostream>

namespace quillor {

namespace {

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

std::vector<std::string> ExplainItems(const SessionFacts& facts, const std::vector<ItemNote>& items,
                                      const LibraryQueries& library) {
  if (items.empty()) {
    if (facts.operation != QUILLOR_OPERATION_QUERY) return {"# no item results"};
    return {"# " + std::to_string(facts.rows) + (facts.rows == 1 ? " row" : " rows") +
            " in the reply"};
  }
  std::vector<std::string> out;
  for (const ItemNote& item : items) {
    const quillor_item_t values{item.id ? item.id->c_str() : nullptr, item.code,
                                item.message.c_str(), item.reason.c_str(), item.state.c_str()};
    out.push_back(library.gloss_item(values));
    if (item.id && !item.reason.empty()) out.push_back("#   why: " + OnOneLine(item.reason));
  }
  return out;
}

std::string DriverState(const std::vector<ItemNote>& items) {
  for (const ItemNote& item : items) {
    if (!item.id && !item.state.empty()) return item.state;
  }
  return {};
}

namespace {

constexpr const char* kConnectionForms =
    "  the forms: Provider=SQLite;Data Source=PATH\n"
    "             Provider=SQLOLEDB;Data Source=HOST;Initial Catalog=DB;User ID=USER;Password=...\n"
    "             Driver=PostgreSQL Unicode;Server=HOST;Port=5432;Database=DB;UID=USER;PWD=...\n"
    "             DSN=NAME;UID=USER;PWD=...   (a data source of odbc.ini)\n";

// A text that is no SQLite text went to the ODBC driver manager, which names
// neither a data source nor a driver it knows.
bool DriverManagerKnewIt(std::string_view driver_state) { return driver_state != "IM002"; }

}  // namespace

void NoteAfterReply(const std::string& connection, std::string_view driver_state,
                    uint64_t request_bytes, const LibraryQueries& library, std::ostream& err) {
  if (connection.find_first_not_of(" \t\r\n\f\v") == std::string::npos) {
    err << "quillor: no connection text: give --connection TEXT or set QUILLOR_CONNECTION\n"
        << kConnectionForms;
    return;
  }
  const ConnectionFacts facts = library.connection_facts(connection);
  if (facts.provider_refusal) {  // a provider nothing here opens: the reply's words, and the forms
    err << "quillor: " << *facts.provider_refusal << "\n" << kConnectionForms;
    return;
  }
  if (!DriverManagerKnewIt(driver_state)) {
    err << "quillor: the connection text is neither Provider=SQLite nor an ODBC text the driver "
           "manager knows\n"
        << kConnectionForms;
  }
  // A bound that is no number: the reply says so.
  if (!facts.bound_refused && request_bytes > facts.request_bound) {
    if (const auto note = library.oversized_note(connection, request_bytes, "")) {
      err << "quillor: " << *note << "\n";
    }
  }
}

}  // namespace quillor
