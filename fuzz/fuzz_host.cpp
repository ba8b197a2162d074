#include "fuzz/fuzz_host.h"

#include <stdlib.h>

#include "fuzz/fuzz_check.h"
#include "platform/db/open_connection.h"
#include "platform/db/sqlite/sqlite_file.h"
#include "profiles/release_profile.h"
#include "schema/host_schema.h"
#include "schema/sample_data.h"

namespace quillor::fuzz {
namespace {

FuzzHost* g_host = nullptr;

void RemoveHost() {
  if (g_host == nullptr) return;
  const std::filesystem::path dir = g_host->dir;
  delete g_host;
  g_host = nullptr;
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
}

}  // namespace

FuzzHost& StartHost() {
  const std::filesystem::path base =
      std::filesystem::exists("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
  std::string pattern = (base / "quillor-fuzz-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) Violated("mkdtemp failed");
  g_host = new FuzzHost;
  g_host->dir = pattern;
  const std::string file = (g_host->dir / "host.db").string();
  CreateSqliteDatabaseFile(file);
  g_host->connection_text = "Provider=SQLite;Data Source=" + file + ";Synchronous=Normal";
  g_host->conn = OpenConnection(g_host->connection_text);
  CreateHostTables(*g_host->conn);
  InsertSampleData(*g_host->conn);
  g_host->object = MaterialComponent::Create(Release871());
  g_host->login = MakeLogin(g_host->connection_text, Release871().ids.login_iid);
  atexit(RemoveHost);
  return *g_host;
}

std::string TransactChecked(FuzzHost& host, const std::string& request) {
  IOrvoLogin* raw = host.login.Get();
  std::string reply;
  const com::HRESULT hr = host.object->Transact(request, &raw, &reply);
  Check(hr == com::S_OK, "Transact failed towards its caller: " + std::to_string(hr));
  Check(!reply.empty(), "Transact gave an empty reply");
  return reply;
}

}  // namespace quillor::fuzz
