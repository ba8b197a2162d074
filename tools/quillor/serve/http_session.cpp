// One connection: its requests read in turn under their deadlines, checked on
// their headers, served once complete (by the worker that read them, or by one
// the pool hands them to), and answered in order.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/string.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>

#include <array>
#include <atomic>
#include <limits>
#include <mutex>
#include <type_traits>

#include "tools/quillor/serve/answer_stream.h"
#include "tools/quillor/serve/http_core.h"
#include "tools/quillor/serve/http_limits.h"
#include "tools/quillor/serve/http_request_reader.h"
#include "tools/quillor/serve/send_now.h"

namespace quillor::serve {

namespace {

namespace beast = boost::beast;
namespace http = beast::http;
using error_code = boost::system::error_code;
using PlainStream = beast::tcp_stream;
using TlsStream = beast::ssl_stream<beast::tcp_stream>;

// How long a refused client has to take its answer and close, while what it
// still sends is thrown away unread.
constexpr std::chrono::seconds kLinger{2};

// The handshake failed because the first bytes were a plain HTTP request.
bool IsPlainHttp(const boost::system::error_code& ec) {
  return ec.category() == asio::error::get_ssl_category() &&
         ERR_GET_REASON(static_cast<unsigned long>(ec.value())) == SSL_R_HTTP_REQUEST;
}
// An answer up to this long goes out in one write (over TLS, one record).
constexpr size_t kOneRecord = 16 * 1024;

template <class Stream>
class Session final : public OpenConnection, public std::enable_shared_from_this<Session<Stream>> {
 public:
  template <class... Args>
  Session(HttpEngine::Core& core, std::string client, Args&&... args)
      : core_(core), client_(std::move(client)), stream_(std::forward<Args>(args)...) {
    core_.Added(this);
  }

  // A connection whose handler failed by an exception ends without End(); it
  // leaves the set here, on the I/O thread that dropped it.
  ~Session() override {
    if (!ended_) core_.Removed(this);
  }

  void Start() {
    if constexpr (std::is_same_v<Stream, TlsStream>) {
      Deadline(core_.settings.read_timeout);
      stream_.async_handshake(asio::ssl::stream_base::server,
                              [self = this->shared_from_this()](error_code ec) {
                                ec = self->Settle(ec);
                                if (IsPlainHttp(ec)) return self->RefusePlainHttp();
                                if (ec) return self->End();
                                self->WaitForRequest();
                              });
    } else {
      WaitForRequest();
    }
  }

  bool in_progress() const override { return in_progress_; }

  void CloseIfIdle() override {
    // A worker that has just answered may be handing the connection back to
    // the I/O thread's reads (ResumeOnWorker): the two never overlap.
    const std::lock_guard lock(handover_);
    if (in_progress_) return;
    error_code ignored;
    Lowest().socket().close(ignored);
    End();
  }

 private:
  beast::tcp_stream& Lowest() { return beast::get_lowest_layer(stream_); }

  // The deadline of the operation about to start. When it passes (the engine's
  // sweep looks a few times a second), the pending operation is cancelled and
  // its handler sees a timeout; the socket stays open, so that a 408 can still
  // be written. No system call: it is a time kept in the connection.
  void Deadline(std::chrono::steady_clock::duration within) {
    timed_out_ = false;
    deadline_ = (std::chrono::steady_clock::now() + within).time_since_epoch().count();
  }

  // The outcome of the operation that just ended, its deadline let go.
  error_code Settle(error_code ec) {
    deadline_ = kNoDeadline;
    if (timed_out_ && ec == asio::error::operation_aborted) return beast::error::timeout;
    return ec;
  }

  void Expire(std::chrono::steady_clock::time_point now) override {
    if (deadline_.load() > now.time_since_epoch().count()) return;
    deadline_ = kNoDeadline;
    timed_out_ = true;
    error_code ignored;
    Lowest().socket().cancel(ignored);
  }

  // Between requests the connection may stay silent for the idle time; once the
  // first byte of a request comes, the whole header has the read deadline.
  void WaitForRequest() {
    if (ended_) return;
    if (core_.stopping) return End();
    NewParser();
    if (buffer_.size() > 0) return ReadHeader();
    WaitForFirstByte();
  }

  void NewParser() {
    parser_.emplace(core_.settings.max_request_bytes);
    parser_->header_limit(kHeaderBytesRead);
    // The announced length is checked by the service, after the token. (No
    // limit at all compares wrongly in this version of the parser.)
    parser_->body_limit(std::numeric_limits<std::uint64_t>::max());
  }

  // The wait for the next request's first byte, under the idle deadline; its
  // end is handled on the I/O thread, whichever thread starts it.
  void WaitForFirstByte() {
    Deadline(core_.settings.idle_timeout);
    stream_.async_read_some(buffer_.prepare(4096),
                            [self = this->shared_from_this()](error_code ec, size_t n) {
                              ec = self->Settle(ec);
                              if (ec) return self->End();
                              self->buffer_.commit(n);
                              self->ReadHeader();
                            });
  }

  // A client that writes its headers and its body apart waits for their
  // acknowledgement before it sends the body: acknowledge at once, not after the
  // delayed acknowledgement's 40 ms.
  void AcknowledgeAtOnce() {
    const int on = 1;
    ::setsockopt(Lowest().socket().native_handle(), IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
  }

  void ReadHeader() { Read(true); }

  // Reads the header, or the rest of the request, under the read deadline.
  void Read(bool header_only) {
    error_code ec;
    if (parser_->ParseBuffered(buffer_, header_only, ec)) {
      return header_only ? OnHeader(ec) : OnBody(ec);
    }
    AcknowledgeAtOnce();
    Deadline(core_.settings.read_timeout);
    auto done = [self = this->shared_from_this(), header_only](error_code ec, size_t) {
      ec = self->Settle(ec);
      if (header_only) return self->OnHeader(ec);
      self->OnBody(ec);
    };
    if (header_only) return http::async_read_header(stream_, buffer_, *parser_, std::move(done));
    http::async_read(stream_, buffer_, *parser_, std::move(done));
  }

  void OnHeader(error_code ec) {
    if (ec == asio::error::operation_aborted || ended_) return End();
    if (ec == http::error::end_of_stream || ec == asio::error::eof) return End();
    if (ec == beast::error::timeout) {
      return Refuse(nullptr, TextReply(408, "the request came too slowly", true));
    }
    if (ec == http::error::header_limit) {
      const bool line =
          !parser_->line_read || parser_->framing.request_line_bytes > kRequestLineBytes;
      return Refuse(nullptr,
                    line ? TextReply(414, "the request line is longer than 8 KiB", true)
                         : TextReply(431, "the headers are over 100 fields or 64 KiB", true));
    }
    if (ec) return Refuse(nullptr, TextReply(400, "the request could not be read", true));

    head_ = parser_->head;
    head_.client = client_;
    if (std::optional<Reply> refusal = CheckFraming(parser_->framing)) {
      return Refuse(&head_, std::move(*refusal));
    }
    if (std::optional<Reply> refusal = core_.service.Check(head_)) {
      return Refuse(&head_, std::move(*refusal));
    }
    if (Service::NeedsWorker(head_) && core_.pool.Full()) return Refuse(&head_, Service::Busy());
    if (parser_->is_done()) return Dispatch();
    if (head_.expects_continue) {
      // Only now, with the headers accepted, is the client asked for its body.
      static const std::string kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
      Deadline(core_.settings.read_timeout);
      return asio::async_write(stream_, asio::buffer(kContinue),
                               [self = this->shared_from_this()](error_code ec, size_t) {
                                 ec = self->Settle(ec);
                                 if (ec) return self->End();
                                 self->ReadBody();
                               });
    }
    ReadBody();
  }

  void ReadBody() {
    parser_->body_limit(core_.settings.max_request_bytes);
    Read(false);
  }

  void OnBody(error_code ec) {
    if (ec == asio::error::operation_aborted || ended_) return End();
    if (ec == http::error::body_limit) {
      return Refuse(&head_, Service::TooLarge(core_.settings.max_request_bytes));
    }
    if (ec == beast::error::timeout) {
      return Refuse(&head_, TextReply(408, "the request body came too slowly", true));
    }
    // Trailers longer than the read buffer never reach the count of their fields.
    if (parser_->trailers_over || (head_.chunked && ec == http::error::buffer_overflow)) {
      return Refuse(&head_, TrailersTooLarge());
    }
    if (ec) return Refuse(&head_, TextReply(400, "the request body could not be read", true));
    Dispatch();
  }

  void Dispatch() {
    head_.keep_alive = parser_->keep_alive();
    body_ = std::move(parser_->body);
    parser_.reset();
    note_ = ServedNote{};
    in_progress_ = true;
    bytes_sent_ = 0;
    write_failed_ = false;
    if (!Service::NeedsWorker(head_))
      return Send(core_.service.ShowMetrics(head_, core_.CurrentGauges()));
    if (head_.path == "/healthz") {
      // A worker stuck in the component cannot answer; nor can a request that
      // waits for one.
      if (const auto stuck = core_.pool.StuckFor(core_.settings.read_timeout)) {
        return Send(Service::Stuck(head_, *stuck));
      }
    }
    answer_stream_.Reset(head_.version, !head_.keep_alive || core_.stopping, IdleSeconds());
    producing_ = true;
    auto self = this->shared_from_this();
    const bool taken =
        core_.pool.TrySubmit([self](WorkerState& worker) { return self->Work(worker); });
    if (!taken) {
      producing_ = false;
      in_progress_ = false;
      Refuse(&head_, core_.service.stopping() ? Service::Stopping() : Service::Busy());
    }
  }

  // On a worker: the connection has no operation of its own pending meanwhile,
  // other than the writes of what a paged answer has queued so far.
  std::function<void()> Work(WorkerState& worker) {
    std::optional<Reply> reply;
    try {
      reply = core_.service.Serve(head_, body_, worker, answer_stream_, note_);
    } catch (const std::exception& e) {
      if (!answer_stream_.begun()) reply = TextReply(500, e.what(), true);
    }
    body_.clear();
    body_.shrink_to_fit();
    if (!reply) {
      status_ = 200;
      whole_ = answer_stream_.finished();
      close_ = answer_stream_.closes();
      return [self = this->shared_from_this()] { self->Produced(); };
    }
    auto done = std::make_shared<Reply>(std::move(*reply));
    return [self = this->shared_from_this(), done] { self->Deliver(std::move(*done)); };
  }

  // The idle timeout as announced: whole seconds, rounded down, so that a client
  // that keeps to it finds the connection still open.
  int IdleSeconds() const {
    return static_cast<int>(
        std::chrono::duration_cast<std::chrono::seconds>(core_.settings.idle_timeout).count());
  }

  // The head and the body of a whole answer.
  std::pair<std::string, std::string> Prepare(Reply& reply, bool stopping) {
    if (!head_.keep_alive || stopping) reply.close = true;
    reply.keep_alive = !reply.close && head_.version == 10;
    reply.idle_seconds = IdleSeconds();
    status_ = reply.status;
    close_ = reply.close;
    whole_ = true;
    return {ReplyHead(reply, BodyFraming::kLength),
            reply.head_only ? std::string() : std::move(reply.body)};
  }

  // On the I/O thread: an answer made there.
  void Send(Reply reply) {
    auto [head, body] = Prepare(reply, core_.stopping);
    Queue(std::move(head), std::move(body), 0);
    producing_ = false;
    Pump();
  }

  // On the worker, once it counts as free again. A plain socket is handed the
  // answer straight away, which no operation of the I/O thread holds meanwhile,
  // so that the client has it without waiting for the I/O thread to wake; what
  // it does not take at once is queued. A TLS stream is written by the I/O
  // thread alone.
  void Deliver(Reply reply) {
    auto [head, body] = Prepare(reply, core_.service.stopping());
    core_.service.Count(head_, status_, note_);
    size_t taken = 0;
    if constexpr (std::is_same_v<Stream, PlainStream>) {
      const SentNow sent = SendNow(Lowest().socket().native_handle(), head, body);
      taken = sent.taken;
      bytes_sent_ = taken;
      write_failed_ = sent.failed;
      if (!sent.failed && taken == head.size() + body.size() && ResumeOnWorker()) return;
    }
    if (!write_failed_) Queue(std::move(head), std::move(body), taken);
    asio::post(core_.io, [self = this->shared_from_this()] { self->Produced(); });
  }

  // Queues an answer from byte `from` on: a short one as one piece, so that TLS
  // sends it in one record.
  void Queue(std::string head, std::string body, size_t from) {
    if (from < head.size()) {
      head.erase(0, from);
      if (body.size() <= kOneRecord) {
        head += body;
        body = std::string();
      }
      queue_.Append(std::move(head));
    } else {
      body.erase(0, from - head.size());
    }
    queue_.Append(std::move(body));
  }

  // An answer written whole on a keep-alive connection: the worker starts the
  // wait for the next request itself, so that the I/O thread is not woken only
  // to start it. Not at a stop, and not with bytes of a next request already
  // read: those go back to the I/O thread. False when the I/O thread is to go on.
  bool ResumeOnWorker() {
    const std::lock_guard lock(handover_);
    if (close_ || core_.service.stopping() || buffer_.size() > 0) return false;
    LogAnswer(true);
    in_progress_ = false;
    producing_ = false;
    NewParser();
    WaitForFirstByte();
    return true;
  }

  // From the thread making an answer, once bytes were queued: the I/O thread
  // sends them, woken once for any number of them.
  void Wake() {
    if (kick_pending_.exchange(true)) return;
    asio::post(core_.io, [self = this->shared_from_this()] {
      self->kick_pending_ = false;
      self->Pump();
    });
  }

  // The answer is made: once what is queued is sent, the request is done.
  void Produced() {
    producing_ = false;
    Pump();
  }

  // Sends what is queued, a write at a time, each under the write deadline: a
  // client that takes bytes, however slowly, is not cut off, and one that takes
  // none for that long is. The answer's length does not count.
  void Pump() {
    if (writing_ || ended_) return;
    const std::string_view next = write_failed_ ? std::string_view() : queue_.Front();
    if (next.empty()) {
      if (!producing_) Complete();
      return;
    }
    writing_ = true;
    Deadline(core_.settings.write_timeout);
    stream_.async_write_some(asio::buffer(next.data(), next.size()),
                             [self = this->shared_from_this()](error_code ec, size_t n) {
                               ec = self->Settle(ec);
                               self->writing_ = false;
                               if (ec) {
                                 self->write_failed_ = true;
                                 self->queue_.Drop();
                               } else {
                                 self->bytes_sent_ += n;
                                 self->queue_.Consume(n);
                               }
                               self->Pump();
                             });
  }

  // The access log line and the counts of the answer, with whether it reached
  // the client whole and how many bytes did.
  void LogAnswer(bool delivered) {
    note_.delivered = delivered;
    note_.bytes_sent = bytes_sent_;
    core_.service.Log(&head_, client_, status_, note_);
  }

  // Everything queued is sent, or could not be: the next request, or the end. A
  // stop that began meanwhile ends the connection as a closing answer would.
  void Complete() {
    const bool failed = write_failed_ || queue_.dropped();
    LogAnswer(whole_ && !failed);
    if (failed) queue_.Drop();
    queue_.Release();
    in_progress_ = false;
    // A paged answer the component ended short has no end the client could see:
    // the connection's end tells it.
    if (failed || !whole_) return End();
    if (close_ || core_.stopping) return Close(true);
    WaitForRequest();
  }

  // A refusal ends the connection: what the client sent after it is never read
  // as a request.
  void Refuse(const RequestHead* head, Reply reply) {
    reply.close = true;
    in_progress_ = true;
    refusal_ = ReplyBytes(reply);
    Deadline(core_.settings.read_timeout);
    const bool has_head = head != nullptr;
    asio::async_write(stream_, asio::buffer(refusal_),
                      [self = this->shared_from_this(), status = reply.status, has_head](
                          error_code ec, size_t sent) {
                        ec = self->Settle(ec);
                        ServedNote note;
                        note.delivered = !ec;
                        note.bytes_sent = sent;
                        self->core_.service.Log(has_head ? &self->head_ : nullptr, self->client_,
                                                status, note);
                        self->in_progress_ = false;
                        self->Close(!ec);
                      });
  }

  // A client that spoke plain HTTP to the TLS port is told so in plain HTTP,
  // on the socket beneath TLS, and the connection ends.
  void RefusePlainHttp() {
    in_progress_ = true;
    refusal_ = ReplyBytes(
        TextReply(400, "this port speaks HTTPS: send the request to an https:// address", true));
    Deadline(core_.settings.read_timeout);
    asio::async_write(Lowest(), asio::buffer(refusal_),
                      [self = this->shared_from_this()](error_code ec, size_t sent) {
                        ec = self->Settle(ec);
                        ServedNote note;
                        note.delivered = !ec;
                        note.bytes_sent = sent;
                        self->core_.service.Log(nullptr, self->client_, 400, note);
                        self->in_progress_ = false;
                        if (ec) return self->End();
                        // The rest of the request is read and thrown away for a
                        // bounded time, so that closing does not reset the answer.
                        error_code ignored;
                        self->Lowest().socket().shutdown(asio::ip::tcp::socket::shutdown_send,
                                                         ignored);
                        self->Deadline(kLinger);
                        self->DiscardPlain();
                      });
  }

  void DiscardPlain() {
    Lowest().async_read_some(asio::buffer(discard_),
                             [self = this->shared_from_this()](error_code ec, size_t) {
                               ec = self->Settle(ec);
                               if (ec) return self->End();
                               self->DiscardPlain();
                             });
  }

  // Sends the end of the stream and waits, a bounded time, for the client to
  // take the answer and close; what it sends meanwhile is thrown away unread,
  // so that closing with unread bytes does not reset the answer away.
  void Close(bool linger) {
    if (ended_) return;
    if (!linger) return End();
    Deadline(kLinger);
    if constexpr (std::is_same_v<Stream, TlsStream>) {
      stream_.async_shutdown([self = this->shared_from_this()](error_code) { self->End(); });
    } else {
      error_code ignored;
      Lowest().socket().shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
      Discard();
    }
  }

  void Discard() {
    stream_.async_read_some(asio::buffer(discard_),
                            [self = this->shared_from_this()](error_code ec, size_t) {
                              ec = self->Settle(ec);
                              if (ec) return self->End();
                              self->Discard();
                            });
  }

  void End() {
    if (ended_) return;
    ended_ = true;
    error_code ignored;
    Lowest().socket().close(ignored);
    core_.Removed(this);
  }

  HttpEngine::Core& core_;
  const std::string client_;
  Stream stream_;
  beast::flat_buffer buffer_{kHeaderBytesRead + 4096};
  std::optional<RequestReader> parser_;
  RequestHead head_;
  std::string body_;
  ServedNote note_;
  std::string refusal_;
  // The answer: what the client has not taken yet, and how it was made.
  AnswerQueue queue_{core_.budget, core_.settings.spool_dir};
  AnswerStream answer_stream_{queue_, [this] { Wake(); }};
  int status_ = 200;
  bool whole_ = true;  // made whole (a paged answer may end short)
  bool close_ = false;
  bool producing_ = false;
  bool writing_ = false;
  bool write_failed_ = false;
  uint64_t bytes_sent_ = 0;
  std::atomic<bool> kick_pending_{false};
  std::array<char, 4096> discard_{};
  static constexpr std::chrono::steady_clock::rep kNoDeadline =
      std::numeric_limits<std::chrono::steady_clock::rep>::max();
  std::atomic<std::chrono::steady_clock::rep> deadline_{kNoDeadline};
  std::atomic<bool> timed_out_{false};
  std::atomic<bool> in_progress_{false};
  std::mutex handover_;
  bool ended_ = false;
};

std::string ClientOf(const asio::ip::tcp::socket& socket) {
  error_code ec;
  const auto remote = socket.remote_endpoint(ec);
  if (ec) return "";
  return remote.address().to_string() + ":" + std::to_string(remote.port());
}

}  // namespace

void StartConnection(HttpEngine::Core& core, asio::ip::tcp::socket socket) {
  std::string client = ClientOf(socket);
  if (core.tls) {
    std::make_shared<Session<TlsStream>>(core, std::move(client), std::move(socket), *core.tls)
        ->Start();
  } else {
    std::make_shared<Session<PlainStream>>(core, std::move(client), std::move(socket))->Start();
  }
}

}  // namespace quillor::serve
