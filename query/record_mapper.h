// Our stand-in for the record mapper: fills one reply element from one result row
// by a named mapping. The mapping "MaterialXmlRs.Xml" is a data file shipped with
// the project that maps result columns (letter case not significant) to the field
// names of a material element.
//
// The file is looked for in $QUILLOR_DATA_DIR when set, else beside the library
// (or program) the mapper runs in. One object takes a mapping once and keeps it
// for every row it maps; the file itself is read once per process and read again
// only when it changes (query/mapping_files.h).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/db/database.h"
#include "platform/xml/xml.h"
#include "platform/xml/xml_writer.h"
#include "query/mapping_files.h"

namespace quillor {

class RecordMapper {
 public:
  // For each column of the current row, in result order, appends to element a
  // child named by the mapped field (an unmapped column: its own name in lower
  // case) whose text is the value; null gives an empty element. The element is
  // left designating the element to append. doc is the document that owns element
  // and creates its children. An unknown mapping name is a failure.
  void MapRecord(XmlDocument& doc, XmlElement& element, std::string_view mapping,
                 Recordset& result);

  // The same children, written as text into the element that `out` has open.
  void WriteRecord(XmlTextWriter& out, std::string_view mapping, Recordset& result);

 private:
  const MappingColumns& Load(std::string_view mapping);
  // The field name of each column of the result, in result order.
  const std::vector<std::string>& FieldsFor(const MappingColumns& columns, const Recordset& result);

  std::string loaded_name_;
  std::shared_ptr<const MappingColumns> loaded_;
  const Recordset* fields_of_ = nullptr;  // the result the lists below were made for
  std::vector<std::string> column_names_;
  std::vector<std::string> field_names_;
  std::vector<XmlName> field_tags_;  // field_names_ checked, made when first written as text
};

}  // namespace quillor
