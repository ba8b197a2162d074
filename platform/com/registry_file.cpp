// The registry file on disk: where it is, and reading and replacing it under a lock.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/com/registry.h"
#include "platform/base/failure.h"

namespace quillor::com {

namespace {

// A file descriptor closed on scope exit.
class Fd {
 public:
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

Failure SystemFailure(const std::string& what, const std::string& path) {
  return Failure(failure_numbers::kFail,
                 "[Quillor] " + what + " " + path + ": " + std::strerror(errno));
}

void MakeDirectories(const std::string& dir) {
  if (dir.empty()) return;
  std::string partial;
  size_t pos = 0;
  while (pos != std::string::npos) {
    pos = dir.find('/', pos + 1);
    partial = dir.substr(0, pos);
    if (partial.empty()) continue;
    if (::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) {
      throw SystemFailure("cannot create directory", partial);
    }
  }
}

std::string ParentDirectory(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return slash == 0 ? "/" : path.substr(0, slash);
}

void WriteAll(int fd, const std::string& text, const std::string& path) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw SystemFailure("cannot write", path);
    }
    done += static_cast<size_t>(n);
  }
}

// The file a registry path names: a symbolic link is followed (link by link, a
// relative target read from the link's directory) to the file it points at, so
// that the lock and the replacement happen there and the link stays a link. A
// link whose target does not exist yet names that target.
std::string FollowLinks(std::string path) {
  for (int hops = 0;; ++hops) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    if (hops == 40) {
      errno = ELOOP;
      throw SystemFailure("cannot follow the link", path);
    }
    std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : 4096) + 1, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n < 0) throw SystemFailure("cannot follow the link", path);
    target.resize(static_cast<size_t>(n));
    if (target.empty() || target.front() != '/') {
      const std::string dir = ParentDirectory(path);
      if (!dir.empty()) target = (dir == "/" ? "" : dir) + "/" + target;
    }
    path = std::move(target);
  }
}

// A registry file its owner made read-only is not ours to replace, not even for
// a user whom the permissions would let through.
void RequireWritable(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return;  // not there yet: it is made
  if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(path.c_str(), W_OK) != 0) {
    throw Failure(failure_numbers::kFail,
                  "[Quillor] the registry file " + path +
                      " is read-only: make it writable, or name another file in QUILLOR_REGISTRY");
  }
}

}  // namespace

std::string Registry::DefaultPath() {
  if (const char* p = std::getenv("QUILLOR_REGISTRY"); p && *p) return p;
  if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x) {
    return std::string(x) + "/quillor/registry";
  }
  if (const char* h = std::getenv("HOME"); h && *h) {
    return std::string(h) + "/.config/quillor/registry";
  }
  throw Failure(failure_numbers::kFail,
                "[Quillor] no registry location: set QUILLOR_REGISTRY or HOME");
}

Registry Registry::Load(const std::string& path) {
  Fd in(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (in.get() < 0) {
    if (errno == ENOENT) return Registry();
    throw SystemFailure("cannot read", path);
  }
  std::string text;
  char buf[8192];
  for (;;) {
    const ssize_t n = ::read(in.get(), buf, sizeof buf);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      throw SystemFailure("cannot read", path);
    }
    text.append(buf, static_cast<size_t>(n));
  }
  try {
    return FromText(text);
  } catch (const Failure& f) {
    throw Failure(f.number(), f.description() + " (" + path + ")");
  }
}

void Registry::Update(const std::string& named, const std::function<void(Registry&)>& change) {
  const std::string path = FollowLinks(named);
  RequireWritable(path);
  MakeDirectories(ParentDirectory(path));
  const std::string lock_path = path + ".lock";
  Fd lock(::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (lock.get() < 0) throw SystemFailure("cannot open", lock_path);
  while (::flock(lock.get(), LOCK_EX) != 0) {
    if (errno != EINTR) throw SystemFailure("cannot lock", lock_path);
  }
  // The lock is released when the descriptor closes.

  Registry registry = Load(path);
  change(registry);
  // The new file keeps the permissions of the one it replaces.
  struct stat old_st {};
  const bool had_file = ::stat(path.c_str(), &old_st) == 0;

  const std::string tmp = path + ".tmp." + std::to_string(::getpid());
  {
    Fd out(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (out.get() < 0) throw SystemFailure("cannot create", tmp);
    try {
      if (had_file && ::fchmod(out.get(), old_st.st_mode & 07777) != 0) {
        throw SystemFailure("cannot set the permissions of", tmp);
      }
      WriteAll(out.get(), registry.ToText(), tmp);
      if (::fsync(out.get()) != 0) throw SystemFailure("cannot sync", tmp);
      if (::close(out.release()) != 0) throw SystemFailure("cannot close", tmp);
    } catch (...) {
      ::unlink(tmp.c_str());
      throw;
    }
  }
  if (::rename(tmp.c_str(), path.c_str()) != 0) {
    const Failure failure = SystemFailure("cannot replace", path);
    ::unlink(tmp.c_str());
    throw failure;
  }
  // Make the rename itself durable.
  const std::string dir = ParentDirectory(path);
  Fd dir_fd(::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir_fd.get() >= 0) ::fsync(dir_fd.get());
}

}  // namespace quillor::com
