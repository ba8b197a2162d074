// The keys an in-process server of one release writes into the registry when it
// registers, and removes when it unregisters.
#pragma once

#include <string>

#include "platform/com/registry.h"
#include "profiles/release_profile.h"

namespace quillor {

inline constexpr std::string_view kProgId = "Quillor.IMaterial";
// The automation marshaller, which serves every dual interface.
inline constexpr std::string_view kAutomationProxyStub = "{00020424-0000-0000-C000-000000000046}";

// The class, its programmatic name, every interface IID of the release and its
// type library, all pointing at library_path.
void RegisterServer(com::Registry& registry, const ReleaseProfile& profile,
                    const std::string& library_path);

// Removes the release's own class, interface and type-library version keys; the
// programmatic name only while it still names this release's class. Releases that
// share identifiers share these keys: when they name another library that still
// exists (given library_path, the one unregistering), that library registered
// last and its keys stay.
void UnregisterServer(com::Registry& registry, const ReleaseProfile& profile,
                      const std::string& library_path = {});

// "CLSID\{...}", "Interface\{...}" and "TypeLib\{...}\major.minor" of a release;
// inline so that tools reading the registry need not link the component.
inline std::string ClassKey(const ReleaseProfile& profile) {
  return "CLSID\\" + profile.ids.clsid.ToString();
}
inline std::string InterfaceKey(const com::Guid& iid) { return "Interface\\" + iid.ToString(); }
inline std::string TypeLibVersion(const ReleaseProfile& profile) {
  return std::to_string(profile.ids.typelib_major) + "." +
         std::to_string(profile.ids.typelib_minor);
}
inline std::string TypeLibVersionKey(const ReleaseProfile& profile) {
  return "TypeLib\\" + profile.ids.libid.ToString() + "\\" + TypeLibVersion(profile);
}

}  // namespace quillor
