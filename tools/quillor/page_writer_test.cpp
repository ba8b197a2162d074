// The page writer of the command: each page to its own file, and progress lines.
#include "tools/quillor/page_writer.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "testing/temp_dir.h"

namespace quillor {
namespace {

using testing::TempDir;

TEST(PageWriterTest, WritesEachPageAndReportsProgress) {
  TempDir dir;
  std::ostringstream progress;
  PageWriter writer(dir.path().string(), progress);
  for (int32_t page : {1, 2}) {
    EXPECT_EQ(writer.Write("<page n=\"" + std::to_string(page) + "\"/>", page, 2), std::nullopt);
  }
  EXPECT_EQ(progress.str(), "page 1 of 2\npage 2 of 2\n");
  std::ifstream in(dir.path().string() + "/page-2.xml");
  std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(text, "<page n=\"2\"/>");
  // A folder that is not there: the words name the file and why.
  PageWriter nowhere(dir.path().string() + "/gone", progress);
  EXPECT_EQ(nowhere.Write("x", 3, 3),
            "cannot write " + dir.path().string() + "/gone/page-3.xml: No such file or directory");
}

// A page the file system cannot take whole (here a ceiling on file size, as a
// full disk would) fails the call and leaves nothing behind, neither the page
// nor a part of it; an earlier page of that number stays as it was.
TEST(PageWriterTest, APageThatCannotBeWrittenWholeLeavesNothingBehind) {
  TempDir dir;
  const std::string earlier = dir.path().string() + "/page-2.xml";
  std::ofstream(earlier) << "<earlier/>";
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);  // the write fails with EFBIG instead
    const rlimit ceiling{4096, 4096};
    setrlimit(RLIMIT_FSIZE, &ceiling);
    std::ostringstream progress;
    PageWriter writer(dir.path().string(), progress);
    int failed = 0;
    for (int32_t page : {1, 2}) {
      const auto why = writer.Write(std::string(100'000, 'x'), page, 2);
      failed += why && why->find("cannot write") != std::string::npos ? 1 : 0;
    }
    _exit(failed == 2 && progress.str().empty() ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "each page failed, saying so, without progress";
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    left.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(left, std::vector<std::string>{"page-2.xml"});
  std::ifstream in(earlier);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  EXPECT_TRUE(text == "<earlier/>") << text.size() << " bytes: " << text.substr(0, 40);
}

}  // namespace
}  // namespace quillor
