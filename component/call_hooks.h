// What a host of the C interface gives one Transact call beside the request: the
// call's own stop flag, its own receiver of the SQL trace, a receiver of each
// line's outcome as values, and the receivers of what the call read and wrote
// (the request's envelope, a QUERY's rows). A COM host gives none of them: its
// ADD batch runs to its last line, and its trace is QUILLOR_TRACE_SQL.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string_view>

#include "platform/db/sql_trace.h"

namespace quillor {

struct RequestEnvelope;  // component/request_envelope.h
struct QueryRowCounts;   // query/row_counts.h

// One line's outcome as the reply states it, with what the reply cannot say: the
// reason a write was refused before any statement, in English. With no id, the
// outcome of a call that answered no line (no connection, a request that is not
// XML); `state` then holds the database driver's SQLSTATE when the driver refused
// ("IM002": the driver manager knows no such data source or driver).
struct ItemDetail {
  bool line = true;  // false: the reply's own outcome
  std::string_view id;
  int32_t code = 0;
  std::string_view message;
  std::string_view reason;
  std::string_view state;
};

struct CallHooks {
  // When set, the ADD batch ends before its next line once it is true.
  const std::atomic<bool>* stop = nullptr;
  // When set, each statement's trace line goes here; when empty, the call is
  // traced by QUILLOR_TRACE_SQL only if `trace_from_environment`.
  TraceSink trace;
  bool trace_from_environment = true;
  // When set, receives each line's outcome in order, and the reply's own
  // outcome when the call answers no line.
  std::function<void(const ItemDetail&)> item;
  // When set, told the request's envelope as soon as the root's start tag is
  // read, before the connection opens.
  std::function<void(const RequestEnvelope&)> envelope;
  // When set, a QUERY counts its rows here as it writes them.
  QueryRowCounts* rows = nullptr;
};

}  // namespace quillor
