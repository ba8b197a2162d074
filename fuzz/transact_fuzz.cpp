// Arbitrary request text through Transact, ADD and QUERY alike, over a host
// database with the sample rows: every input gets an XML reply, and afterwards
// the material table holds exactly what the reply reports as written, database
// faults included.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <iterator>
#include <string>

#include "component/imaterial.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/material_ledger.h"
#include "platform/sqlite/sqlite_faults.h"
#include "platform/sqlite/sqlite_file.h"
#include "profiles/release_profile.h"
#include "schema/host_schema.h"
#include "tools/quillor/sample_data.h"

namespace {

using quillor::fuzz::Check;

struct Host {
  std::filesystem::path dir;
  std::string connection_text;
  std::unique_ptr<quillor::Connection> conn;  // the checker's own
  std::unique_ptr<quillor::fuzz::MaterialLedger> ledger;
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

// Shapes that mutations alone reach rarely: a document type with internal
// entities (nested, and one in an attribute default), a path expression in
// roottag, a text long enough to cross the parser's buffers.
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
};

// One input in eight each takes one of those shapes; which one is decided by
// the input itself, so that a crash replays.
std::string Shaped(std::string request, uint32_t hash) {
  switch ((hash >> 24) % 8) {
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
    default:
      break;
  }
  return request;
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
  g_host->ledger = std::make_unique<quillor::fuzz::MaterialLedger>(*g_host->conn);
  // One object for the whole run: what it carries from call to call is tried too.
  g_host->object = quillor::IMaterial::Create(quillor::Release871());
  g_host->login = quillor::MakeLogin(g_host->connection_text, quillor::Release871().ids.login_iid);
  atexit(RemoveHost);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Host& host = *g_host;
  host.ledger->Restore();
  const auto before = host.ledger->Snapshot();

  // One input in four also meets a database fault, chosen by the input itself so
  // that a crash replays: the nth statement fails, or the nth and all after it.
  uint32_t hash = 2166136261u;
  for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
  const std::string request = Shaped(std::string(reinterpret_cast<const char*>(data), size), hash);
  if (hash % 4 == 0) {
    quillor::sqlite::faults::FailStatement(
        1 + (hash >> 8) % 24, (hash >> 16) % 2 ? 1 : quillor::sqlite::faults::kForever);
  }
  quillor::IOrvoLogin* raw = host.login.Get();
  std::string reply;
  const quillor::com::HRESULT hr = host.object->Transact(request, &raw, &reply);
  quillor::sqlite::faults::Reset();
  Check(hr == quillor::com::S_OK, "Transact failed towards its caller: " + std::to_string(hr));
  Check(!reply.empty(), "Transact gave an empty reply");

  host.ledger->CheckAfter(request, reply, before);
  return 0;
}
