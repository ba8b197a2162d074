// Shared by the reliability tests: a host database with the sample rows, a way to
// send one request, the item results of a reply, and the material table's rows.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "component/material_component.h"
#include "messages/message_ids.h"
#include "messages/message_text_map.h"
#include "platform/xml/xml.h"
#include "profiles/release_profile.h"
#include "testing/test_db.h"
#include "testing/xml_text.h"
#include "schema/sample_data.h"

namespace quillor::testing {

struct ReplyItem {
  std::string id;
  int code = 0;
  std::string message;
  bool operator==(const ReplyItem&) const = default;
};

// A reply as the tests look at it: the error reply's code and message, or the
// ADD reply's item results.
struct ParsedReply {
  bool parses = false;
  bool is_error = false;  // a reply with a code of its own
  std::string code;
  std::string message;
  std::vector<ReplyItem> items;
};

inline ParsedReply Parse(const std::string& reply) {
  ParsedReply out;
  XmlDocument doc;
  if (!doc.LoadXml(reply)) return out;
  out.parses = true;
  XmlElement root = doc.Root();
  if (auto code = root.Attribute("code")) {
    out.is_error = true;
    out.code = *code;
    out.message = root.Attribute("message").value_or("");
  }
  for (XmlElement item : root.ChildElements()) {
    if (item.Name() != "item") continue;
    out.items.push_back({item.Attribute("id").value_or(""),
                         std::stoi(item.Attribute("code").value_or("-1")),
                         item.Attribute("message").value_or("")});
  }
  return out;
}

inline std::string Text(std::string_view id) { return CatalogueTexts871().find(id)->second; }

// The texts of the item results that do not come from the request.
inline std::string SuccessText() { return Text(msg::kSuccess); }
inline std::string WriteFailedText() {
  return Text(msg::kDatabaseOperationError) + Text(msg::kRecordExists);
}

// Sends one request on an object, with a login object for that connection text.
inline std::string Send(MaterialComponent& object, std::string_view request,
                        const std::string& connection_text) {
  com::ComPtr<IOrvoLogin> login = MakeLogin(connection_text, object.profile().ids.login_iid);
  IOrvoLogin* raw = login.Get();
  std::string reply;
  EXPECT_EQ(object.Transact(std::string(request), &raw, &reply), com::S_OK);
  return reply;
}

// A host database with the host tables and the sample rows.
class SampleDb : public TestDb {
 public:
  explicit SampleDb(Engine engine = Engine::kAsConfigured) : TestDb(engine) {
    InsertSampleData(conn());
  }

  // The material table, one text per row, in a fixed order.
  std::vector<std::string> MaterialRows() {
    std::vector<std::string> out;
    for (const auto& row :
         Rows("select cDeptID, cppid, cMatID, cBatch, iPrice, iQua, iPeriod, iMatQua, irdcode "
              "from ca_mabsw order by cDeptID, cMatID, cBatch, iPeriod, iQua")) {
      std::string line;
      for (const std::string& v : row) line += (line.empty() ? "" : "|") + v;
      out.push_back(line);
    }
    return out;
  }
};

// One material element with every field the sample data accepts.
inline std::string Material(std::string_view id, std::string_view inventory,
                            std::string_view period, std::string_view quantity,
                            std::string_view serial = "B1") {
  return "<material id=\"" + std::string(id) +
         "\"><departmentno>D01</departmentno><productno>P100</productno><inventoryno>" +
         std::string(inventory) + "</inventoryno><serial>" + std::string(serial) +
         "</serial><price>2</price><quantity>" + std::string(quantity) + "</quantity><period>" +
         std::string(period) + "</period><totalmoney>" +
         std::to_string(2 * std::stoi(std::string(quantity))) +
         "</totalmoney><irdcode>0</irdcode></material>";
}

inline std::string AddRequest(const std::string& materials) {
  return RequestXml({.root = "zqinterface"}, materials);
}

// The rows of a QUERY reply; -1 when the reply is no XML.
inline int QueryRows(const std::string& reply) {
  XmlDocument doc;
  if (!doc.LoadXml(reply)) return -1;
  int rows = 0;
  for (XmlElement e : doc.Root().ChildElements()) rows += e.Name() == "material";
  return rows;
}

}  // namespace quillor::testing
