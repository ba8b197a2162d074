#include "query/page_size.h"

#include "platform/base/failure.h"
#include "runtime/conversions.h"

namespace quillor {

int32_t PageSizeFromText(const std::optional<std::string>& paginate) {
  if (!paginate) throw Failure::InvalidUseOfNull();
  return ToInt32(FullNumber(*paginate));
}

}  // namespace quillor
