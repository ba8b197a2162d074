// An element written into our text, directly or through a save context.
// Included by platform/xml/libxml2/*.cpp only.
#pragma once

#include <libxml/tree.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlsave.h>

#include <new>
#include <string>

#include "platform/xml/libxml2/libxml2_handles.h"

namespace quillor::libxml2 {

inline int AppendToString(void* context, const char* bytes, int length) {
  static_cast<std::string*>(context)->append(bytes, static_cast<size_t>(length));
  return length;
}

// The element written straight into the text, with no encoder: the content is
// UTF-8 already and stays raw, as the save context writes it when told UTF-8.
// False when libxml2 reports a failure.
inline bool DumpInto(std::string& out, xmlDoc* doc, xmlNode* root) {
  xmlOutputBuffer* buffer = xmlOutputBufferCreateIO(AppendToString, nullptr, &out, nullptr);
  if (buffer == nullptr) throw std::bad_alloc();
  xmlNodeDumpOutput(buffer, doc, root, 0, 0, "UTF-8");
  const bool failed = buffer->error != 0;
  return xmlOutputBufferClose(buffer) >= 0 && !failed;
}

// The element through a save context (the way a document with a type declaration
// must go, which the direct dump would write as XHTML).
inline bool SaveInto(std::string& out, xmlNode* root) {
  XmlHandle<xmlBuffer, xmlBufferFree> buffer(xmlBufferCreate());
  if (!buffer) throw std::bad_alloc();
  {
    // Naming UTF-8 keeps characters beyond ASCII raw instead of as references.
    XmlHandle<xmlSaveCtxt, xmlSaveClose> save(
        xmlSaveToBuffer(buffer.get(), "UTF-8", XML_SAVE_NO_DECL | XML_SAVE_AS_XML));
    if (!save) throw std::bad_alloc();
    if (xmlSaveTree(save.get(), root) < 0) return false;
  }  // closing the context flushes it into the buffer
  out.append(reinterpret_cast<const char*>(xmlBufferContent(buffer.get())),
             static_cast<size_t>(xmlBufferLength(buffer.get())));
  return true;
}

}  // namespace quillor::libxml2
