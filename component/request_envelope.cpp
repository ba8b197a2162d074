#include "component/request_envelope.h"

#include "platform/base/text.h"
#include "platform/xml/element_values.h"

namespace quillor {

RequestEnvelope RequestEnvelope::FromRoot(XmlElement root) {
  RequestEnvelope envelope;
  envelope.proc = AttributeText(root, "proc");
  envelope.operation = AsciiUpper(envelope.proc);
  envelope.docid = AttributeText(root, "docid");
  envelope.roottag = root.Attribute("roottag");
  envelope.paginate = root.Attribute("paginate");
  envelope.is_add = envelope.operation == "ADD";
  return envelope;
}

}  // namespace quillor
