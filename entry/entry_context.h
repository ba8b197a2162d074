// What one material element's validation, cost-object resolution and row write
// work with: the call's connection, the thread's helper, the message texts, the
// release profile and the cost-object mode read from the options.
#pragma once

#include <cstdint>

#include "messages/message_source.h"
#include "platform/database.h"
#include "platform/eai_helper.h"
#include "profiles/release_profile.h"

namespace quillor {

struct EntryContext {
  Connection& conn;
  EaiHelper& helper;
  const MessageSource& messages;
  const ReleaseProfile& profile;
  int16_t cost_object_mode;
};

}  // namespace quillor
