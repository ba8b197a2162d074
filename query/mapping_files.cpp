#include "query/mapping_files.h"

#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <system_error>

#include "platform/base/failure.h"
#include "platform/base/text.h"
#include "platform/xml/xml.h"

namespace quillor {
namespace {

namespace fs = std::filesystem;

// What tells an edited file from the one read: its size and modification time.
struct FileStamp {
  uintmax_t size = 0;
  fs::file_time_type modified;
  bool operator==(const FileStamp&) const = default;
};

std::optional<FileStamp> StampOf(const fs::path& file) {
  std::error_code error;
  FileStamp stamp;
  stamp.size = fs::file_size(file, error);
  if (error) return std::nullopt;
  stamp.modified = fs::last_write_time(file, error);
  if (error) return std::nullopt;
  return stamp;
}

MappingColumns ParseMapping(const std::string& text, std::string_view mapping) {
  XmlDocument doc;
  if (!doc.LoadXml(text) || !doc.Root())
    FailMapping(mapping, "cannot be read: " + doc.ParseError());
  MappingColumns columns;
  for (const XmlElement& column : doc.Root().ChildElements()) {
    if (column.Name() != "column") continue;
    const std::optional<std::string> name = column.Attribute("name");
    const std::optional<std::string> field = column.Attribute("field");
    if (!name || !field || field->empty()) {
      FailMapping(mapping, "has a column without a name or a field");
    }
    columns.emplace(AsciiLower(*name), *field);
  }
  return columns;
}

struct KeptMapping {
  FileStamp stamp;
  std::shared_ptr<const MappingColumns> columns;
};

struct MappingStore {
  std::mutex mutex;
  std::unordered_map<std::string, KeptMapping> kept;  // by the file's path
};

MappingStore& Store() {
  // Destroyed when the library unloads, as the connection pool is: a host that
  // loads and unloads the library again and again keeps no copies behind.
  static MappingStore store;
  return store;
}

}  // namespace

void FailMapping(std::string_view mapping, std::string_view why) {
  throw Failure(failure_numbers::kFail,
                "The record mapping \"" + std::string(mapping) + "\" " + std::string(why));
}

std::shared_ptr<const MappingColumns> ReadMappingFile(const fs::path& file,
                                                      std::string_view mapping) {
  if (file.empty()) FailMapping(mapping, "is unknown");
  // Stamped before the read: a file edited while it is read is read again next
  // time. A path that gives no stamp is read as it is and not kept.
  const std::optional<FileStamp> stamp = StampOf(file);
  MappingStore& store = Store();
  const std::string key = file.string();
  if (stamp) {
    const std::lock_guard<std::mutex> lock(store.mutex);
    if (const auto found = store.kept.find(key);
        found != store.kept.end() && found->second.stamp == *stamp) {
      return found->second.columns;
    }
  }
  // Read outside the lock: two threads that find it changed at once each read it.
  std::ifstream in(file, std::ios::binary);
  if (!in) FailMapping(mapping, "is unknown");
  std::ostringstream text;
  text << in.rdbuf();
  auto columns = std::make_shared<const MappingColumns>(ParseMapping(text.str(), mapping));
  if (stamp) {
    const std::lock_guard<std::mutex> lock(store.mutex);
    store.kept[key] = KeptMapping{*stamp, columns};
  }
  return columns;
}

}  // namespace quillor
