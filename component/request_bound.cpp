#include "component/request_bound.h"

#include <charconv>
#include <cstdlib>

#include "platform/base/failure.h"

namespace quillor {

namespace {

uint64_t WholeBytes(std::string_view text, std::string_view where) {
  uint64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || value == 0) {
    throw Failure(failure_numbers::kFail,
                  "[Quillor] " + std::string(where) + " must be a whole number of bytes above 0");
  }
  return value;
}

const char* EnvironmentBound() {
  const char* env = std::getenv("QUILLOR_MAX_REQUEST_SIZE");
  return env != nullptr && *env != '\0' ? env : nullptr;
}

const char* BoundSource(const ConnectionText& connection_text) {
  return connection_text.Get(kMaxRequestSizeKey) ? "Max Request Size"
         : EnvironmentBound()                    ? "QUILLOR_MAX_REQUEST_SIZE"
                                                 : "the default";
}

}  // namespace

// An ODBC text in a form of its own holds no pairs: the bound is then the default.
uint64_t MaxRequestBytes(const ConnectionText& connection_text) {
  if (const std::optional<std::string> given = connection_text.Get(kMaxRequestSizeKey)) {
    return WholeBytes(*given, "Max Request Size in the connection text");
  }
  if (const char* env = EnvironmentBound()) return WholeBytes(env, "QUILLOR_MAX_REQUEST_SIZE");
  return kDefaultMaxRequestBytes;
}

std::string OversizedRequestNote(uint64_t request_bytes, const ConnectionText& connection_text) {
  return "the request is " + std::to_string(request_bytes) +
         " bytes, more than the largest accepted, " +
         std::to_string(MaxRequestBytes(connection_text)) + " bytes (" +
         BoundSource(connection_text) + ")";
}

std::string OversizedStreamNote(std::string_view source, const ConnectionText& connection_text) {
  const std::string from = source == "-" ? "standard input" : std::string(source);
  return "the request from " + from + " went past the largest accepted, " +
         std::to_string(MaxRequestBytes(connection_text)) + " bytes (" +
         BoundSource(connection_text) + "), and was read no further";
}

}  // namespace quillor
