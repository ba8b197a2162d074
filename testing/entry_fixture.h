// What the material-entry tests share: a host database behind a recording
// connection, the release's message texts, and material elements built from
// field lists.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "entry/entry_context.h"
#include "platform/base/failure.h"
#include "platform/db/sql_literal.h"
#include "platform/xml/xml.h"
#include "profiles/release_profile.h"
#include "testing/test_db.h"
#include "testing/xml_text.h"

namespace quillor::testing {

using Fields = std::vector<std::pair<std::string, std::string>>;

// The release's own texts; an unknown ID fails as the catalogue does.
class TableMessages final : public MessageTexts {
 public:
  explicit TableMessages(const ReleaseProfile& profile) : table_(profile.message_texts()) {}
  std::string Text(std::string_view id) const override {
    ++lookups;
    const auto it = table_.find(id);
    if (it == table_.end()) throw Failure(failure_numbers::kFail, "no message " + std::string(id));
    return it->second;
  }
  mutable int lookups = 0;

 private:
  const MessageTextMap& table_;
};

// One material element whose fields are child elements, in the given order.
class MaterialElement {
 public:
  explicit MaterialElement(const Fields& fields) {
    std::string xml = "<material id=\"1\">";
    for (const auto& [name, value] : fields) {
      xml += "<" + name + ">" + EscapeXml(value) + "</" + name + ">";
    }
    xml += "</material>";
    EXPECT_TRUE(doc_.LoadXml(xml)) << xml;
  }
  XmlElement element() const { return doc_.Root(); }

 private:
  XmlDocument doc_;
};

// The fields as a list, with one field replaced, added, or (value nullptr) removed.
inline Fields With(Fields fields, const std::string& name, const char* value) {
  for (auto it = fields.begin(); it != fields.end(); ++it) {
    if (it->first == name) {
      if (value == nullptr) {
        fields.erase(it);
      } else {
        it->second = value;
      }
      return fields;
    }
  }
  if (value != nullptr) fields.emplace_back(name, value);
  return fields;
}

class EntryTest : public ::testing::Test {
 protected:
  EntryContext Context() {
    messages_ = std::make_unique<TableMessages>(*profile_);
    return EntryContext{recorder_, *messages_, *profile_, mode_};
  }
  void UseRelease(const ReleaseProfile& profile) { profile_ = &profile; }
  void UseMode(int16_t mode) { mode_ = mode; }

  static std::string Quote(std::string_view text) { return "'" + DoubleQuotes(text) + "'"; }
  void AddDepartment(std::string_view code, bool base = true) {
    db_.Run("insert into ca_depDf values(" + Quote(code) + "," + (base ? "1" : "0") + ")");
  }
  void AddInventory(std::string_view code) {
    db_.Run("insert into Inventory values(" + Quote(code) + ",'')");
  }
  void AddBatch(std::string_view batch) {
    db_.Run("insert into ca_pronb values(" + Quote(batch) + ")");
  }
  void SetCostingMethod(std::string_view value_sql) {
    db_.Run("insert into AccInformation values('ca','06','成本计算方法'," + std::string(value_sql) +
            ")");
  }
  void AddCostObject(std::string_view id_sql, std::string_view dept, std::string_view product) {
    db_.Run("insert into caq_coreal(iRealCOID,cDeptID,InvCode) values(" + std::string(id_sql) +
            "," + Quote(dept) + "," + Quote(product) + ")");
  }

  const std::vector<std::string>& Statements() const { return recorder_.statements(); }

  TestDb db_;
  RecordingConnection recorder_{db_.conn()};
  const ReleaseProfile* profile_ = &Release871();
  int16_t mode_ = 0;
  std::unique_ptr<TableMessages> messages_;
};

}  // namespace quillor::testing
