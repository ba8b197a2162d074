#include "component/registration.h"

#include <sys/stat.h>

#include "platform/base/text.h"

namespace quillor {

namespace {

bool IsFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Either separator: the Windows build's paths use backslashes.
std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

void RegisterServer(com::Registry& registry, const ReleaseProfile& profile,
                    const std::string& library_path) {
  const ReleaseIdentity& ids = profile.ids;
  const std::string clsid = ids.clsid.ToString();
  const std::string libid = ids.libid.ToString();
  const std::string version = TypeLibVersion(profile);
  const std::string progid(kProgId);

  const std::string cls = ClassKey(profile);
  registry.SetValue(cls, "", "IMaterial");
  registry.SetValue(cls + "\\ProgID", "", progid);
  registry.SetValue(cls + "\\InprocServer32", "", library_path);
  registry.SetValue(cls + "\\InprocServer32", "ThreadingModel", "Apartment");
  registry.SetValue(cls + "\\TypeLib", "", libid);
  registry.SetValue(cls + "\\Version", "", version);

  // The name always follows the release registered last.
  registry.DeleteTree(progid);
  registry.SetValue(progid, "", "IMaterial");
  registry.SetValue(progid + "\\CLSID", "", clsid);

  for (size_t i = 0; i < ids.interface_iids.size(); ++i) {
    const std::string key = InterfaceKey(ids.interface_iids[i]);
    const std::string_view name =
        i < ids.interface_names.size() ? ids.interface_names[i] : ids.interface_names.front();
    registry.SetValue(key, "", name);
    registry.SetValue(key + "\\ProxyStubClsid32", "", kAutomationProxyStub);
    registry.SetValue(key + "\\TypeLib", "", libid);
    registry.SetValue(key + "\\TypeLib", "Version", version);
  }

  const std::string lib = TypeLibVersionKey(profile);
  registry.SetValue(lib, "", "Quillor");
  registry.SetValue(lib + "\\0\\win32", "", library_path);
  registry.SetValue(lib + "\\FLAGS", "", "0");
  registry.SetValue(lib + "\\HELPDIR", "", DirectoryOf(library_path));
  for (const MethodId& m : ids.methods) {
    registry.SetValue(lib + "\\Methods", m.name, HexWord(static_cast<uint32_t>(m.dispid)));
  }
}

void UnregisterServer(com::Registry& registry, const ReleaseProfile& profile,
                      const std::string& library_path) {
  const ReleaseIdentity& ids = profile.ids;
  if (!library_path.empty()) {
    const auto holder = registry.GetValue(ClassKey(profile) + "\\InprocServer32");
    if (holder && *holder != library_path && IsFile(*holder)) return;
  }
  registry.DeleteTree(ClassKey(profile));
  for (const com::Guid& iid : ids.interface_iids) registry.DeleteTree(InterfaceKey(iid));
  registry.DeleteTree(TypeLibVersionKey(profile));

  // Another release may have taken the name over since; leave it to that one.
  const std::string progid(kProgId);
  const auto named = registry.GetValue(progid + "\\CLSID");
  const auto named_guid = named ? com::Guid::Parse(*named) : std::nullopt;
  if (named_guid && *named_guid == ids.clsid) registry.DeleteTree(progid);
}

}  // namespace quillor
