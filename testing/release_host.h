// One MaterialComponent object of a chosen release over a temporary host database, with
// every statement the object sends traced, for the releases' end-to-end tests.
#pragma once

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "component/material_component.h"
#include "platform/db/sql_trace.h"
#include "platform/hosts/orvo_login.h"
#include "platform/xml/xml.h"
#include "testing/test_db.h"
#include "testing/xml_text.h"

namespace quillor::testing {

// The text of the "sql" member at the start of one trace line.
inline std::string TracedStatement(std::string_view line) {
  constexpr std::string_view kStart = "{\"sql\": \"";
  if (line.substr(0, kStart.size()) != kStart)
    return "<not a trace line: " + std::string(line) + ">";
  std::string out;
  for (size_t i = kStart.size(); i < line.size(); ++i) {
    const char c = line[i];
    if (c == '"') return out;
    if (c != '\\' || i + 1 == line.size()) {
      out += c;
      continue;
    }
    const char e = line[++i];
    switch (e) {
      case 'r':
        out += '\r';
        break;
      case 'n':
        out += '\n';
        break;
      case 't':
        out += '\t';
        break;
      case 'b':
        out += '\b';
        break;
      case 'f':
        out += '\f';
        break;
      case 'u':
        out += static_cast<char>(std::stoi(std::string(line.substr(i + 1, 4)), nullptr, 16));
        i += 4;
        break;
      default:
        out += e;  // \" and \\ stand for themselves
    }
  }
  return out;
}

class ReleaseHost {
 public:
  explicit ReleaseHost(const ReleaseProfile& profile)
      : profile_(profile),
        object_(MaterialComponent::Create(profile)),
        trace_(db.dir() / "trace.jsonl") {
    // The call's own trace, to a file of the host's: the process's environment
    // stays as it was, and other tests' calls are not traced here.
    hooks_.trace = FileTraceSink(trace_.string());
  }

  // One Transact call, with a login object of the release's own interface.
  std::string Call(std::string_view request) { return CallWith(request, db.ConnectionText()); }
  std::string CallWith(std::string_view request, const std::string& connection_text) {
    com::ComPtr<IOrvoLogin> login = MakeLogin(connection_text, profile_.ids.login_iid);
    IOrvoLogin* raw = login.Get();
    std::string reply;
    if (object_->TransactWith(std::string(request), &raw, &reply, hooks_) != com::S_OK) {
      return "<failed>";
    }
    return reply;
  }

  // The statements sent since the last call of Statements, in order. Lines for
  // writes refused before any statement are kept apart, for RefusedWrites.
  std::vector<std::string> Statements() {
    std::vector<std::string> out;
    std::ifstream in(trace_);
    std::string line;
    size_t n = 0;
    for (; std::getline(in, line); ++n) {
      if (n < seen_) continue;
      if (line.rfind("{\"refused\": ", 0) == 0) {
        refused_.push_back(line);
      } else {
        out.push_back(TracedStatement(line));
      }
    }
    seen_ = n;
    return out;
  }
  // The trace's lines for refused writes, as written, since the last call.
  std::vector<std::string> RefusedWrites() {
    Statements();
    return std::exchange(refused_, {});
  }

  MaterialComponent& object() { return *object_; }
  // The statements are compared as SQLite reports its column names.
  TestDb db{TestDb::Engine::kSqlite};

 private:
  const ReleaseProfile& profile_;
  com::ComPtr<MaterialComponent> object_;
  std::filesystem::path trace_;
  CallHooks hooks_;
  size_t seen_ = 0;
  std::vector<std::string> refused_;
};

// One material element: fields as child elements in the order given.
inline std::string Line(std::string_view id,
                        const std::vector<std::pair<std::string, std::string>>& fields) {
  std::string out = "<material id=\"" + std::string(id) + "\">";
  for (const auto& [name, value] : fields) out += "<" + name + ">" + value + "</" + name + ">";
  return out + "</material>";
}

inline std::string ReleaseAddRequest(const std::string& lines) { return RequestXml({}, lines); }

// A QUERY request; conditions are field elements, paginate an attribute text or none.
inline std::string ReleaseQueryRequest(const std::string& fields, const char* paginate = "0") {
  RequestHead head{.proc = "QUERY"};
  if (paginate) head.paginate = paginate;
  return RequestXml(head, "<material>" + fields + "</material>");
}

inline std::string Field(std::string_view name, std::string_view operation, std::string_view value,
                         std::string_view logic = "") {
  std::string out = "<field name=\"" + std::string(name) + "\" operation=\"" +
                    std::string(operation) + "\" value=\"" + std::string(value) + "\"";
  if (!logic.empty()) out += " logic=\"" + std::string(logic) + "\"";
  return out + "/>";
}

// The item results of an ADD reply as "id code message", or the reply itself
// when it has none.
inline std::vector<std::string> Items(const std::string& reply) {
  XmlDocument doc;
  if (!doc.LoadXml(reply) || !doc.Root()) return {"<unparsable: " + reply + ">"};
  std::vector<std::string> out;
  for (const XmlElement& item : doc.Root().ChildElements()) {
    out.push_back(item.Attribute("id").value_or("?") + " " + item.Attribute("code").value_or("?") +
                  " " + item.Attribute("message").value_or("?"));
  }
  if (out.empty()) out.push_back(reply);
  return out;
}

// The rows of a QUERY reply, each as its fields "name=value" in document order.
inline std::vector<std::map<std::string, std::string>> ReplyRows(const std::string& reply) {
  XmlDocument doc;
  std::vector<std::map<std::string, std::string>> rows;
  if (!doc.LoadXml(reply) || !doc.Root()) return rows;
  for (const XmlElement& row : doc.Root().ChildElements()) {
    std::map<std::string, std::string> fields;
    fields["@id"] = row.Attribute("id").value_or("");
    for (const XmlElement& field : row.ChildElements()) fields[field.Name()] = field.Text();
    rows.push_back(std::move(fields));
  }
  return rows;
}

// The host rows every release scenario starts from: D1 a basic accounting department, M1
// an inventory item, B1 a batch, P1 a product with cost object 7 for D1, and a
// cost object 8 found by production order MO1/1/2 with ompflag 5.
inline void SeedReleaseHost(TestDb& db) {
  db.Run("insert into ca_depDf values('D1',1)");
  db.Run("insert into ca_depDf values('D2',0)");
  db.Run("insert into Inventory values('M1','steel')");
  db.Run("insert into ca_pronb values('B1')");
  db.Run("insert into caq_coreal(iRealCOID,cDeptID,InvCode) values(7,'D1','P1')");
  db.Run(
      "insert into caq_coreal(iRealCOID,cMOCode,iMOSubSN,iMORouteSN,ompflag) "
      "values(8,'MO1',1,2,5)");
  db.Run("insert into ProductStructureEx values('P1')");
}

}  // namespace quillor::testing
