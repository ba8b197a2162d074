// GET /healthz and GET /metrics.
#include "tools/quillor/serve/service.h"

namespace quillor::serve {

namespace {

constexpr const char* kText = "text/plain; charset=utf-8";

Reply Text(const RequestHead& head, int status, std::string text) {
  Reply reply;
  reply.status = status;
  reply.content_type = kText;
  reply.body = std::move(text);
  reply.head_only = head.method == "HEAD";
  return reply;
}

}  // namespace

std::optional<std::string> Service::DatabaseFailure() const {
  // From the library's pool, checked before it serves: a check every few
  // seconds reuses one connection instead of opening one each time, and never
  // reaches the SQL trace.
  if (!settings_.database_failure) return "no release library to ask";
  return settings_.database_failure(settings_.connection_text);
}

Reply Service::Health(const RequestHead& head) const {
  const std::optional<std::string> failure = DatabaseFailure();
  if (!failure) return Text(head, 200, "ok\n");
  // The open check is answered to anyone: it tells nothing of the database.
  if (settings_.healthz_open) return Text(head, 503, "unavailable\n");
  return Text(head, 503, *failure + "\n");
}

Reply Service::ShowMetrics(const RequestHead& head, const Gauges& gauges) const {
  Reply reply = Text(head, 200, metrics_.Render(gauges));
  reply.content_type = "text/plain; version=0.0.4; charset=utf-8";
  return reply;
}

}  // namespace quillor::serve
