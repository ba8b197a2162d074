// What one call of the C interface found out, kept on its object until the next
// call begins: filled by the component's hooks as the call goes (the request's
// root once it is read, each outcome as it is told, a QUERY's rows as they are
// written) and handed to the host as quillor_facts_t.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "component/call_hooks.h"
#include "component/request_envelope.h"
#include "query/row_counts.h"
#include "quillor/quillor.h"

namespace quillor {

class CallFacts {
 public:
  // A new call: nothing read, nothing told.
  void Begin();
  // The request's root as the component read it; `paged` when its rows will go
  // out in pages.
  void Read(const RequestEnvelope& envelope, bool paged);
  // One line's outcome, or the call's own when it answers no line.
  void Told(const ItemDetail& detail);
  // Where the component counts a QUERY's rows.
  QueryRowCounts* rows() { return &rows_; }

  // The facts as the header gives them; the texts and the counts point into
  // this object.
  quillor_facts_t Facts() const;

 private:
  int32_t operation_ = QUILLOR_OPERATION_UNREAD;
  bool paged_ = false;
  std::string proc_;
  std::string docid_;
  std::optional<int32_t> code_;  // the call's own outcome
  std::string state_;
  QueryRowCounts rows_;
  std::vector<quillor_code_count_t> items_;  // codes ascending
};

}  // namespace quillor
