#include "tools/quillor/connection_text.h"

#include <strings.h>

#include <cstdlib>

namespace quillor {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

}  // namespace

std::string ChooseConnection(const std::optional<std::string>& given) {
  if (given) return *given;
  if (const char* env = std::getenv("QUILLOR_CONNECTION")) return env;
  return {};
}

std::optional<std::string> SqliteDataSource(std::string_view text) {
  bool sqlite = false;
  std::optional<std::string> source;
  while (!text.empty()) {
    const size_t semi = text.find(';');
    const std::string_view part = text.substr(0, semi);
    text.remove_prefix(semi == std::string_view::npos ? text.size() : semi + 1);
    const size_t eq = part.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view key = Trim(part.substr(0, eq));
    const std::string_view value = Trim(part.substr(eq + 1));
    if (SameText(key, "Provider")) sqlite = SameText(value, "SQLite");
    if (SameText(key, "Data Source")) source = std::string(value);
  }
  if (!sqlite || !source || source->empty()) return std::nullopt;
  return source;
}

}  // namespace quillor
