// The page writer of the command: each page to its own file, and progress lines.
#include "tools/quillor/page_writer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/base/failure.h"
#include "platform/com/dispatch.h"
#include "testing/temp_dir.h"

namespace quillor {
namespace {

using testing::TempDir;

TEST(PageWriterTest, WritesEachPageAndReportsProgress) {
  TempDir dir;
  std::ostringstream progress;
  com::ComPtr<com::IDispatch> writer = MakePageWriter(dir.path().string(), progress);
  for (int32_t page : {1, 2}) {
    std::vector<com::Variant> args{com::Variant("<page n=\"" + std::to_string(page) + "\"/>"),
                                   com::Variant(page), com::Variant(2.0)};
    com::InvokeByName(*writer, "processexport", args);
  }
  EXPECT_EQ(progress.str(), "page 1 of 2\npage 2 of 2\n");
  std::ifstream in(dir.path().string() + "/page-2.xml");
  std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(text, "<page n=\"2\"/>");

  std::vector<com::Variant> wrong{com::Variant("x"), com::Variant("one"), com::Variant(1)};
  EXPECT_THROW(com::InvokeByName(*writer, "ProcessExport", wrong), Failure);
  std::vector<com::Variant> short_args{com::Variant("x")};
  EXPECT_THROW(com::InvokeByName(*writer, "ProcessExport", short_args), Failure);
}

}  // namespace
}  // namespace quillor
