// The ADD batch: every material element in document order is validated, written
// when valid, and its outcome recorded as one item result. A failure that neither
// validation nor the write handles ends the batch with one 999 result.
#include <new>

#include "component/reply_formats.h"
#include "component/transact_call.h"
#include "entry/item_result.h"
#include "entry/item_validation.h"
#include "entry/row_write.h"
#include "messages/message_ids.h"
#include "platform/xml/element_values.h"

namespace quillor {

namespace {

void AppendResult(XmlDocument& doc, std::string_view id, ItemCode code, std::string_view message) {
  AppendItemResult(doc, id, static_cast<int32_t>(code), message);
}

// Ends the batch between two lines when the caller asked for it.
struct BatchStopped {};

}  // namespace

void MaterialSource::ForEach(const std::function<void(XmlElement)>& each) const {
  XmlDocument::ForEachRootChild(text_, "material", each);
}

bool TransactCall::AddProc(const MaterialSource& list, std::string& reply) {
  std::string description;
  try {
    list.ForEach([this](XmlElement element) {
      // Asked before each line, never inside one: every line answered has its
      // write committed or rolled back whole.
      if (StopRequested()) throw BatchStopped{};
      AddItem(element);
    });
    reply = result_doc_.Serialize();
    return true;
  } catch (const BatchStopped&) {
    // The reply of the lines answered so far; the caller knows why it is short.
    reply = result_doc_.Serialize();
    return true;
  } catch (...) {
    // Out of memory in the runtime's own words; the lines reported before it
    // stand as reported.
    description = Failure::FromCurrentException().description();
  }
  // A failure of the recording itself is not caught here: it reaches Transact.
  AppendResult(result_doc_, "Item", ItemCode::kBatchFailed, description);
  Tell("Item", static_cast<int32_t>(ItemCode::kBatchFailed), description);
  reply = result_doc_.Serialize();
  return false;
}

void TransactCall::AddItem(XmlElement element) {
  const std::string id = AttributeText(element, "id");
  const EntryContext ctx{*conn_, messages_, profile_, state_.cost_object_mode};

  const ItemResult check = CheckItem(ctx, element, state_.cost_object_id);
  if (!check.ok()) {
    AppendResult(result_doc_, id, check.code, check.message);
    Tell(id, static_cast<int32_t>(check.code), check.message);
    return;
  }
  const ItemResult save = SaveItem(ctx, element, state_.cost_object_id);
  if (!save.ok()) {
    const std::string message = messages_.Text(msg::kDatabaseOperationError) + save.message;
    AppendResult(result_doc_, id, save.code, message);
    Tell(id, static_cast<int32_t>(save.code), message, save.reason);
    return;
  }
  AppendResult(result_doc_, id, ItemCode::kSuccess, check.message);
  Tell(id, static_cast<int32_t>(ItemCode::kSuccess), check.message);
}

}  // namespace quillor
