// For tests: a temporary directory, removed with everything in it, and the
// connection text of a SQLite database file.
#pragma once

#include <filesystem>
#include <string>

namespace quillor::testing {

// A fresh directory under the system's temporary directory, removed with its content.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The path of a file of that name inside the directory.
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// The whole content of a file, byte for byte; empty when it cannot be read.
std::string ReadFileText(const std::filesystem::path& file);

inline std::string SqliteText(const std::string& path) {
  return "Provider=SQLite;Data Source=" + path;
}

}  // namespace quillor::testing
