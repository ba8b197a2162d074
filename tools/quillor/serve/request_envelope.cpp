#include "tools/quillor/serve/request_envelope.h"

#include "platform/base/failure.h"
#include "platform/base/text.h"
#include "platform/xml/xml.h"
#include "runtime/conversions.h"

namespace quillor::serve {

namespace {

// True when paginate converts to a page size of at least 1 by the conversion the
// component applies to it; a text it refuses is no page size.
bool PositivePageSize(const std::string& text) {
  try {
    return ToInt32(FullNumber(text)) >= 1;
  } catch (const Failure&) {
    return false;
  }
}

}  // namespace

RequestEnvelope ReadEnvelope(std::string_view request) {
  RequestEnvelope envelope;
  // Read as the component reads its envelope: as far as the root's start tag,
  // no further. The component then parses the text itself.
  XmlDocument doc;
  if (!doc.LoadRootStart(request)) return envelope;
  const XmlElement root = doc.Root();
  if (!root) return envelope;
  envelope.proc = root.Attribute("proc").value_or("");
  envelope.docid = root.Attribute("docid").value_or("");
  envelope.roottag = root.Attribute("roottag").value_or("");
  const auto paginate = root.Attribute("paginate");
  envelope.paged = AsciiUpper(envelope.proc) == "QUERY" && paginate && PositivePageSize(*paginate);
  return envelope;
}

std::string ProcLabel(std::string_view proc) {
  const std::string upper = AsciiUpper(proc);
  return upper == "ADD" || upper == "QUERY" ? upper : "OTHER";
}

}  // namespace quillor::serve
