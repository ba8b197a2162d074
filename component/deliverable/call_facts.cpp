#include "component/deliverable/call_facts.h"

#include <algorithm>

namespace quillor {

void CallFacts::Begin() {
  operation_ = QUILLOR_OPERATION_UNREAD;
  paged_ = false;
  proc_.clear();
  docid_.clear();
  code_.reset();
  state_.clear();
  rows_ = QueryRowCounts{};
  items_.clear();
}

void CallFacts::Read(const RequestEnvelope& envelope, bool paged) {
  operation_ = envelope.is_add                 ? QUILLOR_OPERATION_ADD
               : envelope.operation == "QUERY" ? QUILLOR_OPERATION_QUERY
                                               : QUILLOR_OPERATION_OTHER;
  paged_ = paged;
  proc_ = envelope.proc;
  docid_ = envelope.docid;
}

void CallFacts::Told(const ItemDetail& detail) {
  if (!detail.line) {
    code_ = detail.code;
    state_ = detail.state;
    return;
  }
  // A batch's results hold a handful of codes: a sorted vector is enough.
  const auto at = std::lower_bound(
      items_.begin(), items_.end(), detail.code,
      [](const quillor_code_count_t& entry, int32_t code) { return entry.code < code; });
  if (at != items_.end() && at->code == detail.code) {
    ++at->count;
  } else {
    items_.insert(at, quillor_code_count_t{detail.code, 1});
  }
}

quillor_facts_t CallFacts::Facts() const {
  quillor_facts_t facts{};
  facts.size = sizeof(quillor_facts_t);
  facts.operation = operation_;
  facts.paged = paged_ ? 1 : 0;
  facts.proc = proc_.c_str();
  facts.docid = docid_.c_str();
  facts.has_code = code_ ? 1 : 0;
  facts.code = code_.value_or(0);
  facts.state = state_.c_str();
  facts.rows = rows_.reply;
  facts.pages = rows_.pages;
  facts.page_rows = rows_.page;
  facts.item_codes = items_.size();
  facts.items = items_.empty() ? nullptr : items_.data();
  return facts;
}

}  // namespace quillor
