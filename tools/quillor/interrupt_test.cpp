// Ctrl-C during a long ADD, against the built command as an operator runs it:
// the batch ends between two lines, standard error says how many lines were
// answered and how many are stored, the exit status is 130, and the table holds
// exactly the lines the note calls stored.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <regex>
#include <string>
#include <thread>

#include "testing/built_tree.h"
#include "testing/test_db.h"

namespace quillor {
namespace {

using testing::ReadFileText;
using testing::TempDir;
using testing::TestDb;

constexpr int kLines = 20000;

// Every seventh line names a department that is no costing department, so that
// some answered lines are refused and stay unstored.
std::string LongAdd() {
  std::string request = R"(<ufinterface roottag="material" docid="d" proc="ADD">)";
  for (int i = 0; i < kLines; ++i) {
    request += "<material id=\"" + std::to_string(i) + "\"><departmentno>" +
               (i % 7 == 3 ? "D09" : "D01") + "</departmentno><inventoryno>M" + std::to_string(i) +
               "</inventoryno><price>2</price><quantity>3</quantity><period>3</period>"
               "<totalmoney>6</totalmoney></material>";
  }
  return request + "</ufinterface>";
}

void FillHost(TestDb& db) {
  db.Run("insert into ca_depDf values('D01',1)");
  db.conn().Begin();
  for (int i = 0; i < kLines; ++i) {
    db.Run("insert into Inventory values('M" + std::to_string(i) + "','material')");
  }
  db.conn().Commit();
}

size_t CountLines(const std::string& file) {
  const std::string text = ReadFileText(file);
  return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
}

struct Interrupted {
  int exit_code = -1;  // -1: ended by a signal
  std::string err;
};

// Runs `quillor transact` on the request and sends SIGINT once the SQL trace shows
// that the batch is under way.
Interrupted RunAndInterrupt(const TempDir& dir, const std::string& connection,
                            const std::string& release) {
  const std::string request = dir.File("add.xml"), trace = dir.File("trace.jsonl"),
                    out = dir.File("out"), err = dir.File("err");
  std::ofstream(request) << LongAdd();
  // Made before the fork: the child only calls what is safe after it.
  const std::string command = testing::BuiltCommand();
  const std::string library = testing::BuiltLibrary(release);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
    dup2(open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
    execl(command.c_str(), command.c_str(), "transact", "--release", release.c_str(), "--library",
          library.c_str(), "--connection", connection.c_str(), "--trace-sql", trace.c_str(),
          request.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (CountLines(trace) < 300 && std::chrono::steady_clock::now() < deadline &&
         waitpid(pid, nullptr, WNOHANG) == 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  kill(pid, SIGINT);
  int status = 0;
  waitpid(pid, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFileText(err)};
}

TEST(InterruptTest, CtrlCEndsALongAddBetweenLinesAndSaysWhatIsStored) {
  for (const std::string release : {"8.71", "8.50"}) {
    SCOPED_TRACE(release);
    TestDb db(TestDb::Engine::kSqlite);
    FillHost(db);
    const Interrupted run = RunAndInterrupt(TempDir(), db.ConnectionText(), release);

    EXPECT_EQ(run.exit_code, 130) << run.err;
    std::smatch m;
    ASSERT_TRUE(std::regex_search(run.err, m,
                                  std::regex("interrupted: ([0-9]+) of the request's lines were "
                                             "answered, and the ([0-9]+) answered 0 are stored")))
        << run.err;
    const long answered = std::stol(m[1]), stored = std::stol(m[2]);
    EXPECT_GT(answered, 0);
    EXPECT_LT(answered, kLines) << "the batch ran to its end";
    // Lines 3, 10, 17, ... among the first `answered` are refused.
    EXPECT_EQ(stored, answered - (answered + 3) / 7);
    EXPECT_EQ(db.Rows("select count(*) from ca_mabsw")[0][0], std::to_string(stored));
  }
}

}  // namespace
}  // namespace quillor
