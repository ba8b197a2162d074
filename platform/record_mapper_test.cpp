// The record mapper: field names from the shipped mapping, value texts, nulls, and
// where the mapping file is found.
#include "platform/record_mapper.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "platform/failure.h"
#include "query/fake_database_test.h"

namespace quillor {
namespace {

namespace fs = std::filesystem;
using testing_fakes::Column;
using testing_fakes::FakeRecordset;

// Sets an environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = getenv(name)) old_ = old;
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class RecordMapperTest : public ::testing::Test {
 protected:
  // The row element's children as name=text pairs.
  std::vector<std::pair<std::string, std::string>> Map(FakeRecordset& rs, RecordMapper& mapper) {
    XmlDocument doc;
    XmlElement row = doc.CreateElement("q");
    doc.SetRoot(row);
    mapper.MapRecord(doc, row, "MaterialXmlRs.Xml", rs);
    std::vector<std::pair<std::string, std::string>> out;
    for (const XmlElement& child : row.ChildElements())
      out.emplace_back(child.Name(), child.Text());
    return out;
  }
  std::vector<std::pair<std::string, std::string>> Map(FakeRecordset& rs) {
    RecordMapper mapper;
    return Map(rs, mapper);
  }
};

TEST_F(RecordMapperTest, EveryResultColumnHasItsField) {
  const std::vector<std::pair<std::string, std::string>> mapping{
      {"cDeptID", "departmentno"}, {"cppid", "productno"},    {"cMatID", "inventoryno"},
      {"cBatch", "serial"},        {"iPrice", "price"},       {"iQua", "quantity"},
      {"iPeriod", "period"},       {"iMatQua", "totalmoney"}, {"irdcode", "irdcode"},
      {"cFree1", "free1"},         {"cFree2", "free2"},       {"cFree3", "free3"},
      {"cFree4", "free4"},         {"cFree5", "free5"},       {"cFree6", "free6"},
      {"cFree7", "free7"},         {"cFree8", "free8"},       {"cFree9", "free9"},
      {"cFree10", "free10"},       {"cbomver", "bomver"},     {"cbomvertd", "bomvertd"},
      {"cmocode", "mocode"},       {"cmosubsn", "mosubsn"},   {"cmoroutesn", "moroutesn"},
      {"ompflag", "ompflag"}};
  std::vector<Column> columns;
  std::vector<DbValue> row;
  for (const auto& [column, field] : mapping) {
    columns.push_back({column, ado_type::kVarChar});
    row.emplace_back(std::string("v-") + field);
  }
  FakeRecordset rs(columns, {row});
  const auto children = Map(rs);
  ASSERT_EQ(children.size(), mapping.size());
  for (size_t i = 0; i < mapping.size(); ++i) {
    EXPECT_EQ(children[i].first, mapping[i].second);
    EXPECT_EQ(children[i].second, "v-" + mapping[i].second);
  }
}

TEST_F(RecordMapperTest, ValuesCaseAndUnmappedColumns) {
  FakeRecordset rs({{"CDEPTID", ado_type::kVarChar},
                    {"iQua", ado_type::kDouble},
                    {"iprice", ado_type::kDouble},
                    {"iMatQua", ado_type::kDouble},
                    {"iPeriod", ado_type::kInteger},
                    {"cFree1", ado_type::kVarChar},
                    {"cFree2", ado_type::kVarChar},
                    {"ExtraCol", ado_type::kInteger}},
                   {{DbValue(std::string("D<&>1 ")), DbValue(2.5), DbValue(6.0), DbValue(0.1),
                     DbValue(int64_t{-12}), DbValue(), DbValue(std::string("")),
                     DbValue(int64_t{1234567890123})}});
  const std::vector<std::pair<std::string, std::string>> expected{{"departmentno", "D<&>1 "},
                                                                  {"quantity", "2.5"},
                                                                  {"price", "6"},
                                                                  {"totalmoney", "0.1"},
                                                                  {"period", "-12"},
                                                                  {"free1", ""},
                                                                  {"free2", ""},
                                                                  {"extracol", "1234567890123"}};
  EXPECT_EQ(Map(rs), expected);
}

TEST_F(RecordMapperTest, NullGivesAnEmptyElement) {
  XmlDocument doc;
  XmlElement row = doc.CreateElement("q");
  doc.SetRoot(row);
  FakeRecordset rs({{"cFree1", ado_type::kVarChar}}, {{DbValue()}});
  RecordMapper().MapRecord(doc, row, "MaterialXmlRs.Xml", rs);
  EXPECT_EQ(doc.Serialize(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<q><free1/></q>");
}

TEST_F(RecordMapperTest, UnknownMappingNamesFail) {
  for (const char* name : {"NoSuchMapping.Xml", "", "..", "../data/MaterialXmlRs.Xml"}) {
    XmlDocument doc;
    XmlElement row = doc.CreateElement("q");
    FakeRecordset rs({{"cFree1", ado_type::kVarChar}}, {{DbValue()}});
    EXPECT_THROW(RecordMapper().MapRecord(doc, row, name, rs), Failure) << name;
    EXPECT_TRUE(row.ChildElements().empty());
  }
}

TEST_F(RecordMapperTest, DataDirectoryIsReadOncePerMapper) {
  std::string tmpl = (fs::temp_directory_path() / "quillor-mapper-XXXXXX").string();
  const fs::path dir = mkdtemp(tmpl.data());
  const fs::path file = dir / "MaterialXmlRs.Xml";
  std::ofstream(file) << "<mapping><column name=\"cdeptid\" field=\"dept\"/></mapping>";
  {
    ScopedEnv env("QUILLOR_DATA_DIR", dir.string());
    FakeRecordset rs({{"cDeptID", ado_type::kVarChar}}, {{DbValue(std::string("01"))}});
    RecordMapper mapper;
    EXPECT_EQ(Map(rs, mapper), (std::vector<std::pair<std::string, std::string>>{{"dept", "01"}}));
    // A second row uses the mapping already loaded, not the file as it is now.
    fs::remove(file);
    EXPECT_EQ(Map(rs, mapper), (std::vector<std::pair<std::string, std::string>>{{"dept", "01"}}));
    RecordMapper fresh;
    EXPECT_THROW(Map(rs, fresh), Failure);
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace quillor
