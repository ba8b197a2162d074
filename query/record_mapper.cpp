#include "query/record_mapper.h"

#include <cctype>
#include <charconv>
#include <cstdlib>
#include <filesystem>

#include "platform/base/failure.h"
#include "platform/base/module_directory.h"
#include "platform/base/text.h"
#include "platform/xml/reply_value.h"
#include "query/mapping_files.h"
#include "runtime/value_text.h"

namespace quillor {
namespace {

namespace fs = std::filesystem;

// The mapping file: in $QUILLOR_DATA_DIR when set, else beside the library (or
// program) this code runs in, wherever that tree was built, installed or unpacked.
fs::path FindMappingFile(std::string_view mapping) {
  if (const char* dir = std::getenv("QUILLOR_DATA_DIR"); dir != nullptr && *dir != '\0') {
    return fs::path(dir) / mapping;
  }
  const fs::path dir = ModuleDirectory();
  return dir.empty() ? fs::path() : dir / mapping;
}

}  // namespace

const MappingColumns& RecordMapper::Load(std::string_view mapping) {
  if (loaded_ && loaded_name_ == mapping) return *loaded_;

  // A mapping is named by a bare file name: nothing that leads out of the directory.
  if (mapping.empty() || mapping == "." || mapping == ".." ||
      mapping.find_first_of("/\\") != std::string_view::npos) {
    FailMapping(mapping, "is unknown");
  }
  // Read from disk once per process, and again only when the file has changed.
  loaded_ = ReadMappingFile(FindMappingFile(mapping), mapping);
  loaded_name_ = std::string(mapping);
  return *loaded_;
}

const std::vector<std::string>& RecordMapper::FieldsFor(const MappingColumns& columns,
                                                        const Recordset& result) {
  // The columns of a result do not change between its rows: the field names are
  // worked out once and kept while the result's column names stay the same.
  const int count = result.FieldCount();
  bool same = &result == fields_of_ && static_cast<size_t>(count) == column_names_.size();
  for (int i = 0; same && i < count; ++i) same = result.FieldName(i) == column_names_[i];
  if (same) return field_names_;

  fields_of_ = nullptr;
  column_names_.clear();
  field_names_.clear();
  field_tags_.clear();
  for (int i = 0; i < count; ++i) {
    std::string name = result.FieldName(i);
    std::string column = AsciiLower(name);
    const auto found = columns.find(column);
    field_names_.push_back(found != columns.end() ? found->second : std::move(column));
    column_names_.push_back(std::move(name));
  }
  fields_of_ = &result;
  return field_names_;
}

void RecordMapper::MapRecord(XmlDocument& /*doc*/, XmlElement& element, std::string_view mapping,
                             Recordset& result) {
  const std::vector<std::string>& fields = FieldsFor(Load(mapping), result);
  for (size_t i = 0; i < fields.size(); ++i) {
    const DbValue value = result.Value(static_cast<int>(i));
    // A value the reply cannot carry fails the row rather than spoil the reply.
    RequireFitForReply(value, column_names_[i]);
    if (value.IsNull()) {
      element.AppendTextChild(fields[i], {});
    } else if (value.IsText()) {
      element.AppendTextChild(fields[i], value.Text());
    } else if (value.IsInteger()) {
      char digits[24];  // any 64-bit integer in decimal, with its sign
      const char* end = std::to_chars(digits, digits + sizeof digits, value.Integer()).ptr;
      element.AppendTextChild(fields[i],
                              std::string_view(digits, static_cast<size_t>(end - digits)));
    } else {
      element.AppendTextChild(fields[i], ValueText(value));
    }
  }
}

void RecordMapper::WriteRecord(XmlTextWriter& out, std::string_view mapping, Recordset& result) {
  const std::vector<std::string>& fields = FieldsFor(Load(mapping), result);
  if (field_tags_.size() != fields.size()) {
    field_tags_.clear();
    field_tags_.reserve(fields.size());
    for (const std::string& field : fields) field_tags_.emplace_back(field);
  }
  for (size_t i = 0; i < fields.size(); ++i) {
    const XmlName& tag = field_tags_[i];
    const DbValue value = result.Value(static_cast<int>(i));
    // A value the reply's XML cannot carry is refused before any of it is
    // written; the caller names the row.
    RequireFitForReply(value, column_names_[i]);
    if (value.IsNull()) {
      out.TextElement(tag, {});
    } else if (value.IsText()) {
      out.TextElement(tag, value.Text());
    } else if (value.IsInteger()) {
      char digits[24];  // any 64-bit integer in decimal, with its sign
      const char* end = std::to_chars(digits, digits + sizeof digits, value.Integer()).ptr;
      out.TextElement(tag, std::string_view(digits, static_cast<size_t>(end - digits)));
    } else {
      out.TextElement(tag, ValueText(value));
    }
  }
}

}  // namespace quillor
