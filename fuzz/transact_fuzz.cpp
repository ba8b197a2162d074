// Arbitrary request text through Transact, ADD and QUERY alike, over a host
// database with the sample rows: every input gets an XML reply, and afterwards
// the material table holds exactly what the reply reports as written, database
// faults included.
#include <stdlib.h>

#include <cstdint>
#include <iterator>
#include <memory>
#include <string>

#include "fuzz/fuzz_host.h"
#include "fuzz/material_ledger.h"
#include "platform/db/sqlite/sqlite_faults.h"

namespace {

quillor::fuzz::FuzzHost* g_host = nullptr;
std::unique_ptr<quillor::fuzz::MaterialLedger> g_ledger;

// Shapes that mutations alone reach rarely: a document type with internal
// entities (nested, and one in an attribute default), a path expression in
// roottag (functions over the whole document among them), a text long enough to
// cross the parser's buffers, an element of many children or of deep nesting,
// and one text, attribute or comment near libxml2's limit on a single text.
constexpr const char* kDoctype =
    "<!DOCTYPE ufinterface [<!ENTITY l0 \"D01\"><!ENTITY l1 \"&l0;&l0;&l0;&l0;\">"
    "<!ENTITY l2 \"&l1;&l1;&l1;&l1;\"><!ATTLIST material id CDATA \"&l0;\">]>";
constexpr const char* kRoottags[] = {
    "material|*",
    "*[count(//*[count(//*)])]",
    "//material",
    "material[last()]/..",
    "*[string-length(name())=8]",
    "material[field/@value]",
    "..",
    "/",
    "//*[count(//*[string-length(string(/))>0])>0]",
    "//*[contains(string(/),'zz')]",
    "//*[.=//*]",
    "//*[*='x']/..",
    "material[@id='1' and text()]",
};

// An element of many empty children, or nested many deep, before the first line.
std::string WideOrDeep(uint32_t hash) {
  const size_t n = 1000 + (hash >> 12) % 200'000;
  if ((hash >> 10) % 2 == 0) {
    std::string wide = "<pad>";
    for (size_t i = 0; i < n; ++i) wide += "<a/>";
    return wide + "</pad>";
  }
  const size_t depth = 200 + (hash >> 12) % 120;  // about libxml2's depth of 256
  std::string deep;
  for (size_t i = 0; i < depth; ++i) deep += "<d>";
  for (size_t i = 0; i < depth; ++i) deep += "</d>";
  return deep;
}

// One text just below or above 10,000,000 bytes, as content, attribute or comment.
std::string LongText(uint32_t hash) {
  const std::string text(9'999'990 + (hash >> 12) % 20, 'x');
  switch ((hash >> 10) % 3) {
    case 0:
      return "<pad>" + text + "</pad>";
    case 1:
      return "<pad note=\"" + text + "\"/>";
    default:
      return "<!--" + text + "-->";
  }
}

// One input in twelve each takes one of those shapes; which one is decided by
// the input itself, so that a crash replays.
std::string Shaped(std::string request, uint32_t hash) {
  switch ((hash >> 24) % 12) {
    case 0:
      if (!request.starts_with("<?xml") && !request.starts_with("<!DOCTYPE")) {
        request.insert(0, kDoctype);
      }
      break;
    case 1: {
      const std::string plain = "roottag=\"material\"";
      if (const size_t at = request.find(plain); at != std::string::npos) {
        const char* path = kRoottags[(hash >> 16) % std::size(kRoottags)];
        request.replace(at, plain.size(), "roottag=\"" + std::string(path) + "\"");
      }
      break;
    }
    case 2:
      if (const size_t at = request.find("<departmentno>"); at != std::string::npos) {
        request.insert(at + 14, std::string(1024 + (hash >> 16) % 4096, 'D'));
      }
      break;
    case 3:
    case 4:
      if (const size_t at = request.find("<material"); at != std::string::npos) {
        request.insert(at, (hash >> 24) % 12 == 3 ? WideOrDeep(hash) : LongText(hash));
      }
      break;
    default:
      break;
  }
  return request;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_host = &quillor::fuzz::StartHost();
  g_ledger = std::make_unique<quillor::fuzz::MaterialLedger>(*g_host->conn);
  atexit([] { g_ledger.reset(); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  g_ledger->Restore();
  const auto before = g_ledger->Snapshot();

  // One input in four also meets a database fault, chosen by the input itself so
  // that a crash replays: the nth statement fails, or the nth and all after it.
  uint32_t hash = 2166136261u;
  for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
  const std::string request = Shaped(std::string(reinterpret_cast<const char*>(data), size), hash);
  if (hash % 4 == 0) {
    quillor::sqlite::faults::FailStatement(
        1 + (hash >> 8) % 24, (hash >> 16) % 2 ? 1 : quillor::sqlite::faults::kForever);
  }
  const std::string reply = quillor::fuzz::TransactChecked(*g_host, request);
  quillor::sqlite::faults::Reset();

  g_ledger->CheckAfter(request, reply, before);
  return 0;
}
