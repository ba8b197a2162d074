// The functions of include/quillor/quillor.h that read texts for a command: a
// connection text's facts, the note beside a refused oversized request, and the
// English of the component's texts, in the release's own texts. Compiled once
// per deliverable, with QUILLOR_RELEASE_FUNCTION naming that release's profile.
#include <cstdlib>
#include <new>
#include <optional>
#include <string>

#include "component/deliverable/guarded_call.h"
#include "component/reply_gloss.h"
#include "component/request_bound.h"
#include "platform/base/failure.h"
#include "platform/db/connection_text.h"
#include "platform/db/provider_text.h"
#include "profiles/release_profile.h"
#include "quillor/quillor.h"
#include "schema/host_database.h"

#ifndef QUILLOR_RELEASE_FUNCTION
#error "QUILLOR_RELEASE_FUNCTION must name the release profile of this deliverable"
#endif

namespace {

using quillor::deliverable::AnswerText;
using quillor::deliverable::ClearOut;
using quillor::deliverable::CopyOut;

static_assert(std::string_view(QUILLOR_MAX_REQUEST_SIZE_KEY) == quillor::kMaxRequestSizeKey,
              "the header's key is the component's");

// The release's own texts, which its replies hold.
const quillor::MessageTextMap& Texts() {
  return quillor::QUILLOR_RELEASE_FUNCTION().message_texts();
}

std::string TextOf(const char* text, size_t length) {
  return std::string(text ? text : "", length);
}

// A copy the host frees with quillor_free; NULL for none. Out of memory throws,
// so that the facts are whole or not given.
char* OptionalCopy(const std::optional<std::string>& text) {
  if (!text) return nullptr;
  char* copy = CopyOut(*text);
  if (!copy) throw std::bad_alloc();
  return copy;
}

}  // namespace

extern "C" {

void quillor_connection_facts_free(quillor_connection_facts_t* facts) {
  if (!facts) return;
  std::free(facts->sqlite_file);
  std::free(facts->masked);
  std::free(facts->provider_refusal);
  *facts = quillor_connection_facts_t{};
}

int32_t quillor_connection_facts(const char* connection, size_t connection_length,
                                 quillor_connection_facts_t* facts) {
  if (!facts) return quillor::com::E_POINTER;
  *facts = quillor_connection_facts_t{};
  if (!connection && connection_length) return quillor::com::E_POINTER;
  try {
    const std::string text = TextOf(connection, connection_length);
    const quillor::ConnectionText lenient = quillor::ConnectionText::Lenient(text);
    try {
      facts->request_bound = quillor::MaxRequestBytes(lenient);
    } catch (const quillor::Failure&) {  // the call's reply refuses it
      facts->request_bound = quillor::kDefaultMaxRequestBytes;
      facts->bound_refused = 1;
    }
    facts->names_bound = lenient.Get(quillor::kMaxRequestSizeKey) ? 1 : 0;
    std::optional<std::string> refusal;
    try {
      quillor::ProviderOf(lenient);
    } catch (const quillor::Failure& f) {
      refusal = f.description();
    }
    facts->sqlite_file = OptionalCopy(quillor::SqliteDataSource(text));
    facts->masked = OptionalCopy(lenient.Masked());
    facts->provider_refusal = OptionalCopy(refusal);
    return quillor::com::S_OK;
  } catch (const std::bad_alloc&) {
    quillor_connection_facts_free(facts);
    return quillor::com::E_OUTOFMEMORY;
  } catch (...) {
    quillor_connection_facts_free(facts);
    return quillor::com::E_FAIL;
  }
}

int32_t quillor_oversized_note(const char* connection, size_t connection_length,
                               uint64_t request_bytes, const char* source, size_t source_length,
                               char** note, size_t* note_length) {
  ClearOut(note, note_length);
  if ((!connection && connection_length) || (!source && source_length)) {
    return quillor::com::E_POINTER;
  }
  return AnswerText(note, note_length, "the request bound cannot be read", [&] {
    const auto text = quillor::ConnectionText::Lenient(TextOf(connection, connection_length));
    return request_bytes > 0 ? quillor::OversizedRequestNote(request_bytes, text)
                             : quillor::OversizedStreamNote(TextOf(source, source_length), text);
  });
}

int32_t quillor_gloss_message(const char* message, size_t message_length, char** english,
                              size_t* english_length) {
  ClearOut(english, english_length);
  if ((!message && message_length) || !english) return quillor::com::E_POINTER;
  return AnswerText(english, english_length, "the message cannot be put into English", [&] {
    return quillor::GlossMessage(TextOf(message, message_length), Texts());
  });
}

int32_t quillor_gloss_item(const quillor_item_t* item, char** line, size_t* line_length) {
  ClearOut(line, line_length);
  if (!item || !line) return quillor::com::E_POINTER;
  return AnswerText(line, line_length, "the outcome cannot be put into English", [&] {
    const std::string code = std::to_string(item->code);
    const std::string message = item->message ? item->message : "";
    return item->id ? quillor::GlossItem(item->id, code, message, Texts())
                    : quillor::GlossUnanswered(code, message, Texts());
  });
}

int32_t quillor_gloss_reply(const char* reply, size_t reply_length, char** lines,
                            size_t* lines_length) {
  ClearOut(lines, lines_length);
  if ((!reply && reply_length) || !lines) return quillor::com::E_POINTER;
  return AnswerText(lines, lines_length, "the reply cannot be put into English", [&] {
    std::string text;
    for (const std::string& line : quillor::GlossReply(TextOf(reply, reply_length), Texts())) {
      text += line + "\n";
    }
    return text;
  });
}

}  // extern "C"
