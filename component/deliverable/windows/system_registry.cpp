#include "component/deliverable/windows/system_registry.h"

#include <vector>

#include "component/registration.h"
#include "platform/base/failure.h"
#include "platform/base/text.h"
#include "platform/com/registry.h"
#include "platform/com/windows/wide_text.h"

namespace quillor::win {

namespace {

// The type library's platform key: the Linux file names the 32-bit one; a 64-bit
// DLL's type library is found under win64.
#ifdef _WIN64
constexpr std::string_view kPlatformKey = "win64";
#else
constexpr std::string_view kPlatformKey = "win32";
#endif

std::string ForThisPlatform(const std::string& key) {
  constexpr std::string_view kWritten = "\\0\\win32";
  if (key.size() >= kWritten.size() &&
      EqualsIgnoreCase(std::string_view(key).substr(key.size() - kWritten.size()), kWritten)) {
    return key.substr(0, key.size() - 5) + std::string(kPlatformKey);
  }
  return key;
}

void Throw(LSTATUS status, const std::string& what) {
  throw Failure(static_cast<int32_t>(HRESULT_FROM_WIN32(static_cast<DWORD>(status))),
                "[Quillor] " + what);
}

class Key {
 public:
  Key() = default;
  ~Key() {
    if (key_ != nullptr) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  HKEY* put() { return &key_; }
  HKEY get() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

void WriteValue(const std::string& key, const std::string& name, const std::string& data) {
  Key k;
  const std::wstring path = Widen(key);
  LSTATUS status = RegCreateKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, nullptr, 0, KEY_WRITE,
                                   nullptr, k.put(), nullptr);
  if (status != ERROR_SUCCESS) Throw(status, "cannot create the key " + key);
  const std::wstring value_name = Widen(name);
  const std::wstring value = Widen(data);
  status = RegSetValueExW(k.get(), name.empty() ? nullptr : value_name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  if (status != ERROR_SUCCESS) Throw(status, "cannot write a value of " + key);
}

// The key and everything beneath it, into the registry held in memory.
void ReadTree(const std::string& key, com::Registry& into) {
  Key k;
  const std::wstring path = Widen(key);
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, k.put()) != ERROR_SUCCESS) {
    return;
  }
  bool any_value = false;
  for (DWORD i = 0;; ++i) {
    wchar_t name[16384];
    DWORD name_length = 16384;
    DWORD type = 0;
    DWORD size = 0;
    if (RegEnumValueW(k.get(), i, name, &name_length, nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS) {
      break;
    }
    std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
    DWORD data_size = static_cast<DWORD>(data.size() * sizeof(wchar_t));
    name_length = 16384;
    if (RegEnumValueW(k.get(), i, name, &name_length, nullptr, &type,
                      reinterpret_cast<BYTE*>(data.data()), &data_size) != ERROR_SUCCESS) {
      break;
    }
    data.resize(data_size / sizeof(wchar_t));
    while (!data.empty() && data.back() == L'\0') data.pop_back();
    into.SetValue(key, Narrow(std::wstring_view(name, name_length)), Narrow(data));
    any_value = true;
  }
  // A key with no value of its own still counts as there.
  if (!any_value) into.SetValue(key, "", "");
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD name_length = 256;
    if (RegEnumKeyExW(k.get(), i, name, &name_length, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    ReadTree(key + "\\" + Narrow(std::wstring_view(name, name_length)), into);
  }
}

bool AnyKeyAt(const com::Registry& registry, const std::string& root) {
  for (const auto& [key, values] : registry.keys()) {
    if (EqualsIgnoreCase(key, root) ||
        (key.size() > root.size() && key[root.size()] == '\\' &&
         EqualsIgnoreCase(std::string_view(key).substr(0, root.size()), root))) {
      return true;
    }
  }
  return false;
}

bool HasSubkeys(const std::string& key) {
  Key k;
  const std::wstring path = Widen(key);
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, k.put()) != ERROR_SUCCESS) {
    return false;
  }
  DWORD subkeys = 0;
  DWORD values = 0;
  RegQueryInfoKeyW(k.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                   nullptr, nullptr, nullptr);
  return subkeys > 0 || values > 0;
}

// The keys a registration of the release writes, whole.
std::vector<std::string> RegisteredRoots(const ReleaseProfile& profile) {
  std::vector<std::string> roots{ClassKey(profile), std::string(kProgId),
                                 TypeLibVersionKey(profile)};
  for (const com::Guid& iid : profile.ids.interface_iids) roots.push_back(InterfaceKey(iid));
  return roots;
}

}  // namespace

HRESULT RegisterInSystemRegistry(const ReleaseProfile& profile, const std::string& library_path) {
  try {
    com::Registry wanted;
    RegisterServer(wanted, profile, library_path);
    // The programmatic name follows the release registered last: its key is
    // written anew, as the Linux registration replaces it.
    const std::wstring progid = Widen(kProgId);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, progid.c_str());
    for (const auto& [key, values] : wanted.keys()) {
      for (const auto& [name, data] : values) WriteValue(ForThisPlatform(key), name, data);
    }
    return com::S_OK;
  } catch (const Failure&) {
    return com::SELFREG_E_CLASS;
  } catch (...) {
    return com::SELFREG_E_CLASS;
  }
}

HRESULT UnregisterFromSystemRegistry(const ReleaseProfile& profile,
                                     const std::string& library_path) {
  try {
    const std::vector<std::string> roots = RegisteredRoots(profile);
    com::Registry present;
    for (const std::string& root : roots) ReadTree(root, present);
    com::Registry left = present;
    UnregisterServer(left, profile, library_path);
    for (const std::string& root : roots) {
      if (AnyKeyAt(present, root) && !AnyKeyAt(left, root)) {
        const std::wstring path = Widen(root);
        const LSTATUS status = RegDeleteTreeW(HKEY_CLASSES_ROOT, path.c_str());
        if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
          Throw(status, "cannot remove the key " + root);
        }
      }
    }
    // The type library's own key, when no other version is registered under it.
    const std::string library = "TypeLib\\" + profile.ids.libid.ToString();
    if (!HasSubkeys(library)) {
      const std::wstring path = Widen(library);
      RegDeleteKeyW(HKEY_CLASSES_ROOT, path.c_str());
    }
    return com::S_OK;
  } catch (...) {
    return com::SELFREG_E_CLASS;
  }
}

}  // namespace quillor::win
