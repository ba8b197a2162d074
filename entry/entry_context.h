// What one material element's validation, cost-object resolution and row write
// work with: the call's connection, the message texts, the
// release profile and the cost-object mode read from the options.
#pragma once

#include <cstdint>

#include "messages/message_texts.h"
#include "platform/db/database.h"
#include "profiles/release_profile.h"

namespace quillor {

// How a cost object is identified, as the options 8601 and 8602 decide it.
namespace cost_object_modes {
inline constexpr int16_t kByProduct = 0;           // department, product and its free values
inline constexpr int16_t kByOrder = 1;             // the production order
inline constexpr int16_t kByOrderWithOmpFlag = 2;  // the production order and its ompflag
}  // namespace cost_object_modes

struct EntryContext {
  Connection& conn;
  const MessageTexts& messages;
  const ReleaseProfile& profile;
  int16_t cost_object_mode;  // one of cost_object_modes
};

}  // namespace quillor
