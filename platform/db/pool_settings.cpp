#include "platform/db/pool_settings.h"

#include <charconv>
#include <cstdint>
#include <string>

#include "platform/base/failure.h"
#include "platform/base/text.h"

namespace quillor {
namespace {

constexpr std::string_view kPoolingKey = "Pooling";
constexpr std::string_view kIdleTimeoutKey = "Pool Idle Timeout";

[[noreturn]] void RefuseText(const std::string& why) {
  throw Failure(failure_numbers::kFail, "[Quillor] invalid connection text: " + why);
}

bool ReadSwitch(const std::string& value) {
  for (const char* on : {"true", "yes"}) {
    if (EqualsIgnoreCase(value, on)) return true;
  }
  for (const char* off : {"false", "no"}) {
    if (EqualsIgnoreCase(value, off)) return false;
  }
  RefuseText("Pooling must be true or false");
}

std::chrono::seconds ReadSeconds(const std::string& value) {
  int64_t seconds = -1;
  const char* end = value.data() + value.size();
  auto [ptr, ec] = std::from_chars(value.data(), end, seconds);
  if (ec != std::errc() || ptr != end || seconds < 0) {
    RefuseText("Pool Idle Timeout must be a whole number of seconds");
  }
  return std::chrono::seconds(seconds);
}

}  // namespace

PoolSettings ReadPoolSettings(const ConnectionText& connection_text) {
  // An ODBC text in a form of its own holds no pairs: the driver judges it as it is.
  PoolSettings settings;
  if (const auto pooling = connection_text.Get(kPoolingKey))
    settings.pooling = ReadSwitch(*pooling);
  if (const auto idle = connection_text.Get(kIdleTimeoutKey)) {
    settings.idle_time = ReadSeconds(*idle);
  }
  settings.database = connection_text.Without({kPoolingKey, kIdleTimeoutKey});
  return settings;
}

PoolSettings ReadPoolSettings(std::string_view connection_text) {
  return ReadPoolSettings(ConnectionText::Lenient(connection_text));
}

}  // namespace quillor
