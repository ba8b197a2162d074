// The answer of a paged QUERY, made by the worker as the component hands over
// its pages: each part goes into the connection's answer queue and the worker
// goes on at once; the I/O thread sends it as the client takes it. An HTTP/1.1
// client gets chunks; an HTTP/1.0 client, which knows no chunks, gets the parts
// as they are and the end of the connection ends the answer.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "tools/quillor/serve/answer_queue.h"
#include "tools/quillor/serve/http_exchange.h"

namespace quillor::serve {

class AnswerStream final : public ReplyStream {
 public:
  // `wake` tells the sender that bytes are waiting; from the worker's thread.
  AnswerStream(AnswerQueue& queue, std::function<void()> wake)
      : queue_(queue), wake_(std::move(wake)) {}

  // Before each request: its HTTP version, whether the connection ends after it,
  // and the idle seconds announced when it does not.
  void Reset(int version, bool close, int idle_seconds);

  bool Begin(const Reply& head) override;
  bool Write(std::string_view part) override;
  bool Finish() override;

  bool begun() const { return begun_; }
  // The closing chunk (or the last part of an HTTP/1.0 answer) is queued.
  bool finished() const { return finished_; }
  // The connection ends after the answer.
  bool closes() const { return close_ || version_ == 10; }

 private:
  bool Put(std::string bytes);

  AnswerQueue& queue_;
  const std::function<void()> wake_;
  int version_ = 11;
  bool close_ = false;
  int idle_seconds_ = 0;
  bool begun_ = false;
  bool finished_ = false;
  bool failed_ = false;
};

}  // namespace quillor::serve
