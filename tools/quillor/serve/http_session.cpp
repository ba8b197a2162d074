// One connection: its requests read in turn under their deadlines, checked on
// their headers, handed to a worker once complete, and answered in order.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/string.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/ssl/ssl_stream.hpp>

#include <array>
#include <atomic>
#include <cerrno>
#include <future>
#include <limits>
#include <mutex>
#include <type_traits>

#include "tools/quillor/serve/http_core.h"
#include "tools/quillor/serve/http_limits.h"
#include "tools/quillor/serve/http_request_reader.h"

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

  // The deadline of the operation about to start. When it passes, the pending
  // operation is cancelled and its handler sees a timeout; the socket stays
  // open, so that a 408 can still be written.
  void Deadline(std::chrono::steady_clock::duration within) {
    timed_out_ = false;
    timer_.expires_after(within);
    timer_.async_wait([weak = this->weak_from_this()](error_code ec) {
      const auto self = weak.lock();
      if (ec || !self) return;
      self->timed_out_ = true;
      error_code ignored;
      self->Lowest().socket().cancel(ignored);
    });
  }

  // The outcome of the operation that just ended, its deadline let go.
  error_code Settle(error_code ec) {
    timer_.cancel();
    if (timed_out_ && ec == asio::error::operation_aborted) return beast::error::timeout;
    return ec;
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

  // Feeds the bytes already read to the parser, as the library's read does
  // before it waits for more. True when the header (or the whole request) is
  // complete or refused, so that there is nothing to wait for: a request that
  // came in one piece costs no further read, no deadline and no acknowledgement.
  bool ParseBuffered(bool header_only, error_code& ec) {
    parser_->eager(!header_only);
    const auto done = [&] { return header_only ? parser_->is_header_done() : parser_->is_done(); };
    while (!done()) {
      if (buffer_.size() == 0) return false;
      const size_t used = parser_->put(buffer_.data(), ec);
      buffer_.consume(used);
      if (ec == http::error::need_more) {
        ec = {};
        return false;
      }
      if (ec) return true;
      if (used == 0) return false;
    }
    return true;
  }

  // Reads the header, or the rest of the request, under the read deadline.
  void Read(bool header_only) {
    error_code ec;
    if (ParseBuffered(header_only, ec)) return header_only ? OnHeader(ec) : OnBody(ec);
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
    if (ec) return Refuse(&head_, TextReply(400, "the request body could not be read", true));
    Dispatch();
  }

  void Dispatch() {
    head_.keep_alive = parser_->keep_alive();
    body_ = std::move(parser_->body);
    parser_.reset();
    note_ = ServedNote{};
    if (!Service::NeedsWorker(head_)) {
      Gauges gauges;
      gauges.workers_busy = static_cast<long>(core_.pool.busy());
      gauges.workers_idle = static_cast<long>(core_.pool.threads()) - gauges.workers_busy;
      gauges.connections_queued = static_cast<long>(core_.pool.queued());
      if (core_.service.settings().pool_counts) {
        if (const auto counts = core_.service.settings().pool_counts()) {
          gauges.pool_idle = counts->first;
          gauges.pool_busy = counts->second;
        }
      }
      return Send(core_.service.ShowMetrics(head_, gauges));
    }
    in_progress_ = true;
    auto self = this->shared_from_this();
    const bool taken =
        core_.pool.TrySubmit([self](WorkerState& worker) { return self->Work(worker); });
    if (!taken) {
      in_progress_ = false;
      Refuse(&head_, core_.service.stopping() ? Service::Stopping() : Service::Busy());
    }
  }

  // On a worker: the connection has no operation of its own pending meanwhile,
  // other than the writes of a streamed answer, which this thread waits for.
  std::function<void()> Work(WorkerState& worker) {
    std::optional<Reply> reply;
    try {
      reply = core_.service.Serve(head_, body_, worker, streamer_, note_);
    } catch (const std::exception& e) {
      if (!streamer_.begun) reply = TextReply(500, e.what(), true);
    }
    body_.clear();
    body_.shrink_to_fit();
    auto done = std::make_shared<std::optional<Reply>>(std::move(reply));
    return [self = this->shared_from_this(), done] {
      if constexpr (std::is_same_v<Stream, PlainStream>) {
        if (*done) return self->SendFromWorker(std::move(**done));
      }
      asio::post(self->core_.io, [self, done] {
        if (*done) return self->Send(std::move(**done));
        self->AfterStream();
      });
    };
  }

  // The head and the body of an answer, kept until they are written: a long
  // body is not copied, and both go out in one gathered write.
  void Prepare(Reply& reply, bool stopping) {
    if (!head_.keep_alive || stopping) reply.close = true;
    out_ = ReplyHead(reply, false);
    out_body_ = reply.head_only ? std::string() : std::move(reply.body);
  }

  void Send(Reply reply) {
    Prepare(reply, core_.stopping);
    WriteFrom(0, reply.status, reply.close);
  }

  // On the worker, once it counts as free again: the answer goes straight to the
  // socket, which no operation of the I/O thread holds meanwhile, so that the
  // client has it without waiting for the I/O thread to wake. The request is
  // logged and counted first, so that a client holding its answer finds it in
  // the metrics. What the socket does not take at once is written by the I/O
  // thread under the write deadline.
  void SendFromWorker(Reply reply) {
    Prepare(reply, core_.service.stopping());
    core_.service.Log(&head_, client_, reply.status, note_);
    std::array<iovec, 2> pieces = {iovec{out_.data(), out_.size()},
                                   iovec{out_body_.data(), out_body_.size()}};
    msghdr message{};
    message.msg_iov = pieces.data();
    message.msg_iovlen = pieces.size();
    ssize_t sent = 0;
    do {
      sent = ::sendmsg(Lowest().socket().native_handle(), &message, MSG_NOSIGNAL | MSG_DONTWAIT);
    } while (sent < 0 && errno == EINTR);
    const bool failed = sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK;
    const size_t taken = sent < 0 ? 0 : static_cast<size_t>(sent);
    if (!failed && taken == out_.size() + out_body_.size() && ResumeOnWorker(reply.close)) return;
    asio::post(core_.io, [self = this->shared_from_this(), failed, taken, close = reply.close] {
      if (failed || taken == self->out_.size() + self->out_body_.size()) {
        self->out_.clear();
        self->out_body_ = std::string();
        return self->Answered(failed, close);
      }
      self->WriteFrom(taken, std::nullopt, close);
    });
  }

  // An answer written whole on a keep-alive connection: the worker starts the
  // wait for the next request itself, so that the I/O thread is not woken only
  // to start it. Not at a stop, and not with bytes of a next request already
  // read: those go back to the I/O thread. False when the I/O thread is to go on.
  bool ResumeOnWorker(bool close) {
    const std::lock_guard lock(handover_);
    if (close || core_.service.stopping() || buffer_.size() > 0) return false;
    out_.clear();
    out_body_ = std::string();
    in_progress_ = false;
    NewParser();
    WaitForFirstByte();
    return true;
  }

  // Writes the answer from byte `from` on, under the write deadline; logs it
  // once written unless it was logged before.
  void WriteFrom(size_t from, std::optional<int> log_status, bool close) {
    std::array<asio::const_buffer, 2> pieces = {asio::buffer(out_), asio::buffer(out_body_)};
    if (from < out_.size()) {
      pieces[0] += from;
    } else {
      pieces[0] = asio::const_buffer();
      pieces[1] += from - out_.size();
    }
    Deadline(core_.settings.read_timeout);
    asio::async_write(stream_, pieces,
                      [self = this->shared_from_this(), log_status, close](error_code ec, size_t) {
                        ec = self->Settle(ec);
                        self->out_.clear();
                        self->out_body_ = std::string();
                        if (log_status) {
                          self->core_.service.Log(&self->head_, self->client_, *log_status,
                                                  self->note_);
                        }
                        self->Answered(static_cast<bool>(ec), close);
                      });
  }

  // The answer is written (or could not be): the next request, or the end. A
  // stop that began meanwhile ends the connection as a closing answer would.
  void Answered(bool failed, bool close) {
    in_progress_ = false;
    if (failed || close || core_.stopping) return Close(!failed);
    WaitForRequest();
  }

  void AfterStream() {
    core_.service.Log(&head_, client_, 200, note_);
    in_progress_ = false;
    const bool whole = streamer_.finished && !streamer_.failed;
    const bool again = whole && head_.keep_alive && !core_.stopping;
    streamer_ = Streamer(this);
    if (!again) return Close(whole);
    WaitForRequest();
  }

  // A refusal ends the connection: what the client sent after it is never read
  // as a request.
  void Refuse(const RequestHead* head, Reply reply) {
    reply.close = true;
    in_progress_ = true;
    out_ = ReplyBytes(reply);
    Deadline(core_.settings.read_timeout);
    const bool has_head = head != nullptr;
    asio::async_write(
        stream_, asio::buffer(out_),
        [self = this->shared_from_this(), status = reply.status, has_head](error_code ec, size_t) {
          ec = self->Settle(ec);
          self->core_.service.Log(has_head ? &self->head_ : nullptr, self->client_, status,
                                  ServedNote{});
          self->in_progress_ = false;
          self->Close(!ec);
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

  // The streamed answer of a paged QUERY, written from the worker: each part is
  // written by the I/O thread while the worker waits for it to be sent.
  struct Streamer final : ReplyStream {
    explicit Streamer(Session* s) : session(s) {}
    bool Begin(const Reply& head) override {
      Reply h = head;
      h.close = !session->head_.keep_alive || session->core_.stopping;
      begun = true;
      return Put(ReplyHead(h, true));
    }
    bool Write(std::string_view part) override { return Put(Chunk(part)); }
    bool Finish() override {
      finished = Put("0\r\n\r\n");
      return finished;
    }
    bool Put(std::string bytes) {
      if (failed) return false;
      std::promise<bool> sent;
      std::future<bool> done = sent.get_future();
      asio::post(session->core_.io, [s = session, &bytes, &sent] {
        s->Deadline(s->core_.settings.read_timeout);
        asio::async_write(s->stream_, asio::buffer(bytes), [s, &sent](error_code ec, size_t) {
          s->Settle(ec);
          sent.set_value(!ec);
        });
      });
      failed = !done.get();
      return !failed;
    }
    Session* session;
    bool begun = false;
    bool finished = false;
    bool failed = false;
  };

  HttpEngine::Core& core_;
  const std::string client_;
  Stream stream_;
  beast::flat_buffer buffer_{kHeaderBytesRead + 4096};
  std::optional<RequestReader> parser_;
  RequestHead head_;
  std::string body_;
  ServedNote note_;
  std::string out_;
  std::string out_body_;
  Streamer streamer_{this};
  std::array<char, 4096> discard_{};
  asio::steady_timer timer_{core_.io};
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
