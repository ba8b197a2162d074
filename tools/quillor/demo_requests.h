// The sample requests the demo sends, in order. Append to the list to show more.
#pragma once

#include <string_view>
#include <vector>

namespace quillor {

struct DemoRequest {
  std::string_view title;
  std::string_view xml;
  // The demo registers its page writer (pages go to DIR/pages) before this request.
  bool with_pages = false;
};

const std::vector<DemoRequest>& DemoRequests();

}  // namespace quillor
