#include "tools/quillor/serve/open_files.h"

#include <gtest/gtest.h>

namespace quillor::serve {
namespace {

TEST(OpenFiles, ConnectionsAreFittedToWhatTheLimitLeaves) {
  struct Case {
    uint64_t limit;
    size_t asked, threads, expected;
  };
  const std::vector<Case> table = {
      // systemd's default soft limit with the default options: the socket and a
      // spool file for each connection, after the workers and the fixed ones.
      {1024, 1024, 8, (1024 - 64 - 32) / 2},
      {524288, 1024, 8, 1024},  // a raised limit leaves the option as it is
      {128, 1024, 2, (128 - 64 - 8) / 2},
      {64, 1024, 2, 1},  // too low for any: one, so that the server still answers
      {UINT64_MAX, 5, 1, 5},
  };
  for (const Case& c : table) {
    EXPECT_EQ(ConnectionsWithin(c.limit, c.asked, c.threads), c.expected) << c.limit;
  }
}

TEST(OpenFiles, TheStartupLineSaysWhenTheLimitCapsTheConnections) {
  OpenFiles files;
  files.limit = 1024;
  files.asked = 1024;
  files.connections = 464;
  EXPECT_EQ(ConnectionsPart(files),
            ", max connections 464 (1024 asked; the limit of 1024 open files leaves room for "
            "464)");
  files.connections = 1024;
  EXPECT_EQ(ConnectionsPart(files), ", max connections 1024");
}

}  // namespace
}  // namespace quillor::serve
