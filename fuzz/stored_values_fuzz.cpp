// Values written into the material table by some other program, then read back
// through a QUERY: every input becomes a few rows of arbitrary bytes (as text or
// as blobs) and arbitrary numbers (infinities included). The reply must always
// be well-formed XML; it carries every row with each value reading back exactly
// as stored, or, when some stored value cannot be carried, it is the failure
// reply naming a row and a column that holds such a value.
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "component/imaterial.h"
#include "fuzz/fuzz_check.h"
#include "platform/reply_value.h"
#include "platform/sqlite/sqlite_file.h"
#include "platform/xml.h"
#include "platform/xml_text.h"
#include "profiles/release_profile.h"
#include "schema/host_schema.h"
#include "tools/quillor/sample_data.h"

namespace {

using quillor::fuzz::Check;

struct Host {
  std::filesystem::path dir;
  std::string connection_text;
  std::unique_ptr<quillor::Connection> conn;
  quillor::com::ComPtr<quillor::IMaterial> object;
  quillor::com::ComPtr<quillor::IOrvoLogin> login;
};

Host* g_host = nullptr;

void RemoveHost() {
  if (g_host == nullptr) return;
  const std::filesystem::path dir = g_host->dir;
  delete g_host;
  g_host = nullptr;
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
}

// The columns written, with the element each comes back in.
struct TextColumn {
  const char* column;
  const char* field;
};
constexpr TextColumn kTexts[] = {
    {"cDeptID", "departmentno"}, {"cMatID", "inventoryno"}, {"cBatch", "serial"}};
struct NumberColumn {
  const char* column;
  const char* field;
};
constexpr NumberColumn kNumbers[] = {
    {"iPrice", "price"}, {"iQua", "quantity"}, {"iMatQua", "totalmoney"}};

struct StoredRow {
  std::string texts[3];
  double numbers[3] = {0, 0, 0};
  bool blob = false;
};

// Reads the input as rows: per row a flag byte (bit 0: texts stored as blobs),
// three texts (a length byte, up to 31, then the bytes) and three numbers (eight
// bytes each, as a double; a NaN is stored as 0, which SQLite would make null).
std::vector<StoredRow> RowsFrom(const uint8_t* data, size_t size) {
  std::vector<StoredRow> rows;
  size_t at = 0;
  auto byte = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
  while (at < size && rows.size() < 4) {
    StoredRow row;
    row.blob = (byte() & 1) != 0;
    for (std::string& text : row.texts) {
      const size_t length = std::min<size_t>(byte() & 31, size - std::min(size, at));
      text.assign(reinterpret_cast<const char*>(data + at), length);
      at += length;
    }
    for (double& number : row.numbers) {
      uint8_t bits[8] = {};
      for (uint8_t& b : bits) b = byte();
      std::memcpy(&number, bits, sizeof number);
      if (std::isnan(number)) number = 0;
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

std::string NumberLiteral(double value) {
  if (std::isinf(value)) return value > 0 ? "9e999" : "-9e999";
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

bool Fits(const StoredRow& row) {
  for (const std::string& text : row.texts) {
    if (!quillor::IsXmlCarriable(text)) return false;
  }
  for (double number : row.numbers) {
    if (!quillor::IsFiniteNumber(number)) return false;
  }
  return true;
}

// One row of the reply as comparable text: the texts, then the numbers as read.
std::string ReplyKey(const quillor::XmlElement& element) {
  std::string key;
  for (const TextColumn& c : kTexts) {
    const quillor::XmlElement field = element.FirstChild(c.field);
    Check(!field.IsNull(), std::string("a row without ") + c.field);
    key += field.Text() + '\x1F';
  }
  for (const NumberColumn& c : kNumbers) {
    const quillor::XmlElement field = element.FirstChild(c.field);
    Check(!field.IsNull(), std::string("a row without ") + c.field);
    const std::string text = field.Text();
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    Check(!text.empty() && *end == '\0', c.field + std::string(" is no number: ") + text);
    key += NumberLiteral(value == 0 ? 0.0 : value) + '\x1F';
  }
  return key;
}

std::string StoredKey(const StoredRow& row) {
  std::string key;
  for (const std::string& text : row.texts) key += text + '\x1F';
  for (double number : row.numbers) key += NumberLiteral(number == 0 ? 0.0 : number) + '\x1F';
  return key;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const std::filesystem::path base =
      std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
  std::string pattern = (base / "quillor-fuzz-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) quillor::fuzz::Violated("mkdtemp failed");
  g_host = new Host;
  g_host->dir = pattern;
  const std::string file = (g_host->dir / "host.db").string();
  quillor::CreateSqliteDatabaseFile(file);
  g_host->connection_text = "Provider=SQLite;Data Source=" + file + ";Synchronous=Normal";
  g_host->conn = quillor::OpenConnection(g_host->connection_text);
  quillor::CreateHostTables(*g_host->conn);
  quillor::InsertSampleData(*g_host->conn);
  g_host->object = quillor::IMaterial::Create(quillor::Release871());
  g_host->login = quillor::MakeLogin(g_host->connection_text, quillor::Release871().ids.login_iid);
  atexit(RemoveHost);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Host& host = *g_host;
  const std::vector<StoredRow> rows = RowsFrom(data, size);
  host.conn->Execute("delete from ca_mabsw");
  for (const StoredRow& row : rows) {
    std::string sql =
        "insert into ca_mabsw(cDeptID, cMatID, cBatch, iPrice, iQua, iMatQua, "
        "iPeriod) values (";
    for (const std::string& text : row.texts) {
      sql += row.blob ? "x'" + Hex(text) + "'," : "cast(x'" + Hex(text) + "' as text),";
    }
    for (double number : row.numbers) sql += NumberLiteral(number) + ",";
    sql += "1)";
    host.conn->Execute(sql);
  }

  const std::string request =
      "<ufinterface roottag=\"material\" docid=\"d\" proc=\"QUERY\" paginate=\"0\"/>";
  quillor::IOrvoLogin* raw = host.login.Get();
  std::string reply;
  const quillor::com::HRESULT hr = host.object->Transact(request, &raw, &reply);
  Check(hr == quillor::com::S_OK, "Transact failed towards its caller: " + std::to_string(hr));

  quillor::XmlDocument doc;
  Check(doc.LoadXml(reply), "the reply is not well-formed XML: " + doc.ParseError());
  const quillor::XmlElement root = doc.Root();
  const bool all_fit = std::all_of(rows.begin(), rows.end(), Fits);
  if (const auto code = root.Attribute("code")) {
    const std::string message = root.Attribute("message").value_or("");
    Check(!all_fit, "a failure reply for values that fit: " + message);
    Check(message.starts_with("[Quillor] row "), "the failure names no row: " + message);
    bool names_column = false;
    for (const TextColumn& c : kTexts) {
      names_column |= message.find(std::string(", column ") + c.column + ": ") != std::string::npos;
    }
    for (const NumberColumn& c : kNumbers) {
      names_column |= message.find(std::string(", column ") + c.column + ": ") != std::string::npos;
    }
    Check(names_column, "the failure names no column: " + message);
    return 0;
  }
  Check(all_fit, "a reply for a value it cannot carry");
  std::vector<std::string> stored;
  std::vector<std::string> replied;
  for (const StoredRow& row : rows) stored.push_back(StoredKey(row));
  for (const quillor::XmlElement& element : root.ChildElements()) {
    replied.push_back(ReplyKey(element));
  }
  std::sort(stored.begin(), stored.end());
  std::sort(replied.begin(), replied.end());
  Check(stored == replied, "the reply's rows do not read back as stored");
  return 0;
}
