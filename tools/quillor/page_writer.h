// What the command does with each page of a paged query: writes it to a file of
// its own and reports it.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace quillor {

class PageWriter {
 public:
  PageWriter(std::string dir, std::ostream& progress);

  // Writes DIR/page-N.xml whole and reports "page N of M" on progress; when the
  // page cannot be written whole, nothing of it is left and the words of the
  // failure come back ("cannot write DIR/page-3.xml: No space left on device").
  std::optional<std::string> Write(std::string_view page, int32_t number, int32_t count);

 private:
  const std::string dir_;
  std::ostream& progress_;
};

}  // namespace quillor
