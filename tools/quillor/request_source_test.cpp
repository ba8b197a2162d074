// Request files of every kind, against the built command as an operator runs it:
// a FIFO, a process substitution, /dev/stdin and a pipe are read as streams; an
// endless stream or a huge sparse file is read no further than the bound on a
// request, in memory to match; a folder gets a sentence, not a crash.
#include "tools/quillor/request_source.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "testing/built_tree.h"
#include "testing/command_line.h"
#include "testing/sanitizers.h"
#include "tools/quillor/command_error.h"

namespace quillor {
namespace {

using testing::kLibrary871;
using testing::ReadFileText;
using testing::RunTool;
using testing::TempDir;

// The default bound's case holds 256 MiB once; a build under AddressSanitizer also
// keeps the smaller texts it grew from in its quarantine, and its shadow.
#ifdef QUILLOR_UNDER_ASAN
constexpr long kMostKibAtTheDefaultBound = 1536 << 10;
#else
constexpr long kMostKibAtTheDefaultBound = 700 << 10;
#endif
// A command that reads at most 1 MiB: what a process of the command holds at all.
// AddressSanitizer's runtime alone (its shadow and allocator) takes about 90 MiB
// of it before main, so its bound leaves room for that.
#ifdef QUILLOR_UNDER_ASAN
constexpr long kMostKibAtASmallBound = 192 << 10;
#else
constexpr long kMostKibAtASmallBound = 64 << 10;
#endif

const std::string kAdd = std::string(QUILLOR_SOURCE_DIR) + "/examples/add.xml";
constexpr const char* kParseError = "message=\"解析XML时发生错误,请你检查XML参数格式\"/>";

// Reads the FIFO, then ends its writer should the command not have opened it.
const std::string kThenEndWriter = "{ q fifo; s=$?; kill $! 2>/dev/null; exit $s; }";

struct ShellRun {
  int code = -1;  // -1: ended by a signal
  std::string out, err;
  long peak_kib = 0;  // the largest resident memory of the script's processes
};

class RequestSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RunTool({"init-db", "--connection", connection_, "--sample"}).code, 0);
  }

  // Runs a bash script in which q stands for `quillor transact` with the library
  // and the connection text (and `settings` after it).
  ShellRun Run(const std::string& script, const std::string& settings = "") {
    const std::string out = dir_.File("out"), err = dir_.File("err");
    const std::string q = "'" + testing::BuiltCommand() + "' transact --library '" + kLibrary871 +
                          "' --connection '" + connection_ + settings + "'";
    const pid_t pid = fork();
    if (pid == 0) {
      if (chdir(dir_.path().c_str()) != 0) _exit(126);
      const std::string whole =
          "q() { " + q + " \"$@\"; }; exec >'" + out + "' 2>'" + err + "'; " + script;
      execl("/bin/bash", "bash", "-c", whole.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFileText(out), ReadFileText(err),
            usage.ru_maxrss};
  }

  TempDir dir_;
  testing::OwnRegistry registry_{dir_};
  std::string connection_ = "Provider=SQLite;Data Source=" + dir_.path().string() + "/erp.db";
};

// Each kind of stream carries the request whole: the reply answers its line.
TEST_F(RequestSourceTest, StreamsOfEveryKindAreReadWhole) {
  const std::string add = "'" + kAdd + "'";
  struct Case {
    const char* name;
    std::string script;
  };
  const Case cases[] = {
      {"a FIFO", "mkfifo fifo && { cat " + add + " > fifo & } && " + kThenEndWriter},
      {"a process substitution", "q <(cat " + add + ")"},
      {"/dev/stdin, a pipe", "cat " + add + " | q /dev/stdin"},
      {"/dev/stdin, a file", "q /dev/stdin < " + add},
      {"standard input, a pipe", "cat " + add + " | q -"},
      {"a plain file", "q " + add},
  };
  const ShellRun reference = Run("q " + add);
  ASSERT_EQ(reference.code, 0) << reference.err;
  ASSERT_NE(reference.out.find("<item "), std::string::npos) << reference.out;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ::unlink(dir_.File("fifo").c_str());
    const ShellRun run = Run(c.script);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_EQ(run.out, reference.out);
    EXPECT_EQ(run.err.find("Illegal seek"), std::string::npos) << run.err;
  }
}

// An endless stream is refused at the bound: the component's reply for a request
// too large, a note that says the stream was read no further, and memory of the
// order of the bound, not of what the stream could give.
TEST_F(RequestSourceTest, AnEndlessStreamIsReadNoFurtherThanTheBound) {
  struct Case {
    const char* name;
    std::string script;
    std::string settings;
    std::string note;
    long most_kib;
  };
  const std::string bounded = ";Max Request Size=1048576";
  const std::string past = "went past the largest accepted, ";
  const Case cases[] = {
      {"/dev/zero", "q /dev/zero", bounded,
       "the request from /dev/zero " + past + "1048576 bytes (Max Request Size)",
       kMostKibAtASmallBound},
      {"yes into standard input", "yes | q -", bounded,
       "the request from standard input " + past + "1048576 bytes (Max Request Size)",
       kMostKibAtASmallBound},
      {"a FIFO fed forever", "mkfifo fifo && { yes > fifo 2>/dev/null & } && " + kThenEndWriter,
       bounded, "the request from fifo " + past + "1048576 bytes (Max Request Size)",
       kMostKibAtASmallBound},
      // The default bound: 256 MiB once, never the gigabytes a stream could give.
      {"/dev/zero at the default bound", "q /dev/zero", "",
       "the request from /dev/zero " + past + "268435456 bytes (the default)",
       kMostKibAtTheDefaultBound},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ::unlink(dir_.File("fifo").c_str());
    const ShellRun run = Run(c.script, c.settings);
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.out.find(kParseError), std::string::npos) << run.out;
    EXPECT_NE(run.err.find(c.note), std::string::npos) << run.err;
    EXPECT_LT(run.peak_kib, c.most_kib);
  }
}

TEST_F(RequestSourceTest, FilesThatHoldNoRequestGetASentence) {
  ASSERT_EQ(::mkdir(dir_.File("folder").c_str(), 0700), 0);
  // A sparse file of 20 GiB: its size is told, and only the bound's worth read.
  ASSERT_EQ(::truncate((std::ofstream(dir_.File("sparse")), dir_.File("sparse")).c_str(),
                       int64_t{20} << 30),
            0);
  struct Case {
    const char* name;
    std::string script;
    int code;
    std::string err;
  };
  const Case cases[] = {
      {"a folder", "q folder", 1, "quillor: the request file folder is a folder, not a file"},
      {"a missing file", "q missing.xml", 1,
       "quillor: cannot read the request file missing.xml: No such file or directory"},
      {"a sparse file of 20 GiB", "q sparse", 0,
       "the request is 21474836480 bytes, more than the largest accepted, 1048576 bytes"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ShellRun run = Run(c.script, ";Max Request Size=1048576");
    EXPECT_EQ(run.code, c.code) << run.err;
    EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("bad_alloc"), std::string::npos) << run.err;
    EXPECT_LT(run.peak_kib, kMostKibAtASmallBound);
    if (c.code == 1) {
      EXPECT_EQ(run.out, "");
      EXPECT_NE(run.err.find("name an XML request file"), std::string::npos) << run.err;
    } else {
      EXPECT_NE(run.out.find(kParseError), std::string::npos) << run.out;
    }
  }
}

// The bound itself: a request of exactly that many bytes is read whole, one byte
// more is cut there.
TEST(ReadRequestTest, AStreamIsCutOneBytePastTheBound) {
  std::ostringstream err;
  for (const size_t length : {size_t{0}, size_t{1}, size_t{65536}, size_t{200000}}) {
    SCOPED_TRACE(length);
    const std::string text(length, 'x');
    std::istringstream exact(text);
    const RequestRead whole = ReadRequest("-", exact, length, err);
    EXPECT_EQ(whole.text, text);
    EXPECT_EQ(whole.size, length);
    EXPECT_FALSE(whole.cut_short);

    std::istringstream over(text + "yz");
    const RequestRead cut = ReadRequest("-", over, length, err);
    EXPECT_EQ(cut.text, text + "y");
    EXPECT_EQ(cut.size, 0u);
    EXPECT_TRUE(cut.cut_short);
    EXPECT_LE(cut.text.capacity(), length + 1 + 64);  // never doubled past the bound
  }
}

}  // namespace
}  // namespace quillor
