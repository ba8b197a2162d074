#include "fuzz/material_ledger.h"

#include <set>

#include "fuzz/fuzz_check.h"
#include "platform/base/failure.h"
#include "platform/base/text.h"
#include "platform/db/sql_literal.h"
#include "platform/xml/element_values.h"
#include "platform/xml/xml.h"
#include "runtime/conversions.h"
#include "runtime/value_text.h"

namespace quillor::fuzz {
namespace {

constexpr int kKeyColumns = 6;
constexpr const char* kColumns =
    "cDeptID, cppid, cMatID, cBatch, iPeriod, irdcode, iPrice, iQua, iMatQua";
const char* const kOtherTables[] = {"AccInformation", "ca_depDf",          "Inventory",
                                    "ca_pronb",       "caq_coreal",        "ca_batchmap",
                                    "gl_mend",        "ProductStructureEx"};

std::string Key(const MaterialLedger::Row& row) {
  std::string key;
  for (int i = 0; i < kKeyColumns; ++i) key += row[static_cast<size_t>(i)] + '\x1f';
  return key;
}

std::string Describe(const MaterialLedger::Row& row) {
  std::string out;
  for (const std::string& v : row) out += (out.empty() ? "" : "|") + v;
  return out;
}

// The item results of an ADD reply, in order.
std::vector<int> ItemCodes(const std::string& reply) {
  std::vector<int> codes;
  XmlDocument doc;
  Check(doc.LoadXml(reply), "the reply is not XML: " + reply.substr(0, 200));
  for (XmlElement item : doc.Root().ChildElements()) {
    if (item.Name() != "item") continue;
    codes.push_back(std::stoi(item.Attribute("code").value_or("-1")));
  }
  return codes;
}

}  // namespace

MaterialLedger::MaterialLedger(Connection& conn) : conn_(conn) { other_tables_ = OtherTables(); }

void MaterialLedger::Restore() {
  conn_.Execute("delete from ca_mabsw");
  // The row the first sample line (D01, P100, M01, B1, period 3, irdcode 0) writes,
  // and one that no line of the seed corpus touches.
  conn_.Execute(
      "insert into ca_mabsw(cDeptID, cppid, cMatID, cBatch, iPrice, iQua, iPeriod, iMatQua, "
      "irdcode) values ('D01', '1001', 'M01', 'B1', 1, 1, 3, 1, 0)");
  conn_.Execute(
      "insert into ca_mabsw(cDeptID, cMatID, cBatch, iPrice, iQua, iPeriod, iMatQua) "
      "values ('D02', 'M03', '', 4, 2, 7, 8)");
}

MaterialLedger::Rows MaterialLedger::Snapshot() {
  Rows rows;
  auto rs = conn_.Open(std::string("select rowid, ") + kColumns + " from ca_mabsw",
                       CursorType::kForwardOnly);
  for (; !rs->Eof(); rs->MoveNext()) {
    Row row;
    for (int i = 1; i < rs->FieldCount(); ++i) {
      const DbValue v = rs->Value(i);
      row.push_back(v.IsNull() ? "NULL" : ValueText(v));
    }
    rows[rs->Value(0).Integer()] = std::move(row);
  }
  return rows;
}

int64_t MaterialLedger::Count(const std::string& sql) {
  auto rs = conn_.Open(sql, CursorType::kForwardOnly);
  return rs->Eof() ? 0 : rs->Value(0).Integer();
}

std::map<std::string, int64_t> MaterialLedger::OtherTables() {
  std::map<std::string, int64_t> counts;
  for (const char* table : kOtherTables) {
    counts[table] = Count(std::string("select count(*) from ") + table);
  }
  return counts;
}

void MaterialLedger::CheckAfter(const std::string& request, const std::string& reply,
                                const Rows& before) {
  const Rows after = Snapshot();
  Check(OtherTables() == other_tables_, "a table other than the material table changed");

  // The elements the reply reports as written (code 0), read as the component reads them.
  std::vector<std::string> written_keys;  // the condition each written element's row meets
  XmlDocument doc;
  const std::vector<int> codes = ItemCodes(reply);
  if (doc.LoadXml(request)) {
    XmlElement root = doc.Root();
    if (AsciiUpper(AttributeText(root, "proc")) == "ADD") {
      const XmlNodeList materials = root.Select("material");
      Check(codes.size() <= materials.size() + 1, "more item results than elements");
      for (size_t i = 0; i < codes.size() && i < materials.size(); ++i) {
        if (codes[i] != 0) continue;
        XmlElement e = materials[i];
        auto field = [&](const char* name) { return DoubleQuotes(FieldText(e, name)); };
        const std::string irdcode_text = FieldText(e, "irdcode");
        std::string irdcode = " and irdcode is null";
        if (!irdcode_text.empty()) {
          try {
            irdcode = FullNumber(irdcode_text) == 0 ? " and irdcode=0" : " and irdcode=8";
          } catch (const Failure&) {
            Violated("an element with an irdcode that is no number was written");
          }
        }
        written_keys.push_back(
            "cDeptID='" + field("departmentno") + "' and cMatID='" + field("inventoryno") +
            "' and cBatch='" + field("serial") + "' and iPeriod='" + field("period") + "'" +
            irdcode + " and cppid is " + (FieldText(e, "productno").empty() ? "null" : "not null"));
      }
    }
  } else {
    Check(codes.empty(), "item results for a request that does not parse");
  }

  // Rows that stayed are unchanged; rows that went were replaced by a row with their key.
  std::set<std::string> added_keys;
  std::vector<int64_t> added;
  for (const auto& [rowid, row] : after) {
    const auto it = before.find(rowid);
    if (it == before.end()) {
      added.push_back(rowid);
      added_keys.insert(Key(row));
    } else {
      Check(it->second == row, "a row was changed in place: " + Describe(row));
    }
  }
  for (const auto& [rowid, row] : before) {
    if (after.count(rowid) == 0) {
      Check(added_keys.count(Key(row)) == 1, "a row vanished: " + Describe(row));
    }
  }
  Check(added.size() <= written_keys.size(), "more rows were written than reported");

  // Every written element has its row (or the row of a later line with its key), and
  // every new row belongs to a written element.
  std::set<int64_t> explained;
  for (const std::string& condition : written_keys) {
    auto rs = conn_.Open("select rowid from ca_mabsw where " + condition, CursorType::kForwardOnly);
    Check(!rs->Eof(), "a row reported as written is missing: " + condition);
    for (; !rs->Eof(); rs->MoveNext()) explained.insert(rs->Value(0).Integer());
  }
  for (int64_t rowid : added) {
    Check(explained.count(rowid) == 1,
          "a row no reply reported was written: " + Describe(after.at(rowid)));
  }
  Check(Count("select count(*) from (select 1 from ca_mabsw group by cDeptID, cppid, cMatID, "
              "cBatch, iPeriod, irdcode having count(*) > 1)") == 0,
        "two rows share one key");
}

}  // namespace quillor::fuzz
