// What a QUERY works with: the call's connection, the thread's helper, the
// release profile and the registered caller, if any.
#pragma once

#include "platform/com/dispatch.h"
#include "platform/database.h"
#include "platform/eai_helper.h"
#include "profiles/release_profile.h"

namespace quillor {

struct QueryContext {
  Connection* conn;  // null outside a Transact call
  EaiHelper& helper;
  const ReleaseProfile& profile;
  com::IDispatch* caller;  // receives completed pages through ProcessExport; may be null
};

}  // namespace quillor
