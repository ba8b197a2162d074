// The four exports of one release's in-process server, and the connection pool's
// counts for the host process. Compiled once per deliverable, with
// QUILLOR_RELEASE_FUNCTION naming that release's profile; no other release's
// identifiers are reachable from here.
#include <dlfcn.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "component/deliverable/pool_stats.h"
#include "component/material_factory.h"
#include "component/registration.h"
#include "platform/base/failure.h"
#include "platform/com/registry.h"
#include "platform/db/connection_pool.h"
#include "profiles/release_profile.h"
#include "quillor/quillor.h"

#ifndef QUILLOR_RELEASE_FUNCTION
#error "QUILLOR_RELEASE_FUNCTION must name the release profile of this deliverable"
#endif

#define QUILLOR_EXPORT extern "C" __attribute__((visibility("default")))

using quillor::com::Guid;
using quillor::com::HRESULT;

namespace {

const quillor::ReleaseProfile& Profile() { return quillor::QUILLOR_RELEASE_FUNCTION(); }

// The absolute path of this library, found from one of its own symbols.
std::string LibraryPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&Profile), &info) == 0 || !info.dli_fname) {
    throw quillor::Failure(quillor::failure_numbers::kFail,
                           "[Quillor] cannot find the path of the server library");
  }
  char resolved[PATH_MAX];
  if (realpath(info.dli_fname, resolved)) return resolved;
  return info.dli_fname;
}

// Writes this library's entries into, or takes them out of, the registry file.
HRESULT UpdateRegistration(void (*change)(quillor::com::Registry&, const quillor::ReleaseProfile&,
                                          const std::string&)) {
  try {
    const std::string library = LibraryPath();
    quillor::com::Registry::Update(
        quillor::com::Registry::DefaultPath(),
        [&](quillor::com::Registry& registry) { change(registry, Profile(), library); });
    return quillor::com::S_OK;
  } catch (...) {
    return quillor::com::SELFREG_E_CLASS;
  }
}

}  // namespace

QUILLOR_EXPORT HRESULT DllRegisterServer() { return UpdateRegistration(quillor::RegisterServer); }

QUILLOR_EXPORT HRESULT DllUnregisterServer() {
  return UpdateRegistration(quillor::UnregisterServer);
}

QUILLOR_EXPORT HRESULT DllGetClassObject(const Guid* clsid, const Guid* iid, void** out) {
  if (!out) return quillor::com::E_POINTER;
  *out = nullptr;
  if (!clsid || !iid) return quillor::com::E_INVALIDARG;
  try {
    if (*clsid != Profile().ids.clsid) return quillor::com::CLASS_E_CLASSNOTAVAILABLE;
    auto factory = quillor::MakeClassFactory(Profile());
    return factory->QueryInterface(*iid, out);
  } catch (const std::bad_alloc&) {
    return quillor::com::E_OUTOFMEMORY;
  } catch (...) {
    return quillor::com::E_FAIL;
  }
}

// Beside the four standard exports: the release this library serves, so that a
// tool can tell 8.61's library from 8.50's, which share their identifiers.
QUILLOR_EXPORT const char* QuillorRelease() {
  static const std::string release(Profile().release);
  return release.c_str();
}

QUILLOR_EXPORT HRESULT DllCanUnloadNow() {
  return quillor::com::LiveObjectCount().load() == 0 ? quillor::com::S_OK : quillor::com::S_FALSE;
}

// The same counts as the C interface's quillor_pool_counts, under the name hosts
// found before that interface existed.
QUILLOR_EXPORT int32_t QuillorPoolStats(QuillorPoolCounts* counts) {
  if (!counts) return quillor::com::E_POINTER;
  quillor_pool_counts_t now{};
  const int32_t result = quillor_pool_counts(&now);
  if (result == quillor::com::S_OK) {
    *counts = {now.idle, now.busy, now.opened, now.reused, now.discarded};
  }
  return result;
}
