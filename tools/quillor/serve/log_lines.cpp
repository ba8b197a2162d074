#include "tools/quillor/serve/log_lines.h"

namespace quillor::serve {

void LogLines::Write(std::string_view line) {
  std::unique_lock lock(mutex_);
  pending_.append(line);
  pending_ += '\n';
  if (writing_) return;  // the thread writing takes it in its next write
  writing_ = true;
  std::string batch;
  while (!pending_.empty()) {
    batch.swap(pending_);
    lock.unlock();
    out_.write(batch.data(), static_cast<std::streamsize>(batch.size()));
    out_.flush();
    batch.clear();
    lock.lock();
  }
  writing_ = false;
  written_.notify_all();
}

void LogLines::Drain() {
  std::unique_lock lock(mutex_);
  written_.wait(lock, [this] { return !writing_ && pending_.empty(); });
}

}  // namespace quillor::serve
