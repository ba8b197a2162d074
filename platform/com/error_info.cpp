#include "platform/com/error_info.h"

namespace quillor::com {

namespace {
thread_local std::optional<ExceptionInfo> last_error;
}

void SetErrorInfo(ExceptionInfo info) { last_error = std::move(info); }

std::optional<ExceptionInfo> TakeErrorInfo() {
  std::optional<ExceptionInfo> info = std::move(last_error);
  last_error.reset();
  return info;
}

}  // namespace quillor::com
