#include "query/query_execution.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "platform/base/failure.h"
#include "platform/xml/reply_value.h"
#include "query/conditions.h"
#include "query/page_size.h"
#include "query/record_mapper.h"
#include "query/reply_writer.h"

namespace quillor {
namespace {

constexpr std::string_view kMappingName = "MaterialXmlRs.Xml";

int32_t Increment(int32_t value) {
  if (value == std::numeric_limits<int32_t>::max()) throw Failure::Overflow();
  return value + 1;
}

// The value a callee left in a by-reference whole-number argument.
int32_t WholeNumberFrom(const com::Variant& v) {
  if (v.Holds<int32_t>()) return v.Get<int32_t>();
  if (v.Holds<double>()) {
    const double whole = std::nearbyint(v.Get<double>());
    if (!(whole >= -2147483648.0 && whole <= 2147483647.0)) throw Failure::Overflow();
    return static_cast<int32_t>(whole);
  }
  throw Failure::TypeMismatch();
}

// Where a paged QUERY stands. The caller may change the page number and count
// at each page it is handed; paging goes on with what it leaves.
struct Paging {
  int32_t size = 0;  // rows a page; 0: not paged
  int32_t row_count = 0;
  int32_t page_count = 0;
  // The page being filled, and the place of the row just written in it (from 1).
  int32_t page_number = 1;
  int32_t place = 1;

  void CountRows(int64_t count) {
    if (count > std::numeric_limits<int32_t>::max()) throw Failure::Overflow();
    row_count = static_cast<int32_t>(count);
    page_count = row_count / size + (row_count % size ? 1 : 0);
  }

  // The row just written fills its page.
  bool PageFull() const { return place == size; }
  // The row just written ends the last page, which is partial.
  bool LastPartialPageDone() const {
    return place == row_count % size && page_number == page_count;
  }
};

// Hands one page to the caller; the page number and count it leaves are the ones
// paging goes on with.
void HandOver(com::IDispatch& caller, std::string page, Paging& paging) {
  std::vector<com::Variant> args{com::Variant(std::move(page)), com::Variant(paging.page_number),
                                 com::Variant(paging.page_count)};
  com::InvokeByName(caller, "ProcessExport", args);
  paging.page_number = WholeNumberFrom(args[1]);
  paging.page_count = WholeNumberFrom(args[2]);
}

}  // namespace

bool QueryProc(const QueryContext& ctx, const XmlNodeList& elements,
               std::string& request_and_reply) {
  XmlDocument request;
  if (!request.LoadXml(request_and_reply) || !request.Root()) throw Failure::ObjectNotSet();
  const XmlElement root = request.Root();
  const std::optional<std::string> roottag = root.Attribute("roottag");
  const std::optional<std::string> paginate = root.Attribute("paginate");
  return QueryProc(ctx, request, QueryRootValues{roottag, paginate}, elements, request_and_reply);
}

bool QueryProc(const QueryContext& ctx, const XmlDocument& request, const QueryRootValues& root,
               const XmlNodeList& elements, std::string& reply_text) {
  // The reply and every page are the request as loaded, its root's content left
  // out, with the page's rows written into it as text as they arrive. The frame
  // is taken from the request's own tree: a copy of the request, as text or as a
  // tree, would hold its longest text once more.
  Paging paging;
  if (ctx.profile.paging) paging.size = PageSizeFromText(root.paginate);

  std::string statement = JoinPieces(ctx.profile.query_statement_pieces);
  statement += ctx.profile.query_condition_separator;
  if (ctx.conn == nullptr) {
    throw Failure::ObjectClosed();
  }
  statement += BuildWhere(ctx, elements, *ctx.conn);

  const std::unique_ptr<Recordset> result = ctx.conn->Open(statement, CursorType::kStatic);

  int32_t row = 1;
  // Without a caller at the start none can come: only a caller handed a page can
  // register another.
  const bool paged = paging.size > 0 && ctx.CurrentCaller();
  if (paged) paging.CountRows(result->RecordCount());

  ReplyWriter reply(request.FrameAsLoaded());
  std::optional<XmlName> row_name;
  std::optional<RecordMapper> mapper;
  while (!result->Eof()) {
    if (!row_name) {
      if (!root.roottag) throw Failure::InvalidUseOfNull();
      row_name.emplace(*root.roottag);
    }
    XmlTextWriter& element = reply.StartRow(*row_name, row);
    if (!mapper) mapper.emplace();
    try {
      mapper->WriteRecord(element, kMappingName, *result);
    } catch (const UnfitValue& unfit) {
      throw unfit.ForRow(row);
    }
    reply.EndRow();

    // The caller registered now; the reference keeps it alive through its call
    // even if it registers another object meanwhile.
    const com::ComPtr<com::IDispatch> caller = paged ? ctx.CurrentCaller() : nullptr;
    if (caller) {
      if (ctx.rows && (paging.PageFull() || paging.LastPartialPageDone())) {
        ctx.rows->page = reply.Rows();
        ++ctx.rows->pages;
      }
      if (paging.PageFull()) {
        HandOver(*caller.Get(), reply.TakePage(), paging);
        paging.page_number = Increment(paging.page_number);
        paging.place = 1;
      } else if (paging.LastPartialPageDone()) {
        // The last, partial page is complete; its rows stay in the reply.
        HandOver(*caller.Get(), reply.PageText(), paging);
        paging.place = Increment(paging.place);
      } else {
        paging.place = Increment(paging.place);
      }
    }

    result->MoveNext();
    row = Increment(row);
  }
  result->Close();

  if (ctx.rows) ctx.rows->reply = reply.Rows();
  reply_text = reply.Finish();
  return false;
}

}  // namespace quillor
