#include "tools/quillor/serve/multipart_parts.h"

#include <random>

namespace quillor::serve {

std::string NewBoundary() {
  static constexpr char kLetters[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  thread_local std::mt19937_64 random{std::random_device{}()};
  std::uniform_int_distribution<size_t> pick(0, sizeof kLetters - 2);
  std::string boundary = "quillor-";
  for (int i = 0; i < 24; ++i) boundary += kLetters[pick(random)];
  return boundary;
}

std::string MultipartContentType(std::string_view boundary) {
  return "multipart/mixed; boundary=" + std::string(boundary);
}

std::string PagePart(std::string_view boundary, std::string_view page, int32_t number,
                     int32_t count, long rows) {
  std::string part =
      "--" + std::string(boundary) +
      "\r\nContent-Type: application/xml\r\nX-Quillor-Page: " + std::to_string(number) + " of " +
      std::to_string(count) + "\r\nX-Quillor-Rows: " + std::to_string(rows) + "\r\n\r\n";
  part += page;
  part += "\r\n";
  return part;
}

std::string ReplyPart(std::string_view boundary, std::string_view reply, long rows,
                      std::string_view code) {
  std::string part = "--" + std::string(boundary) +
                     "\r\nContent-Type: application/xml; charset=utf-8\r\nX-Quillor-Part: "
                     "reply\r\nX-Quillor-Rows: " +
                     std::to_string(rows) + "\r\n";
  if (!code.empty()) part += "X-Quillor-Code: " + std::string(code) + "\r\n";
  part += "\r\n";
  part += reply;
  part += "\r\n--" + std::string(boundary) + "--\r\n";
  return part;
}

}  // namespace quillor::serve
