#include "platform/db/connection_text.h"

#include <algorithm>

#include "platform/base/failure.h"
#include "platform/base/text.h"

namespace quillor {
namespace {

[[noreturn]] void RefuseConnectionText(const std::string& why) {
  throw Failure(failure_numbers::kFail, "[Quillor] invalid connection text: " + why);
}

}  // namespace

ConnectionText ConnectionText::Parse(std::string_view text) { return Read(text, false); }

ConnectionText ConnectionText::ParseOleDb(std::string_view text) { return Read(text, true); }

ConnectionText ConnectionText::Read(std::string_view text, bool ole_db) {
  ConnectionText result;
  result.text_ = std::string(text);
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    const size_t eq = text.find('=', i);
    const size_t semi = text.find(';', i);
    if (eq == std::string_view::npos || (semi != std::string_view::npos && semi < eq)) {
      // A part holding only blanks (as after a final semicolon) is no pair.
      const size_t end = semi == std::string_view::npos ? n : semi;
      if (!Trim(text.substr(i, end - i)).empty()) {
        if (ole_db)
          RefuseConnectionText("part " + std::to_string(result.pairs_.size() + 1) + " has no '='");
        RefuseConnectionText("'" + std::string(Trim(text.substr(i, end - i))) + "' has no value");
      }
      i = end + 1;
      continue;
    }
    std::string key(Trim(text.substr(i, eq - i)));
    if (key.empty()) RefuseConnectionText("a value has no key");
    size_t j = eq + 1;
    while (j < n && IsBlank(text[j])) ++j;
    std::string value;
    if (j < n && (text[j] == '"' || text[j] == '\'' || (text[j] == '{' && !ole_db))) {
      const char close = text[j] == '{' ? '}' : text[j];
      ++j;
      bool closed = false;
      while (j < n) {
        if (text[j] == close) {
          if (j + 1 < n && text[j + 1] == close) {
            value += close;
            j += 2;
            continue;
          }
          ++j;
          closed = true;
          break;
        }
        value += text[j++];
      }
      if (!closed) RefuseConnectionText("the value of " + key + " is not closed");
      while (j < n && IsBlank(text[j])) ++j;
      if (j < n && text[j] != ';') RefuseConnectionText("text follows the quoted value of " + key);
    } else {
      const size_t end = text.find(';', j);
      value = std::string(Trim(text.substr(j, (end == std::string_view::npos ? n : end) - j)));
      j = end == std::string_view::npos ? n : end;
    }
    result.pairs_.emplace_back(std::move(key), std::move(value));
    result.spans_.emplace_back(i, j < n ? j + 1 : n);
    i = j + 1;
  }
  return result;
}

std::optional<std::string> ConnectionText::Get(std::string_view key) const {
  std::optional<std::string> found;
  for (const auto& [k, v] : pairs_) {
    if (EqualsIgnoreCase(k, key)) found = v;
  }
  return found;
}

ConnectionText ConnectionText::Lenient(std::string_view text) {
  try {
    return Parse(text);
  } catch (const Failure&) {
    ConnectionText unread;
    unread.text_ = std::string(text);
    unread.read_ = false;
    return unread;
  }
}

ConnectionText ConnectionText::Without(std::initializer_list<std::string_view> keys) const {
  ConnectionText out;
  size_t kept_from = 0;
  for (size_t p = 0; p < pairs_.size(); ++p) {
    bool drop = false;
    for (std::string_view key : keys) drop = drop || EqualsIgnoreCase(pairs_[p].first, key);
    if (!drop) {
      // Shifted by what was dropped before it.
      const size_t shift = kept_from - out.text_.size();
      out.pairs_.push_back(pairs_[p]);
      out.spans_.emplace_back(spans_[p].first - shift, spans_[p].second - shift);
      continue;
    }
    out.text_.append(text_, kept_from, spans_[p].first - kept_from);
    kept_from = spans_[p].second;
  }
  out.text_.append(text_, kept_from);
  return out;
}

namespace {

bool IsPasswordKey(std::string_view key) {
  return EqualsIgnoreCase(key, "PWD") || EqualsIgnoreCase(key, "Password");
}

// A text that is not pairs: everything from the first password key on is hidden,
// since where its value ends cannot be told.
std::string MaskedUnread(const std::string& text) {
  const std::string lower = AsciiLower(text);
  size_t cut = std::string::npos;
  for (const char* key : {"pwd", "password"}) {
    for (size_t at = lower.find(key); at != std::string::npos; at = lower.find(key, at + 1)) {
      const size_t after = lower.find_first_not_of(" \t", at + std::string_view(key).size());
      if (after != std::string::npos && lower[after] == '=') {
        cut = std::min(cut, after + 1);
        break;
      }
    }
  }
  return cut == std::string::npos ? text : text.substr(0, cut) + "***";
}

}  // namespace

std::string ConnectionText::Masked() const {
  if (!read_) return MaskedUnread(text_);
  std::string out;
  size_t from = 0;
  for (size_t p = 0; p < pairs_.size(); ++p) {
    const auto& [key, value] = pairs_[p];
    const bool password = IsPasswordKey(key);
    const bool extended = EqualsIgnoreCase(key, "Extended Properties");
    if (!password && !extended) continue;
    const auto [start, end] = spans_[p];
    const size_t equals = text_.find('=', start);
    out.append(text_, from, equals + 1 - from);
    if (password) {
      out += "***";
    } else {
      std::string inner = ConnectionText::Lenient(value).Masked();
      std::string quoted;
      for (const char c : inner) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
      out += "\"" + quoted + "\"";
    }
    if (end > start && text_[end - 1] == ';' && end - 1 > equals) out += ';';
    from = end;
  }
  out.append(text_, from);
  return out;
}

}  // namespace quillor
