// The record mapper: value texts, nulls, unmapped columns, and where the mapping
// file is found. (Every field of the shipped mapping shows in the query tests.)
#include "query/record_mapper.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/base/failure.h"
#include "testing/scoped_env.h"
#include "testing/fake_database.h"
#include "testing/temp_dir.h"

namespace quillor {
namespace {

namespace fs = std::filesystem;
using testing_fakes::Column;
using testing_fakes::FakeRecordset;

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
  // The document of the current row mapped into a <q> root, serialised.
  static std::string MapAsTree(FakeRecordset& rs, RecordMapper& mapper) {
    XmlDocument doc;
    XmlElement row = doc.CreateElement("q");
    doc.SetRoot(row);
    mapper.MapRecord(doc, row, "MaterialXmlRs.Xml", rs);
    return doc.Serialize();
  }
  // The current row written as text in a <q> element.
  static std::string WriteAsText(FakeRecordset& rs, RecordMapper& mapper) {
    std::string text;
    XmlTextWriter writer(text);
    const XmlName q("q");
    writer.StartElement(q);
    mapper.WriteRecord(writer, "MaterialXmlRs.Xml", rs);
    writer.EndElement();
    return text;
  }
  // The mapped columns of a material line, spelt in mixed case; `more` follow them.
  static std::vector<Column> MaterialColumns(std::vector<Column> more) {
    std::vector<Column> columns{{"CDEPTID", ado_type::kVarChar}, {"iQua", ado_type::kDouble},
                                {"iprice", ado_type::kDouble},   {"iMatQua", ado_type::kDouble},
                                {"iPeriod", ado_type::kInteger}, {"cFree1", ado_type::kVarChar},
                                {"cFree2", ado_type::kVarChar}};
    columns.insert(columns.end(), more.begin(), more.end());
    return columns;
  }
};

TEST_F(RecordMapperTest, ValuesCaseAndUnmappedColumns) {
  FakeRecordset rs(MaterialColumns({{"ExtraCol", ado_type::kInteger}}),
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
  FakeRecordset rs({{"cFree1", ado_type::kVarChar}}, {{DbValue()}});
  RecordMapper mapper;
  EXPECT_EQ(MapAsTree(rs, mapper), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<q><free1/></q>");
}

// One mapper over rows of one result and then of another: each row is named by its
// own result's columns, also when a result's columns are not the ones worked out
// for the previous result at that address.
TEST_F(RecordMapperTest, EachResultIsNamedByItsOwnColumns) {
  RecordMapper mapper;
  FakeRecordset first(
      {{"cDeptID", ado_type::kVarChar}, {"iQua", ado_type::kDouble}},
      {{DbValue(std::string("D1")), DbValue(1.5)}, {DbValue(std::string("D2")), DbValue()}});
  using Row = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(Map(first, mapper), (Row{{"departmentno", "D1"}, {"quantity", "1.5"}}));
  first.MoveNext();
  EXPECT_EQ(Map(first, mapper), (Row{{"departmentno", "D2"}, {"quantity", ""}}));

  FakeRecordset second({{"IQUA", ado_type::kDouble}, {"other", ado_type::kInteger}},
                       {{DbValue(2.0), DbValue(int64_t{-9223372036854775807 - 1})}});
  EXPECT_EQ(Map(second, mapper), (Row{{"quantity", "2"}, {"other", "-9223372036854775808"}}));

  // The same object given other columns (as a result made anew in the same place).
  first = FakeRecordset({{"cMatID", ado_type::kVarChar}}, {{DbValue(std::string("M"))}});
  EXPECT_EQ(Map(first, mapper), (Row{{"inventoryno", "M"}}));
  first = FakeRecordset({{"cBatch", ado_type::kVarChar}}, {{DbValue(std::string("B"))}});
  EXPECT_EQ(Map(first, mapper), (Row{{"serial", "B"}}));
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
  const testing::TempDir temp;
  const fs::path& dir = temp.path();
  const fs::path file = dir / "MaterialXmlRs.Xml";
  std::ofstream(file) << "<mapping><column name=\"cdeptid\" field=\"dept\"/></mapping>";
  const ScopedEnv data_dir("QUILLOR_DATA_DIR", dir.string().c_str());
  FakeRecordset rs({{"cDeptID", ado_type::kVarChar}}, {{DbValue(std::string("01"))}});
  RecordMapper mapper;
  EXPECT_EQ(Map(rs, mapper), (std::vector<std::pair<std::string, std::string>>{{"dept", "01"}}));
  // A second row uses the mapping already loaded, not the file as it is now.
  fs::remove(file);
  EXPECT_EQ(Map(rs, mapper), (std::vector<std::pair<std::string, std::string>>{{"dept", "01"}}));
  RecordMapper fresh;
  EXPECT_THROW(Map(rs, fresh), Failure);
}

// Written as text, a row has the children the tree gives it, byte for byte: texts
// escaped, nulls and empty texts as empty elements, numbers as the runtime writes
// them, each result named by its own columns.
TEST_F(RecordMapperTest, WrittenAsTextAsTheTreeWritesIt) {
  FakeRecordset rs(
      MaterialColumns({{"cFree3", ado_type::kVarChar}, {"ExtraCol", ado_type::kBigInt}}),
      {{DbValue(std::string("D<&>1\r\n\"")), DbValue(2.5), DbValue(-0.0), DbValue(1e21),
        DbValue(int64_t{-12}), DbValue(), DbValue(std::string("")), DbValue(std::string("成功")),
        DbValue(int64_t{-9223372036854775807 - 1})},
       {DbValue(std::string("")), DbValue(0.1), DbValue(6.0), DbValue(123456.789),
        DbValue(int64_t{0}), DbValue(std::string(" ")), DbValue(), DbValue(),
        DbValue(int64_t{9223372036854775807})}});
  const std::string expected[] = {
      "<q><departmentno>D&lt;&amp;&gt;1&#13;\n\"</departmentno><quantity>2.5</quantity>"
      "<price>0</price><totalmoney>1e+21</totalmoney><period>-12</period><free1/><free2/>"
      "<free3>成功</free3><extracol>-9223372036854775808</extracol></q>",
      "<q><departmentno/><quantity>0.1</quantity><price>6</price>"
      "<totalmoney>123456.789</totalmoney><period>0</period><free1> </free1><free2/><free3/>"
      "<extracol>9223372036854775807</extracol></q>"};
  RecordMapper tree_mapper;
  RecordMapper text_mapper;
  for (const std::string& want : expected) {
    const std::string tree = MapAsTree(rs, tree_mapper);
    EXPECT_EQ(tree.substr(tree.find('\n') + 1), want);

    EXPECT_EQ(WriteAsText(rs, text_mapper), want);
    rs.MoveNext();
  }

  // Another result in the same place is named by its own columns.
  rs = FakeRecordset({{"cBatch", ado_type::kVarChar}}, {{DbValue(std::string("B"))}});
  EXPECT_EQ(WriteAsText(rs, text_mapper), "<q><serial>B</serial></q>");
}

TEST_F(RecordMapperTest, WrittenAsTextAColumnNamedOutsideXmlNamesFails) {
  FakeRecordset rs({{"count(*)", ado_type::kInteger}}, {{DbValue(int64_t{1})}});
  std::string text;
  XmlTextWriter writer(text);
  const XmlName q("q");
  writer.StartElement(q);
  try {
    RecordMapper().WriteRecord(writer, "MaterialXmlRs.Xml", rs);
    ADD_FAILURE() << "no failure";
  } catch (const Failure& f) {
    EXPECT_EQ(f.description(), "'count(*)' is not a valid element name");
  }
}

}  // namespace
}  // namespace quillor
