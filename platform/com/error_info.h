// The calling thread's last error information: what a method that returned a
// failing status says about the failure (its number and description).
#pragma once

#include <optional>

#include "platform/com/dispatch.h"

namespace quillor::com {

void SetErrorInfo(ExceptionInfo info);
// Takes the thread's error information, leaving none behind.
std::optional<ExceptionInfo> TakeErrorInfo();

}  // namespace quillor::com
