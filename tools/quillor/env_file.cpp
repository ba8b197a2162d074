#include "tools/quillor/env_file.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace quillor {

namespace {

bool NameStart(char c) { return c == '_' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool NameChar(char c) { return NameStart(c) || (c >= '0' && c <= '9'); }
bool Blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Characters a shell reads as something other than text when they stand unquoted.
bool ShellSpecial(char c) { return std::strchr("$`;|&<>()\"'\\", c) != nullptr || Blank(c); }

class LineReader {
 public:
  LineReader(std::string_view line, std::string where) : line_(line), where_(std::move(where)) {}

  EnvFileEntry Read() {
    SkipBlanks();
    if (line_.compare(pos_, 7, "export ") == 0) {
      pos_ += 7;
      SkipBlanks();
    }
    EnvFileEntry entry;
    if (pos_ >= line_.size() || !NameStart(line_[pos_])) Fail("a line must be NAME=VALUE");
    while (pos_ < line_.size() && NameChar(line_[pos_])) entry.name += line_[pos_++];
    if (pos_ >= line_.size() || line_[pos_] != '=') {
      Fail("a line must be NAME=VALUE, with no space before the '='");
    }
    ++pos_;
    entry.value = Value();
    SkipBlanks();
    if (pos_ < line_.size() && line_[pos_] != '#') {
      Fail("the value of " + entry.name + " ends at a space; quote it whole: " + entry.name +
           "='...'");
    }
    return entry;
  }

 private:
  std::string Value() {
    std::string value;
    while (pos_ < line_.size() && !Blank(line_[pos_])) {
      const char c = line_[pos_];
      if (c == '\'') {
        const size_t end = line_.find('\'', pos_ + 1);
        if (end == std::string_view::npos) Fail("a ' is not closed on its line");
        value.append(line_.substr(pos_ + 1, end - pos_ - 1));
        pos_ = end + 1;
      } else if (c == '"') {
        value += DoubleQuoted();
      } else if (c == '\\' && pos_ + 1 < line_.size()) {
        value += line_[pos_ + 1];
        pos_ += 2;
      } else if (c == '$' || c == '`') {
        Fail(std::string("a ") + c +
             " outside single quotes would be expanded by a shell; write the value in '...'");
      } else if (ShellSpecial(c)) {
        Fail(std::string("a ") + c + " outside quotes ends the assignment for a shell; write the " +
             "value in '...'");
      } else {
        value += c;
        ++pos_;
      }
    }
    return value;
  }

  std::string DoubleQuoted() {
    std::string value;
    for (++pos_; pos_ < line_.size(); ++pos_) {
      const char c = line_[pos_];
      if (c == '"') {
        ++pos_;
        return value;
      }
      if (c == '\\' && pos_ + 1 < line_.size() && std::strchr("$`\"\\", line_[pos_ + 1])) {
        value += line_[++pos_];
      } else if (c == '$' || c == '`') {
        Fail(std::string("a ") + c +
             " in \"...\" would be expanded by a shell; write the value in '...'");
      } else {
        value += c;
      }
    }
    Fail("a \" is not closed on its line");
  }

  void SkipBlanks() {
    while (pos_ < line_.size() && Blank(line_[pos_])) ++pos_;
  }

  [[noreturn]] void Fail(const std::string& why) const { throw EnvFileError(where_ + ": " + why); }

  std::string_view line_;
  std::string where_;
  size_t pos_ = 0;
};

}  // namespace

std::vector<EnvFileEntry> ParseEnvText(std::string_view text, const std::string& origin) {
  std::vector<EnvFileEntry> entries;
  int number = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++number;
    const size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string_view::npos || line[first] == '#') continue;
    EnvFileEntry entry = LineReader(line, origin + ":" + std::to_string(number)).Read();
    entry.line = number;
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::vector<EnvFileEntry> ReadEnvFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EnvFileError(path + ": cannot be read: " + std::strerror(errno));
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw EnvFileError(path + ": cannot be read: " + std::strerror(errno));
  return ParseEnvText(text.str(), path);
}

}  // namespace quillor
