// The registry held in memory: its keys, values and text form. Reading and
// writing the file is in registry_file.cpp.
#include "platform/com/registry.h"

#include <optional>
#include <utility>

#include "platform/base/failure.h"
#include "platform/base/json_string.h"
#include "platform/base/text.h"

namespace quillor::com {

namespace {

constexpr std::string_view kHeader = "; Quillor registry file";

// True when key lies strictly beneath parent.
bool IsBeneath(std::string_view key, std::string_view parent) {
  return key.size() > parent.size() + 1 && key[parent.size()] == '\\' &&
         EqualsIgnoreCase(key.substr(0, parent.size()), parent);
}

std::string_view TrimSlashes(std::string_view key) {
  while (!key.empty() && key.front() == '\\') key.remove_prefix(1);
  while (!key.empty() && key.back() == '\\') key.remove_suffix(1);
  return key;
}

template <class Map>
auto FindIgnoringCase(Map& map, std::string_view name) {
  for (auto it = map.begin(); it != map.end(); ++it) {
    if (EqualsIgnoreCase(it->first, name)) return it;
  }
  return map.end();
}

Failure Malformed(size_t line, const std::string& why) {
  return Failure(failure_numbers::kFail,
                 "[Quillor] malformed registry file at line " + std::to_string(line) + ": " + why);
}

// Reads a quoted text starting at line[pos]; leaves pos behind the closing quote.
std::string Unquote(std::string_view line, size_t& pos, size_t line_no) {
  std::string why;
  std::optional<std::string> text = ReadJsonString(line, pos, why);
  if (!text) throw Malformed(line_no, why);
  return *std::move(text);
}

}  // namespace

void Registry::SetValue(std::string_view key, std::string_view name, std::string_view data) {
  key = TrimSlashes(key);
  auto it = FindIgnoringCase(keys_, key);
  if (it == keys_.end()) it = keys_.emplace(std::string(key), Values{}).first;
  Values& values = it->second;
  auto v = FindIgnoringCase(values, name);
  if (v == values.end()) {
    values.emplace(std::string(name), std::string(data));
  } else {
    v->second = std::string(data);
  }
}

std::optional<std::string> Registry::GetValue(std::string_view key, std::string_view name) const {
  const auto it = FindIgnoringCase(keys_, TrimSlashes(key));
  if (it == keys_.end()) return std::nullopt;
  const auto v = FindIgnoringCase(it->second, name);
  if (v == it->second.end()) return std::nullopt;
  return v->second;
}

bool Registry::HasKey(std::string_view key) const {
  key = TrimSlashes(key);
  for (const auto& [k, values] : keys_) {
    if (EqualsIgnoreCase(k, key) || IsBeneath(k, key)) return true;
  }
  return false;
}

void Registry::DeleteTree(std::string_view key) {
  key = TrimSlashes(key);
  std::erase_if(keys_, [&](const auto& entry) {
    return EqualsIgnoreCase(entry.first, key) || IsBeneath(entry.first, key);
  });
}

std::string Registry::ToText() const {
  std::string out(kHeader);
  out += "\n";
  for (const auto& [key, values] : keys_) {
    out += "\n[" + key + "]\n";
    for (const auto& [name, data] : values) {
      out += name.empty() ? std::string("@") : JsonString(name);
      out += "=" + JsonString(data) + "\n";
    }
  }
  return out;
}

Registry Registry::FromText(std::string_view text) {
  Registry registry;
  Values* current = nullptr;
  size_t line_no = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++line_no;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line.front() == ';') continue;

    if (line.front() == '[') {
      if (line.back() != ']' || line.size() < 3) throw Malformed(line_no, "bad key line");
      const std::string_view key = TrimSlashes(line.substr(1, line.size() - 2));
      if (key.empty()) throw Malformed(line_no, "empty key");
      if (FindIgnoringCase(registry.keys_, key) != registry.keys_.end()) {
        throw Malformed(line_no, "key given twice");
      }
      current = &registry.keys_.emplace(std::string(key), Values{}).first->second;
      continue;
    }

    if (!current) throw Malformed(line_no, "value outside a key");
    size_t pos = 0;
    std::string name;
    if (line.front() == '@') {
      pos = 1;
    } else {
      name = Unquote(line, pos, line_no);
      if (name.empty()) throw Malformed(line_no, "empty value name");
    }
    if (pos >= line.size() || line[pos] != '=') throw Malformed(line_no, "expected =");
    ++pos;
    std::string data = Unquote(line, pos, line_no);
    if (pos != line.size()) throw Malformed(line_no, "text after the value");
    if (FindIgnoringCase(*current, name) != current->end()) {
      throw Malformed(line_no, "value given twice");
    }
    current->emplace(std::move(name), std::move(data));
  }
  return registry;
}

}  // namespace quillor::com
