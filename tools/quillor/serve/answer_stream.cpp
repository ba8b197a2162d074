#include "tools/quillor/serve/answer_stream.h"

namespace quillor::serve {

void AnswerStream::Reset(int version, bool close, int idle_seconds) {
  version_ = version;
  close_ = close;
  idle_seconds_ = idle_seconds;
  begun_ = finished_ = failed_ = false;
}

bool AnswerStream::Begin(const Reply& head) {
  Reply h = head;
  h.close = closes();
  h.idle_seconds = idle_seconds_;
  begun_ = true;
  return Put(ReplyHead(h, version_ == 10 ? BodyFraming::kUntilClose : BodyFraming::kChunked));
}

bool AnswerStream::Write(std::string_view part) {
  if (version_ == 10) return Put(std::string(part));
  return Put(Chunk(part));
}

bool AnswerStream::Finish() {
  finished_ = version_ == 10 ? !failed_ : Put("0\r\n\r\n");
  return finished_;
}

bool AnswerStream::Put(std::string bytes) {
  if (failed_ || !queue_.Append(std::move(bytes))) {
    failed_ = true;
    return false;
  }
  wake_();
  return true;
}

}  // namespace quillor::serve
