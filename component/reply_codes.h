// The codes of the error replies that Transact gives of its own: every other error
// reply carries a failure's number.
#pragma once

#include <cstdint>

namespace quillor {

enum class ReplyCode : int32_t {
  kNotWellFormed = 100,  // the request is not well-formed XML (or is larger than accepted)
  kNoRootElement = 101,  // the request document has no root element
  kNoConnection = 529,   // the login object gave an empty connection text
  kUnknownProc = 710,    // proc is neither ADD nor QUERY
};

}  // namespace quillor
