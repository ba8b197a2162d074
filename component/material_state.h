// What an MaterialComponent object keeps from one call to the next: the cost-object mode
// of the last options read, the last element's cost object, and the registered
// caller. Everything else lives for one call (transact_call.h); the call only
// lends its connection here while it runs.
#pragma once

#include <cstdint>
#include <string>

#include "platform/com/dispatch.h"
#include "platform/db/database.h"

namespace quillor {

struct MaterialState {
  int16_t cost_object_mode = 0;  // cost_object_modes::kByProduct
  std::string cost_object_id;
  com::ComPtr<com::IDispatch> caller;
  // The connection of the Transact call in progress, null between calls: a caller
  // handed a page may call QueryProc by name, and it runs on that connection.
  Connection* call_connection = nullptr;
};

}  // namespace quillor
