// What a QUERY works with: the call's connection, the
// release profile and the registered caller, if any.
#pragma once

#include "platform/com/dispatch.h"
#include "platform/db/database.h"
#include "profiles/release_profile.h"
#include "query/row_counts.h"

namespace quillor {

struct QueryContext {
  Connection* conn;  // null outside a Transact call
  const ReleaseProfile& profile;
  com::IDispatch* caller;  // receives completed pages through ProcessExport; may be null
  // The object's registered-caller member, when there is one. A caller may register
  // another object while it is handed a page, so the member is read at each page,
  // and it then takes the place of `caller`.
  const com::ComPtr<com::IDispatch>* caller_ref = nullptr;
  // Where the rows are counted as they are written; may be null.
  QueryRowCounts* rows = nullptr;

  // The caller as it stands now, held for as long as the result lives.
  com::ComPtr<com::IDispatch> CurrentCaller() const {
    return com::ComPtr<com::IDispatch>(caller_ref ? caller_ref->Get() : caller);
  }
};

}  // namespace quillor
