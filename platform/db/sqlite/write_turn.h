// Turns at writing one database file, among the connections of this process.
//
// SQLite lets one connection write a file at a time; the others find it locked
// and their busy handler sleeps, a millisecond at first and longer each time,
// however soon the writer is done. With a server's workers writing lines at
// once, most of a second could go by in such sleeps while the file stood free.
// Connections of one process therefore queue for a file on a mutex, which hands
// the turn over the moment the writer commits. Writers in other processes still
// meet SQLite's own lock and busy timeout.
#pragma once

#include <chrono>
#include <memory>
#include <mutex>
#include <string>

namespace quillor::sqlite {

class WriteTurns {
 public:
  // The turn of the file at `path` (as SQLite names it: the full path), shared
  // by every connection of the process to that file.
  static std::shared_ptr<std::timed_mutex> ForFile(const std::string& path);
};

// One connection's hold on its file's turn, from the first line it writes to
// the end of its outermost unit of work.
class WriteTurn {
 public:
  explicit WriteTurn(std::shared_ptr<std::timed_mutex> turn) : turn_(std::move(turn)) {}

  // Waits for the turn, at most `most`. A wait that runs out goes on without
  // it: SQLite's own lock and busy timeout then decide, as between processes.
  void Take(std::chrono::milliseconds most);
  void Release();
  bool held() const { return hold_.owns_lock(); }

 private:
  std::shared_ptr<std::timed_mutex> turn_;
  std::unique_lock<std::timed_mutex> hold_;
};

}  // namespace quillor::sqlite
