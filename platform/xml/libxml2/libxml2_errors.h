// libxml2's error reports: silenced for the length of one of our calls, and a
// parse's failure as one text.
// Included by platform/xml/libxml2/*.cpp only.
#pragma once

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <optional>
#include <string>

#include "platform/base/failure.h"

namespace quillor::libxml2 {

inline void DiscardStructured(void*, xmlErrorPtr) {}
inline void DiscardGeneric(void*, const char*, ...) {}

// libxml2's error handlers belong to the thread, and so to everyone in the
// process who parses on it. Silent ones stand only for the length of one of our
// calls, so nothing reaches stderr, and the caller's come back afterwards: a
// handler left behind would point into this library after it is unloaded, and
// the host's next parse error would jump there.
class QuietErrors {
 public:
  QuietErrors() {
    thread_local bool initialised = false;
    if (!initialised) {
      xmlInitParser();
      initialised = true;
    }
    structured_ = xmlStructuredError;
    structured_context_ = xmlStructuredErrorContext;
    generic_ = xmlGenericError;
    generic_context_ = xmlGenericErrorContext;
    xmlSetStructuredErrorFunc(nullptr, DiscardStructured);
    xmlSetGenericErrorFunc(nullptr, DiscardGeneric);
  }
  ~QuietErrors() {
    xmlSetStructuredErrorFunc(structured_context_, structured_);
    xmlSetGenericErrorFunc(generic_context_, generic_);
  }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;

 private:
  xmlStructuredErrorFunc structured_;
  void* structured_context_;
  xmlGenericErrorFunc generic_;
  void* generic_context_;
};

inline std::string Trimmed(std::string s) {
  while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
  return s;
}

// Why a parse did not give a whole document, or nothing when it did. An
// allocation failure stops the parser without marking the document malformed:
// what was read so far would look whole, so any stop of the parser is a failure.
inline std::optional<std::string> ParseFailure(const xmlDoc* doc, xmlParserCtxt* ctxt) {
  const bool out_of_memory = ctxt->errNo == XML_ERR_NO_MEMORY;
  if (doc != nullptr && ctxt->wellFormed && ctxt->disableSAX == 0 && !out_of_memory) {
    return std::nullopt;
  }
  const xmlError* err = xmlCtxtGetLastError(ctxt);
  std::string failure = out_of_memory ? Failure::OutOfMemory().description()
                                      : (err && err->message ? Trimmed(err->message)
                                                             : "The document is not well-formed");
  if (err && err->line > 0) failure += " (line " + std::to_string(err->line) + ")";
  return failure;
}

}  // namespace quillor::libxml2
