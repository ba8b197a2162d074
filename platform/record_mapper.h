// Our stand-in for the record mapper: fills one reply element from one result row
// by a named mapping. The mapping "MaterialXmlRs.Xml" is a data file shipped with
// the project that maps result columns (letter case not significant) to the field
// names of a material element.
#pragma once

#include <string_view>

#include "platform/database.h"
#include "platform/xml.h"

namespace quillor {

class RecordMapper {
 public:
  // For each column of the current row, in result order, appends to element a
  // child named by the mapped field (an unmapped column: its own name in lower
  // case) whose text is the value; null gives an empty element. The element is
  // left designating the element to append. An unknown mapping name is a failure.
  void MapRecord(XmlElement& element, std::string_view mapping, Recordset& result);
};

}  // namespace quillor
