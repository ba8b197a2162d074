#include "tools/quillor/serve/access_log.h"

#include <cstdio>
#include <ctime>

namespace quillor::serve {

namespace {

constexpr size_t kLongestText = 256;

std::string Utc(std::chrono::system_clock::time_point time) {
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm tm{};
  gmtime_r(&seconds, &tm);
  char buf[96];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                static_cast<int>(ms % 1000));
  return buf;
}

std::string Quoted(std::string_view text) {
  return "\"" + JsonEscaped(text.substr(0, kLongestText)) + "\"";
}

}  // namespace

std::string JsonEscaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte >= 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", byte);
      out += buf;
    } else {
      out += c;
    }
  }
  return out;
}

std::string AccessLine(const AccessRecord& r) {
  std::string items = "{";
  for (const auto& [code, count] : r.items) {
    if (items.size() > 1) items += ",";
    items += Quoted(code) + ":" + std::to_string(count);
  }
  items += "}";
  // The reasons share one budget: a batch of many refusals keeps its line short.
  std::string refused;
  size_t budget = kLongestText;
  for (const auto& [code, reasons] : r.refused) {
    std::string list;
    for (const std::string& reason : reasons) {
      if (budget == 0) break;
      const std::string_view cut = std::string_view(reason).substr(0, budget);
      budget -= cut.size();
      if (!list.empty()) list += ",";
      list += "\"" + JsonEscaped(cut) + "\"";
    }
    if (list.empty()) break;
    refused += (refused.empty() ? "" : ",") + Quoted(code) + ":[" + list + "]";
  }
  if (!refused.empty()) items += ",\"refused\":{" + refused + "}";
  if (r.request_bytes) items += ",\"request_bytes\":" + std::to_string(*r.request_bytes);
  if (r.limit) items += ",\"limit\":" + std::to_string(*r.limit);
  char duration[32];
  std::snprintf(duration, sizeof duration, "%.3f", r.duration_ms);
  return "{\"time\":\"" + Utc(r.time) + "\",\"client\":" + Quoted(r.client) +
         ",\"method\":" + Quoted(r.method) + ",\"path\":" + Quoted(r.path) +
         ",\"status\":" + std::to_string(r.status) +
         ",\"delivered\":" + (r.delivered ? "true" : "false") + ",\"code\":" + Quoted(r.code) +
         ",\"proc\":" + Quoted(r.proc) + ",\"docid\":" + Quoted(r.docid) + ",\"items\":" + items +
         ",\"duration_ms\":" + duration + ",\"bytes_sent\":" + std::to_string(r.bytes_sent) + "}";
}

}  // namespace quillor::serve
