// Values written into the material table by some other program, then read back
// through a QUERY: every input becomes a few rows of arbitrary bytes (as text or
// as blobs), arbitrary numbers (infinities included, as reals or as whole
// numbers), texts in number columns and nulls. The reply must always be
// well-formed XML. When every stored value can be carried, it holds every row, in
// the table's order, each value reading back as the database holds it; otherwise
// it is the failure reply naming the first row and column that cannot be carried.
//
// What the database holds is read back from it, not taken from what was written:
// the engine converts a number's text on its own (its conversion may land a unit
// in the last place away from the nearest double) and gives a column its type
// by affinity (a text that reads as a number goes into a float column as one).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_host.h"
#include "platform/xml/xml.h"

namespace {

using quillor::DbValue;
using quillor::fuzz::Check;

quillor::fuzz::FuzzHost* g_host = nullptr;

// The columns written, in the table's order, with the element each comes back in.
struct MappedColumn {
  const char* column;
  const char* field;
};
constexpr MappedColumn kColumns[] = {{"cDeptID", "departmentno"}, {"cMatID", "inventoryno"},
                                     {"cBatch", "serial"},        {"iPrice", "price"},
                                     {"iQua", "quantity"},        {"iMatQua", "totalmoney"}};
constexpr size_t kTextColumns = 3;
constexpr size_t kColumnCount = std::size(kColumns);

// Per row a flag byte, three texts (a length byte, up to 31, then the bytes) and
// three numbers (eight bytes each). The flag's bits: 1 the texts go in as blobs,
// 2 the numbers go in as whole numbers (the bytes as a 64-bit integer) rather
// than as doubles, 4 the float column iMatQua gets the row's cBatch text, 8
// cMatID and iQua are null. A NaN double goes in as 0 (SQLite makes it null).
struct WrittenRow {
  uint8_t flags = 0;
  std::string texts[kTextColumns];
  uint64_t numbers[kColumnCount - kTextColumns] = {};
};

std::vector<WrittenRow> RowsFrom(const uint8_t* data, size_t size) {
  std::vector<WrittenRow> rows;
  size_t at = 0;
  auto byte = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
  while (at < size && rows.size() < 4) {
    WrittenRow row;
    row.flags = byte();
    for (std::string& text : row.texts) {
      const size_t length = std::min<size_t>(byte() & 31, size - std::min(size, at));
      text.assign(reinterpret_cast<const char*>(data + at), length);
      at += length;
    }
    for (uint64_t& number : row.numbers) {
      for (int shift = 0; shift < 64; shift += 8) number |= static_cast<uint64_t>(byte()) << shift;
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string NumberLiteral(uint64_t bits, bool whole) {
  char text[40];
  if (whole) {
    std::snprintf(text, sizeof text, "%lld", static_cast<long long>(bits));
    return text;
  }
  double value;
  std::memcpy(&value, &bits, sizeof value);
  if (std::isnan(value)) return "0";
  if (std::isinf(value)) return value > 0 ? "9e999" : "-9e999";
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

std::string InsertStatement(const WrittenRow& row) {
  const bool blob = (row.flags & 1) != 0;
  const bool whole = (row.flags & 2) != 0;
  const bool text_in_number = (row.flags & 4) != 0;
  const bool nulls = (row.flags & 8) != 0;
  auto text = [&](const std::string& bytes) {
    return blob ? "x'" + Hex(bytes) + "'" : "cast(x'" + Hex(bytes) + "' as text)";
  };
  std::string sql =
      "insert into ca_mabsw(cDeptID, cMatID, cBatch, iPrice, iQua, iMatQua, iPeriod) values (";
  sql += text(row.texts[0]) + ",";
  sql += (nulls ? std::string("null") : text(row.texts[1])) + ",";
  sql += text(row.texts[2]) + ",";
  sql += NumberLiteral(row.numbers[0], whole) + ",";
  sql += (nulls ? std::string("null") : NumberLiteral(row.numbers[1], whole)) + ",";
  sql += (text_in_number ? "cast(x'" + Hex(row.texts[2]) + "' as text)"
                         : NumberLiteral(row.numbers[2], whole)) +
         ",";
  return sql + "1)";
}

// The rows as the database holds them, in the table's order.
std::vector<std::vector<DbValue>> StoredRows(quillor::Connection& conn) {
  std::string sql = "select rowid";
  for (const MappedColumn& c : kColumns) sql += std::string(", ") + c.column;
  sql += " from ca_mabsw order by rowid";
  std::vector<std::vector<DbValue>> rows;
  for (auto result = conn.Open(sql, quillor::CursorType::kForwardOnly); !result->Eof();
       result->MoveNext()) {
    std::vector<DbValue>& row = rows.emplace_back();
    for (int i = 1; i <= static_cast<int>(kColumnCount); ++i) row.push_back(result->Value(i));
  }
  return rows;
}

// Whether an XML document can carry the text and give it back unchanged, asked
// of the parser itself: the text as the content of an element, every ASCII
// character in it written as a character reference (which XML allows for just
// the characters it allows as they are), the other bytes as they are.
bool XmlCarries(const std::string& text) {
  std::string doc = "<a>";
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    doc += byte < 0x80 ? "&#" + std::to_string(byte) + ";" : std::string(1, c);
  }
  doc += "</a>";
  quillor::XmlDocument parsed;
  return parsed.LoadXml(doc) && parsed.Root().Text() == text;
}

bool Fits(const DbValue& value) {
  if (value.IsText()) return XmlCarries(value.Text());
  if (value.IsDouble()) return std::isfinite(value.Double());
  return true;
}

std::string Describe(const DbValue& value) {
  if (value.IsNull()) return "null";
  if (value.IsInteger()) return "integer " + std::to_string(value.Integer());
  if (value.IsDouble()) {
    char text[40];
    std::snprintf(text, sizeof text, "double %.17g", value.Double());
    return text;
  }
  return "text x'" + Hex(value.Text()) + "'";
}

// Whether the reply's text for a field reads back as the stored value.
bool ReadsBackAs(const std::string& replied, const DbValue& stored) {
  if (stored.IsNull()) return replied.empty();
  if (stored.IsText()) return replied == stored.Text();
  if (stored.IsInteger()) return replied == std::to_string(stored.Integer());
  char* end = nullptr;
  const double value = std::strtod(replied.c_str(), &end);
  return !replied.empty() && *end == '\0' && value == stored.Double();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_host = &quillor::fuzz::StartHost();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  quillor::Connection& conn = *g_host->conn;
  const std::vector<WrittenRow> written = RowsFrom(data, size);
  conn.Execute("delete from ca_mabsw");
  for (const WrittenRow& row : written) conn.Execute(InsertStatement(row));

  const std::vector<std::vector<DbValue>> stored = StoredRows(conn);
  Check(stored.size() == written.size(), "the table does not hold the rows written");
  for (size_t r = 0; r < stored.size(); ++r) {
    // The texts are stored byte for byte: a check that the rows read are the ones written.
    for (size_t c = 0; c < kTextColumns; ++c) {
      if (stored[r][c].IsNull()) continue;
      Check(stored[r][c].IsText() && stored[r][c].Text() == written[r].texts[c],
            std::string("the table's ") + kColumns[c].column + " is not the text written");
    }
  }
  std::optional<std::string> first_unfit;  // "row N, column C"
  for (size_t r = 0; r < stored.size() && !first_unfit; ++r) {
    for (size_t c = 0; c < kColumnCount && !first_unfit; ++c) {
      if (!Fits(stored[r][c])) {
        first_unfit = "row " + std::to_string(r + 1) + ", column " + kColumns[c].column;
      }
    }
  }

  const std::string reply = quillor::fuzz::TransactChecked(
      *g_host, "<ufinterface roottag=\"material\" docid=\"d\" proc=\"QUERY\" paginate=\"0\"/>");
  quillor::XmlDocument doc;
  Check(doc.LoadXml(reply), "the reply is not well-formed XML: " + doc.ParseError());
  const quillor::XmlElement root = doc.Root();
  if (root.Attribute("code")) {
    const std::string message = root.Attribute("message").value_or("");
    Check(first_unfit.has_value(), "a failure reply for values that fit: " + message);
    Check(message.starts_with("[Quillor] " + *first_unfit + ": "),
          "the failure does not name " + *first_unfit + ": " + message);
    return 0;
  }
  Check(!first_unfit, "a reply for a value it cannot carry, at " + first_unfit.value_or(""));
  const std::vector<quillor::XmlElement> replied = root.ChildElements();
  Check(replied.size() == stored.size(), "the reply does not hold every row");
  for (size_t r = 0; r < stored.size(); ++r) {
    for (size_t c = 0; c < kColumnCount; ++c) {
      const quillor::XmlElement field = replied[r].FirstChild(kColumns[c].field);
      Check(!field.IsNull(), std::string("a row without ") + kColumns[c].field);
      Check(ReadsBackAs(field.Text(), stored[r][c]),
            "row " + std::to_string(r + 1) + ", " + kColumns[c].field + " reads back as \"" +
                field.Text() + "\", stored as " + Describe(stored[r][c]));
    }
  }
  return 0;
}
