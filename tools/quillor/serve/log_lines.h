// The server's log lines, each written whole to one stream, however many
// threads log at once. A line goes out at once: the thread that hands it over
// writes it, unless another thread is writing, which then takes it too in its
// next write. So a quiet server writes each line as it comes, and busy workers
// do not each pay a write and a flush for their own line.
#pragma once

#include <condition_variable>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>

namespace quillor::serve {

class LogLines {
 public:
  explicit LogLines(std::ostream& out) : out_(out) {}
  LogLines(const LogLines&) = delete;
  LogLines& operator=(const LogLines&) = delete;

  // Appends a line feed and sees the line written, by this thread or the one
  // writing already.
  void Write(std::string_view line);
  // Returns once every line handed over so far is written and flushed: before
  // the process ends without unwinding.
  void Drain();

 private:
  std::ostream& out_;
  std::mutex mutex_;
  std::condition_variable written_;
  std::string pending_;  // lines handed over while a write was under way
  bool writing_ = false;
};

}  // namespace quillor::serve
