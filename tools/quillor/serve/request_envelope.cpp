#include "tools/quillor/serve/request_envelope.h"

#include <charconv>
#include <cmath>

#include "platform/base/text.h"
#include "platform/xml/xml.h"

namespace quillor::serve {

namespace {

// True when paginate reads as a number that rounds to a whole page size of at
// least 1, as the component reads it; any text it refuses is no page size.
bool PositivePageSize(std::string_view text) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || !(IsDigit(text.front()) || text.front() == '.')) {
    return false;
  }
  double value = 0;
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
  if (error != std::errc() || end != text.data() + text.size()) return false;
  const double whole = std::nearbyint(value);
  return whole >= 1 && whole <= 2147483647.0;
}

}  // namespace

RequestEnvelope ReadEnvelope(std::string_view request) {
  RequestEnvelope envelope;
  XmlDocument doc;
  if (!doc.LoadXml(request)) return envelope;
  const XmlElement root = doc.Root();
  if (!root) return envelope;
  envelope.proc = root.Attribute("proc").value_or("");
  envelope.docid = root.Attribute("docid").value_or("");
  const auto paginate = root.Attribute("paginate");
  envelope.paged = AsciiUpper(envelope.proc) == "QUERY" && paginate && PositivePageSize(*paginate);
  return envelope;
}

std::string ProcLabel(std::string_view proc) {
  const std::string upper = AsciiUpper(proc);
  return upper == "ADD" || upper == "QUERY" ? upper : "OTHER";
}

}  // namespace quillor::serve
