// The registry file: the keys an in-process server writes when it registers
// (class, programmatic name, interfaces, type library), kept as a text file.
//
// Location: $QUILLOR_REGISTRY if set, else $XDG_CONFIG_HOME/quillor/registry,
// else ~/.config/quillor/registry. Every change is made under an exclusive lock
// and written to a temporary file that is then renamed over the old one, so that
// two registrations at once, or a crash in the middle, never leave a broken file.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace quillor::com {

class Registry {
 public:
  // Value name "" is a key's default value.
  using Values = std::map<std::string, std::string>;

  static std::string DefaultPath();

  // Reads the file; a missing file is an empty registry. A file that cannot be
  // read is a quillor::Failure.
  static Registry Load(const std::string& path);
  // Loads, applies the change and writes the result back, all under the lock.
  static void Update(const std::string& path, const std::function<void(Registry&)>& change);

  void SetValue(std::string_view key, std::string_view name, std::string_view data);
  std::optional<std::string> GetValue(std::string_view key, std::string_view name = "") const;
  bool HasKey(std::string_view key) const;
  // Removes the key and every key beneath it.
  void DeleteTree(std::string_view key);

  const std::map<std::string, Values>& keys() const { return keys_; }
  std::string ToText() const;
  static Registry FromText(std::string_view text);

 private:
  // Keys compare without regard to letter case, as registry keys do; stored as
  // first written.
  std::map<std::string, Values> keys_;
};

}  // namespace quillor::com
