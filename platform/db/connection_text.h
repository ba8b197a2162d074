// Reading a connection text: "Key=Value;Key=Value", keys in any case.
#pragma once

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillor {

class ConnectionText {
 public:
  // Splits the text into its pairs. Blanks around keys and values are dropped; a
  // value may be enclosed in double quotes, single quotes or braces (the closing
  // mark doubled inside stands for itself), so that it can hold a semicolon. A
  // part without "=" is a failure, as is an unterminated quoted value.
  static ConnectionText Parse(std::string_view text);
  // The same in the OLE DB providers' syntax: only double or single quotes
  // enclose a value, a brace is an ordinary character, and a part without "="
  // is refused without quoting it (it may be a piece of a password).
  static ConnectionText ParseOleDb(std::string_view text);
  // The same, read leniently: a text that does not parse as pairs (an ODBC text
  // in a form of its own, for the driver to judge) holds no pairs and is kept as
  // it is.
  static ConnectionText Lenient(std::string_view text);

  // The text this was read from.
  const std::string& text() const { return text_; }

  // The value of the last pair with that key (letter case not significant).
  std::optional<std::string> Get(std::string_view key) const;

  const std::vector<std::pair<std::string, std::string>>& pairs() const { return pairs_; }

  // The same text without the pairs of those keys (letter case not significant);
  // every other byte stays as it was.
  ConnectionText Without(std::initializer_list<std::string_view> keys) const;

  // The text with the value of every PWD or Password key (any case) written as
  // ***, also inside a quoted Extended Properties value. A text that does not
  // parse as pairs shows nothing from the first such key on.
  std::string Masked() const;

 private:
  static ConnectionText Read(std::string_view text, bool ole_db);

  std::string text_;
  std::vector<std::pair<std::string, std::string>> pairs_;
  std::vector<std::pair<size_t, size_t>> spans_;  // where each pair stands, its ';' included
  bool read_ = true;                              // false for a text Lenient could not read
};

}  // namespace quillor
