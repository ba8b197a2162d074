// The ADD batch: every material element in document order is validated, written
// when valid, and its outcome recorded as one item result. A failure that neither
// validation nor the write handles ends the batch with one 999 result.
#include <new>

#include "component/imaterial.h"
#include "entry/item_validation.h"
#include "entry/row_write.h"
#include "messages/message_ids.h"
#include "platform/eai_helper.h"

namespace quillor {

namespace {

void AppendResult(XmlDocument& doc, std::string_view id, int32_t code, std::string_view message) {
  EaiHelper::Extras extras;
  EaiHelper::ForThisThread().AppendItemResult(doc, id, code, message, 0, extras);
}

}  // namespace

void MaterialSource::ForEach(const std::function<void(XmlElement)>& each) const {
  if (list_ != nullptr) {
    for (XmlElement element : *list_) each(element);
  } else {
    XmlDocument::ForEachRootChild(text_, "material", each);
  }
}

bool IMaterial::AddProc(const MaterialSource& list, std::string& reply) {
  std::string description;
  try {
    list.ForEach([this](XmlElement element) { AddItem(element); });
    reply = ResultDoc.Serialize();
    return true;
  } catch (const Failure& failure) {
    description = failure.description();
  } catch (const std::bad_alloc&) {
    // The runtime's own words; the lines reported before it stand as reported.
    description = "Out of memory";
  } catch (const std::exception& e) {
    description = e.what();
  }
  // A failure of the recording itself is not caught here: it reaches Transact.
  AppendResult(ResultDoc, "Item", 999, description);
  reply = ResultDoc.Serialize();
  return false;
}

void IMaterial::AddItem(XmlElement element) {
  EaiHelper& helper = EaiHelper::ForThisThread();
  const std::string id = helper.ReadAttribute(element, "id");
  std::string check_message;
  std::string save_message;
  const EntryContext ctx{*Conn, helper, messages_, profile_, CostObjectMode};

  if (!CheckItem(ctx, element, check_message, CostObjectId)) {
    AppendResult(ResultDoc, id, 101, check_message);
    return;
  }
  if (!SaveItem(ctx, element, save_message, CostObjectId)) {
    AppendResult(ResultDoc, id, 100, messages_.Text(msg::kDatabaseOperationError) + save_message);
    return;
  }
  AppendResult(ResultDoc, id, 0, check_message);
}

}  // namespace quillor
