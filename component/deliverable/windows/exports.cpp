// The four exports of one release's Windows DLL, and the release it serves.
// Compiled once per DLL, with QUILLOR_RELEASE_FUNCTION naming that release's
// profile; no other release's identifiers are reachable from here.
#include <string>

#include "component/deliverable/windows/class_object.h"
#include "component/deliverable/windows/system_registry.h"
#include "platform/base/module_directory.h"
#include "platform/com/unknown.h"
#include "platform/com/windows/wide_text.h"
#include "profiles/release_profile.h"

#ifndef QUILLOR_RELEASE_FUNCTION
#error "QUILLOR_RELEASE_FUNCTION must name the release profile of this DLL"
#endif

namespace {

const quillor::ReleaseProfile& Profile() { return quillor::QUILLOR_RELEASE_FUNCTION(); }

bool IsOurClass(REFCLSID clsid) {
  const quillor::com::Guid& ours = Profile().ids.clsid;
  return clsid.Data1 == ours.data1 && clsid.Data2 == ours.data2 && clsid.Data3 == ours.data3 &&
         std::equal(ours.data4.begin(), ours.data4.end(), std::begin(clsid.Data4));
}

std::string LibraryPath() { return quillor::win::Narrow(quillor::ModulePath().wstring()); }

}  // namespace

extern "C" {

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (out == nullptr) return quillor::com::E_POINTER;
  *out = nullptr;
  if (!IsOurClass(clsid)) return quillor::com::CLASS_E_CLASSNOTAVAILABLE;
  return quillor::win::GetMaterialClassObject(Profile(), iid, out);
}

HRESULT STDAPICALLTYPE DllCanUnloadNow() {
  return quillor::com::LiveObjectCount().load() == 0 ? quillor::com::S_OK : quillor::com::S_FALSE;
}

HRESULT STDAPICALLTYPE DllRegisterServer() {
  try {
    return quillor::win::RegisterInSystemRegistry(Profile(), LibraryPath());
  } catch (...) {
    return quillor::com::SELFREG_E_CLASS;
  }
}

HRESULT STDAPICALLTYPE DllUnregisterServer() {
  try {
    return quillor::win::UnregisterFromSystemRegistry(Profile(), LibraryPath());
  } catch (...) {
    return quillor::com::SELFREG_E_CLASS;
  }
}

// Beside the four standard exports: the release this DLL serves, so that a tool
// can tell 8.61's DLL from 8.50's, which share their identifiers.
const char* QuillorRelease() {
  static const std::string release(Profile().release);
  return release.c_str();
}

}  // extern "C"
