// Transact: the request envelope. Opens the call's connection, parses the request,
// reads its envelope, loads the reply template, reads the options and dispatches on
// proc. Every failure on the way ends in a reply.
#include <algorithm>

#include "component/imaterial.h"
#include "messages/message_ids.h"
#include "platform/com/error_info.h"
#include "platform/connection_pool.h"
#include "platform/eai_helper.h"

namespace quillor {

namespace {

// proc is compared upper-cased and untrimmed.
std::string UpperCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) {
    return static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  });
  return text;
}

std::string ErrorReply(std::string_view code, const std::string& message) {
  std::string extra;
  return EaiHelper::ForThisThread().MakeErrorReply(code, message, extra);
}

std::string ReadConnectionString(IOrvoLogin& login) {
  std::string text;
  com::HRESULT hr = login.get_ConnectionString(&text);
  if (com::Failed(hr)) {
    if (auto info = com::TakeErrorInfo()) throw Failure(info->number, info->description);
    throw Failure::FromStatus(static_cast<uint32_t>(hr),
                              "The login object gave no connection text.");
  }
  return text;
}

}  // namespace

std::string IMaterial::BuildFailureReply(const Failure& failure) {
  return ErrorReply(std::to_string(failure.number()), failure.description());
}

std::string IMaterial::TransactRequest(const std::string& sXML, IOrvoLogin& login) {
  // The connection is let go of on every way out, the error replies included:
  // nothing after the call uses it. The pool closes it or keeps it, reset.
  struct CloseOnReturn {
    std::unique_ptr<Connection>& conn;
    ~CloseOnReturn() { conn.reset(); }
  } close_on_return{Conn};

  try {
    const std::string request_text = sXML;
    ResultDoc = XmlDocument();
    Conn.reset();

    const std::string connection_text = ReadConnectionString(login);
    // From the process's pool: an idle connection opened from the same text when
    // there is one, and given back when the call ends.
    if (!connection_text.empty()) Conn = OpenCallConnection(connection_text);
    if (!Conn) return ErrorReply("529", messages_.Text(msg::kConnectionError));

    XmlDocument request;
    if (!request.LoadXml(request_text)) {
      return ErrorReply("100", messages_.Text(msg::kXmlParseError));
    }
    XmlElement root = request.Root();
    if (!root) return ErrorReply("101", messages_.Text(msg::kNoRootNode));

    EaiHelper& helper = EaiHelper::ForThisThread();
    const std::string roottag = helper.ReadAttribute(root, "roottag");
    const std::string docid = helper.ReadAttribute(root, "docid");
    std::string proc = helper.ReadAttribute(root, "proc");

    // Whether the template loads is not checked: the ADD batch finds out.
    ResultDoc.LoadXml(helper.GetReplyTemplate(docid, proc));

    const XmlNodeList materials = root.Select("material");
    const std::string operation = UpperCase(helper.ReadAttribute(root, "proc"));

    if (profile_.reads_options) LoadOptions();

    std::string reply;
    if (operation == "ADD") {
      AddProc(materials, reply);
    } else if (operation == "QUERY") {
      reply = request.SerializeAsLoaded();
      const XmlNodeList fields = root.Select(roottag + "/field");
      // Through the class's own public interface, as any caller would.
      bool ignored = false;
      com::HRESULT hr = QueryProc(fields, &reply, &ignored);
      if (com::Failed(hr)) {
        if (auto info = com::TakeErrorInfo()) throw Failure(info->number, info->description);
        throw Failure::FromStatus(static_cast<uint32_t>(hr), "QueryProc failed.");
      }
    } else {
      return ErrorReply("710", messages_.Text(msg::kUnknownProc));
    }
    return reply;
  } catch (const Failure& failure) {
    return BuildFailureReply(failure);
  } catch (const std::exception& e) {
    // Out of memory and the like: still a reply, never an escape.
    return BuildFailureReply(Failure(failure_numbers::kFail, e.what()));
  }
}

}  // namespace quillor
