#include "tools/quillor/serve/published_files.h"

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tools/quillor/library_resolution.h"

namespace quillor::serve {

namespace {

// A segment of a schema's path: letters, digits, '.', '-', '_', not starting
// with a dot (no "..", no hidden files).
bool PlainSegment(const std::string& segment) {
  if (segment.empty() || segment.front() == '.') return false;
  for (const char c : segment) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '.' || c == '-' || c == '_';
    if (!plain) return false;
  }
  return true;
}

}  // namespace

PublishedFiles PublishedFiles::BesideCommand() {
  return PublishedFiles(
      (std::filesystem::path(ExecutableDirectory()) / ".." / "share" / "quillor").string());
}

std::optional<std::string> PublishedFiles::FileOf(const std::string& path) const {
  if (path == "/openapi.yaml") return root_ + "/openapi.yaml";
  const std::string prefix = "/schemas/";
  if (path.rfind(prefix, 0) != 0) return std::nullopt;
  const std::string rest = path.substr(prefix.size());
  if (rest.size() < 5 || rest.compare(rest.size() - 4, 4, ".xsd") != 0) return std::nullopt;
  for (size_t at = 0; at <= rest.size();) {
    const size_t end = std::min(rest.find('/', at), rest.size());
    if (!PlainSegment(rest.substr(at, end - at))) return std::nullopt;
    at = end + 1;
  }
  return root_ + "/schemas/" + rest;
}

Reply PublishedFiles::Get(const std::string& path, bool head_only) const {
  const std::optional<std::string> file = FileOf(path);
  std::error_code ec;
  if (!file || !std::filesystem::is_regular_file(*file, ec)) {
    return TextReply(404, "no such path", false);
  }
  std::ifstream in(*file, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (!in) return TextReply(500, "cannot read " + path, true);
  Reply reply;
  reply.content_type = path == "/openapi.yaml" ? "application/yaml; charset=utf-8"
                                               : "application/xml; charset=utf-8";
  reply.body = bytes.str();
  reply.head_only = head_only;
  return reply;
}

}  // namespace quillor::serve
