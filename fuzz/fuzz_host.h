// The host a fuzz target calls into: a host database with the sample rows in a
// folder of its own, and one component object with a login to that database,
// kept for the whole run so that what the object carries from call to call is
// tried too.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "component/material_component.h"
#include "platform/db/database.h"

namespace quillor::fuzz {

struct FuzzHost {
  std::filesystem::path dir;
  std::string connection_text;
  std::unique_ptr<Connection> conn;  // the checker's own
  com::ComPtr<MaterialComponent> object;
  com::ComPtr<IOrvoLogin> login;
};

// Sets the host up (in /dev/shm where there is one) and removes its folder at
// exit. Call once, from LLVMFuzzerInitialize.
FuzzHost& StartHost();

// The reply of Transact to the request; a failure towards the caller (anything
// but S_OK) or an empty reply stops the run.
std::string TransactChecked(FuzzHost& host, const std::string& request);

}  // namespace quillor::fuzz
