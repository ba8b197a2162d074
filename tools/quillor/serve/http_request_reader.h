// The parser of one request, on the HTTP library's own parser: it keeps the head
// as the service reads it, bounds the headers field by field, and puts the body
// straight into the one string the component is handed. Included only by
// http_session.cpp.
#pragma once

#include <boost/beast/core/string.hpp>
#include <boost/beast/http/basic_parser.hpp>
#include <boost/beast/http/error.hpp>
#include <cstdint>
#include <string>

#include "tools/quillor/serve/http_exchange.h"
#include "tools/quillor/serve/http_limits.h"

namespace quillor::serve {

class RequestReader final : public boost::beast::http::basic_parser<true> {
 public:
  using error_code = boost::system::error_code;
  using string_view = boost::beast::string_view;
  using field = boost::beast::http::field;

  // `most`: the largest body taken, so that an announced length is never
  // reserved beyond it.
  explicit RequestReader(uint64_t most) : most_(most) {}

  // Feeds the bytes already read to the parser, as the library's read does
  // before it waits for more. True when the header (or the whole request) is
  // complete or refused, so that there is nothing to wait for: a request that
  // came in one piece costs no further read, no deadline and no acknowledgement.
  template <class Buffer>
  bool ParseBuffered(Buffer& buffer, bool header_only, error_code& ec) {
    eager(!header_only);
    const auto done = [&] { return header_only ? is_header_done() : is_done(); };
    while (!done()) {
      if (buffer.size() == 0) return false;
      const size_t used = put(buffer.data(), ec);
      buffer.consume(used);
      if (ec == boost::beast::http::error::need_more) {
        ec = {};
        return false;
      }
      if (ec) return true;
      if (used == 0) return false;
    }
    return true;
  }

  RequestHead head;
  RequestFraming framing;
  std::string body;
  bool line_read = false;  // the request line came whole
  bool trailers_over = false;

 private:
  void on_request_impl(boost::beast::http::verb, string_view method, string_view target,
                       int version, error_code& ec) override {
    line_read = true;
    head.method.assign(method.data(), method.size());
    head.target.assign(target.data(), target.size());
    head.path = head.target.substr(0, head.target.find('?'));
    head.version = version;
    framing.method_known = IsKnownMethod(head.method);
    framing.version = version;
    framing.request_line_bytes = method.size() + target.size() + 10;
    if (framing.request_line_bytes > kRequestLineBytes)
      ec = boost::beast::http::error::header_limit;
  }

  void on_response_impl(int, string_view, int, error_code&) override {}

  void on_field_impl(field name, string_view name_text, string_view value,
                     error_code& ec) override {
    // The fields after a chunked body have bounds of their own, and nothing in
    // them changes how the request is served.
    if (is_header_done()) {
      ++framing.trailer_count;
      framing.trailer_bytes += name_text.size() + value.size() + 4;
      if (framing.trailer_count > kTrailerFields || framing.trailer_bytes > kTrailerBytes) {
        trailers_over = true;
        ec = boost::beast::http::error::header_limit;
      }
      return;
    }
    ++framing.field_count;
    framing.field_bytes += name_text.size() + value.size() + 4;
    if (framing.field_count > kHeaderFields || framing.field_bytes > kHeaderBytes) {
      ec = boost::beast::http::error::header_limit;
      return;
    }
    const std::string text(value.data(), value.size());
    switch (name) {
      case field::authorization:
        head.authorization.push_back(text);
        break;
      case field::host:
        ++framing.host_count;
        break;
      case field::content_type:
        head.content_type = text;
        break;
      case field::transfer_encoding:
        // Given twice, it is no single coding.
        framing.transfer_encoding = framing.transfer_encoding ? std::string() : text;
        break;
      case field::expect:
        head.expects_continue = boost::beast::iequals(value, "100-continue");
        break;
      default:
        break;
    }
  }

  void on_header_impl(error_code&) override {
    if (const auto length = content_length()) head.content_length = *length;
    head.chunked = chunked();
    head.keep_alive = keep_alive();
    head.start = std::chrono::steady_clock::now();
  }

  void on_body_init_impl(const boost::optional<std::uint64_t>& length, error_code&) override {
    if (length && *length <= most_) body.reserve(static_cast<size_t>(*length));
  }

  std::size_t on_body_impl(string_view data, error_code&) override {
    body.append(data.data(), data.size());
    return data.size();
  }

  void on_chunk_header_impl(std::uint64_t, string_view, error_code&) override {}

  std::size_t on_chunk_body_impl(std::uint64_t, string_view data, error_code&) override {
    body.append(data.data(), data.size());
    return data.size();
  }

  void on_finish_impl(error_code&) override {}

  const uint64_t most_;
};

}  // namespace quillor::serve
