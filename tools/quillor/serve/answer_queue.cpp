#include "tools/quillor/serve/answer_queue.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <vector>

namespace quillor::serve {

namespace {

// A file that no other process can open and that goes when it is closed: made
// unnamed where the file system can, else named and removed at once.
int OpenSpool(const std::string& dir) {
  int fd = ::open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
  std::string name = dir + "/quillor-spool-XXXXXX";
  std::vector<char> path(name.begin(), name.end());
  path.push_back('\0');
  fd = ::mkostemp(path.data(), O_CLOEXEC);
  if (fd >= 0) ::unlink(path.data());
  return fd;
}

bool WriteAt(int fd, std::string_view bytes, uint64_t offset) {
  while (!bytes.empty()) {
    const ssize_t n = ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

bool ReadAt(int fd, char* into, size_t size, uint64_t offset) {
  while (size > 0) {
    const ssize_t n = ::pread(fd, into, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    into += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

}  // namespace

bool BufferBudget::Take(uint64_t bytes) {
  uint64_t held = held_.load();
  do {
    if (held + bytes > most_) return false;
  } while (!held_.compare_exchange_weak(held, held + bytes));
  return true;
}

AnswerQueue::AnswerQueue(BufferBudget& budget, std::string spool_dir, size_t own_memory)
    : budget_(budget), spool_dir_(std::move(spool_dir)), own_memory_(own_memory) {}

AnswerQueue::~AnswerQueue() {
  Drop();
  if (spool_fd_ >= 0) ::close(spool_fd_);
}

bool AnswerQueue::Append(std::string bytes) {
  if (bytes.empty()) return !dropped();
  const size_t size = bytes.size();
  {
    const std::lock_guard lock(mutex_);
    if (dropped_) return false;
    if (memory_ + size <= own_memory_ && budget_.Take(size)) {
      memory_ += size;
      Piece piece;
      piece.memory = std::move(bytes);
      pieces_.push_back(std::move(piece));
      return true;
    }
  }
  // Written without the lock: the sender goes on with what came before.
  const uint64_t at = spool_end_;
  const bool written = Spool(bytes);
  bytes = std::string();
  const std::lock_guard lock(mutex_);
  // The sender may be writing from the pieces: they are let go by its Drop.
  if (!written) dropped_ = true;
  if (dropped_) return false;
  spooled_ += size;
  if (!pieces_.empty() && pieces_.back().in_spool &&
      pieces_.back().offset + pieces_.back().length == at) {
    pieces_.back().length += size;
  } else {
    Piece piece;
    piece.in_spool = true;
    piece.offset = at;
    piece.length = size;
    pieces_.push_back(std::move(piece));
  }
  return true;
}

bool AnswerQueue::Spool(std::string_view bytes) {
  if (spool_fd_ < 0) {
    const int fd = OpenSpool(spool_dir_);
    if (fd < 0) return false;
    const std::lock_guard lock(mutex_);
    spool_fd_ = fd;
  }
  if (!WriteAt(spool_fd_, bytes, spool_end_)) return false;
  spool_end_ += bytes.size();
  return true;
}

std::string_view AnswerQueue::Front() {
  std::unique_lock lock(mutex_);
  if (dropped_ || pieces_.empty()) return {};
  Piece& piece = pieces_.front();
  if (!piece.in_spool) return std::string_view(piece.memory).substr(front_used_);
  if (staging_used_ < staging_.size()) return std::string_view(staging_).substr(staging_used_);
  const uint64_t offset = piece.offset;
  const size_t size = static_cast<size_t>(std::min<uint64_t>(piece.length, kSpoolRead));
  const int fd = spool_fd_;
  lock.unlock();
  // The pieces after it may grow meanwhile; this one is the sender's alone.
  staging_.resize(size);
  staging_used_ = 0;
  if (!ReadAt(fd, staging_.data(), size, offset)) {
    lock.lock();
    DropLocked();
    return {};
  }
  return staging_;
}

void AnswerQueue::Consume(size_t bytes) {
  const std::lock_guard lock(mutex_);
  if (dropped_ || pieces_.empty()) return;
  Piece& piece = pieces_.front();
  if (!piece.in_spool) {
    front_used_ += bytes;
    if (front_used_ < piece.memory.size()) return;
    memory_ -= piece.memory.size();
    budget_.Give(piece.memory.size());
    front_used_ = 0;
    pieces_.pop_front();
    return;
  }
  staging_used_ += bytes;
  piece.offset += bytes;
  piece.length -= bytes;
  if (staging_used_ >= staging_.size()) {
    staging_ = std::string();
    staging_used_ = 0;
  }
  if (piece.length == 0) pieces_.pop_front();
}

void AnswerQueue::Drop() {
  const std::lock_guard lock(mutex_);
  DropLocked();
}

void AnswerQueue::DropLocked() {
  dropped_ = true;
  budget_.Give(memory_);
  memory_ = 0;
  front_used_ = 0;
  pieces_.clear();
  staging_ = std::string();
  staging_used_ = 0;
}

bool AnswerQueue::dropped() const {
  const std::lock_guard lock(mutex_);
  return dropped_;
}

void AnswerQueue::Release() {
  const std::lock_guard lock(mutex_);
  if (!pieces_.empty()) return;
  if (spool_fd_ >= 0) ::close(spool_fd_);
  spool_fd_ = -1;
  spool_end_ = 0;
  spooled_ = 0;
}

uint64_t AnswerQueue::spooled() const {
  const std::lock_guard lock(mutex_);
  return spooled_;
}

}  // namespace quillor::serve
