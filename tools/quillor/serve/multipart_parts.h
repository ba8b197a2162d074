// The parts of a paged QUERY answer (multipart/mixed): one part per result page,
// then the reply as the last part.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quillor::serve {

// A boundary of random letters that the pages' XML cannot contain by chance.
std::string NewBoundary();

std::string MultipartContentType(std::string_view boundary);

// "--B\r\nContent-Type: application/xml\r\nX-Quillor-Page: N of M\r\nX-Quillor-Rows: R\r\n\r\n"
// PAGE "\r\n"
std::string PagePart(std::string_view boundary, std::string_view page, int32_t number,
                     int32_t count, long rows);
// The reply part (X-Quillor-Part: reply, X-Quillor-Rows, and X-Quillor-Code when
// the reply has a code of its own) followed by the closing boundary. With pages
// before it, the reply's rows are those of the last page again.
std::string ReplyPart(std::string_view boundary, std::string_view reply, long rows,
                      std::string_view code);

}  // namespace quillor::serve
