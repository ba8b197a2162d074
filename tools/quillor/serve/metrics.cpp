#include "tools/quillor/serve/metrics.h"

#include <cstdio>
#include <set>

namespace quillor::serve {

namespace {

std::string Number(double value) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.9g", value);
  return buf;
}

void Header(std::string& out, const char* name, const char* type, const char* help) {
  out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
}

}  // namespace

void Metrics::CountRequest(const std::string& proc_label, int status, double seconds) {
  std::lock_guard lock(mutex_);
  ++requests_[{proc_label, status}];
  for (size_t i = 0; i < kBuckets.size(); ++i) {
    if (seconds <= kBuckets[i]) {
      ++bucket_counts_[i];
      break;
    }
  }
  ++duration_count_;
  duration_sum_ += seconds;
}

void Metrics::CountDelivery(bool delivered, uint64_t bytes_sent) {
  std::lock_guard lock(mutex_);
  if (!delivered) ++cut_short_;
  bytes_sent_ += bytes_sent;
}

void Metrics::CountItems(const ItemCounts& items) {
  if (items.empty()) return;
  std::lock_guard lock(mutex_);
  for (const auto& [code, count] : items) items_[code] += count;
}

void Metrics::CountReply(const std::string& proc_label, const std::string& code) {
  std::lock_guard lock(mutex_);
  ++replies_[{proc_label, CodeLabel(code)}];
}

std::string Metrics::CodeLabel(const std::string& code) {
  // The component's own reply codes and the failure numbers it reports.
  static const std::set<std::string> kKnown = {
      "5",    "6",           "7",           "13",          "91",          "94",
      "100",  "101",         "529",         "710",         "3021",        "3265",
      "3704", "-2147217900", "-2147217873", "-2147467259", "-2147467263", "-2147417842"};
  return kKnown.count(code) ? code : "other";
}

void Metrics::SetBuild(std::string version, std::string release, std::string commit) {
  // Label values are escaped as the text format wants them.
  auto label = [](const std::string& value) {
    std::string escaped;
    for (const char c : value) {
      if (c == '\\' || c == '"') escaped += '\\';
      escaped += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return escaped;
  };
  build_info_ = "quillor_build_info{version=\"" + label(version) + "\",release=\"" +
                label(release) + "\",commit=\"" + label(commit) + "\"} 1\n";
}

std::string Metrics::Render(const Gauges& gauges) const {
  std::string out;
  if (!build_info_.empty()) {
    Header(out, "quillor_build_info", "gauge",
           "Always 1: the version of the command, the release it serves and the source commit.");
    out += build_info_;
  }
  {
    std::lock_guard lock(mutex_);
    Header(out, "quillor_requests_total", "counter",
           "HTTP requests answered, by operation and status.");
    for (const auto& [key, count] : requests_) {
      out += "quillor_requests_total{proc=\"" + key.first + "\",status=\"" +
             std::to_string(key.second) + "\"} " + std::to_string(count) + "\n";
    }
    Header(out, "quillor_items_total", "counter", "Item results of ADD replies, by result code.");
    for (const auto& [code, count] : items_) {
      out += "quillor_items_total{code=\"" + code + "\"} " + std::to_string(count) + "\n";
    }
    Header(out, "quillor_replies_total", "counter",
           "Replies that carry a code of their own (failures), by operation and code.");
    for (const auto& [key, count] : replies_) {
      out += "quillor_replies_total{proc=\"" + key.first + "\",code=\"" + key.second + "\"} " +
             std::to_string(count) + "\n";
    }
    Header(out, "quillor_request_duration_seconds", "histogram",
           "Time from reading a request to answering it.");
    long cumulative = 0;
    for (size_t i = 0; i < kBuckets.size(); ++i) {
      cumulative += bucket_counts_[i];
      out += "quillor_request_duration_seconds_bucket{le=\"" + Number(kBuckets[i]) + "\"} " +
             std::to_string(cumulative) + "\n";
    }
    out += "quillor_request_duration_seconds_bucket{le=\"+Inf\"} " +
           std::to_string(duration_count_) + "\n";
    out += "quillor_request_duration_seconds_sum " + Number(duration_sum_) + "\n";
    out += "quillor_request_duration_seconds_count " + std::to_string(duration_count_) + "\n";
    Header(out, "quillor_answers_cut_short_total", "counter",
           "Answers that did not reach their client whole: it left, or took nothing for the "
           "write timeout.");
    out += "quillor_answers_cut_short_total " + std::to_string(cut_short_) + "\n";
    Header(out, "quillor_response_bytes_total", "counter",
           "Bytes of answers (heads and bodies) that reached their clients.");
    out += "quillor_response_bytes_total " + std::to_string(bytes_sent_) + "\n";
  }
  Header(out, "quillor_workers", "gauge", "Worker threads, by whether they serve a connection.");
  out += "quillor_workers{state=\"busy\"} " + std::to_string(gauges.workers_busy) + "\n";
  out += "quillor_workers{state=\"idle\"} " + std::to_string(gauges.workers_idle) + "\n";
  Header(out, "quillor_connections_queued", "gauge", "Accepted connections waiting for a worker.");
  out += "quillor_connections_queued " + std::to_string(gauges.connections_queued) + "\n";
  if (gauges.pool_idle && gauges.pool_busy) {
    Header(out, "quillor_pool_connections", "gauge",
           "Database connections of the component's pool, by state.");
    out += "quillor_pool_connections{state=\"idle\"} " + std::to_string(*gauges.pool_idle) + "\n";
    out += "quillor_pool_connections{state=\"busy\"} " + std::to_string(*gauges.pool_busy) + "\n";
  }
  return out;
}

}  // namespace quillor::serve
