// A host that forks while another of its threads is in the middle of calls: each
// child makes one call of its own and gets the normal reply, its line stored in
// the database its connection text names, whatever the other thread was doing
// at the moment of the fork.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

#include "testing/release_host.h"
#include "testing/reliability_support.h"
#include "testing/sanitizers.h"

namespace quillor::testing {
namespace {

using std::chrono::steady_clock;

constexpr int kChildren = 100;
// Generous: a child that deadlocks never ends, while a hundred children of a
// sanitizer build on a loaded machine can take more than ten seconds together.
constexpr auto kChildDeadline = std::chrono::seconds(60);

// How a child ends: its one call answered as it should, answered otherwise, or
// never answered (the parent kills it).
enum ChildStatus { kAnswered = 0, kWrongAnswer = 1, kCallRefused = 2 };

std::string Serial(char who, int n) { return std::string(1, who) + std::to_string(n); }

std::string OneLine(const std::string& serial) {
  return AddRequest(Material(serial, "M01", "3", "4", serial));
}

// In the child: one ADD through the object the parent created, then _exit, so
// that nothing of the parent's test framework runs twice.
[[noreturn]] void ChildCall(MaterialComponent& object, const std::string& connection_text, int n) {
  com::ComPtr<IOrvoLogin> login = MakeLogin(connection_text, object.profile().ids.login_iid);
  IOrvoLogin* raw = login.Get();
  std::string reply;
  if (object.Transact(OneLine(Serial('C', n)), &raw, &reply) != com::S_OK) _exit(kCallRefused);
  const ParsedReply parsed = Parse(reply);
  const bool normal = parsed.items.size() == 1 && parsed.items[0].code == 0 &&
                      parsed.items[0].message == SuccessText();
  _exit(normal ? kAnswered : kWrongAnswer);
}

struct Outcome {
  int answered = 0;
  int wrong = 0;
  int hung = 0;
};

// Waits for every child until the deadline, then kills those still running.
Outcome WaitForChildren(std::set<pid_t> running) {
  Outcome out;
  const auto deadline = steady_clock::now() + kChildDeadline;
  while (!running.empty() && steady_clock::now() < deadline) {
    int status = 0;
    const pid_t done = waitpid(-1, &status, WNOHANG);
    if (done <= 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    if (running.erase(done) == 0) continue;
    const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == kAnswered;
    ++(ok ? out.answered : out.wrong);
  }
  for (const pid_t hung : running) {
    kill(hung, SIGKILL);
    waitpid(hung, nullptr, 0);
    ++out.hung;
  }
  return out;
}

TEST(ForkTest, EveryChildForkedUnderLoadAnswersAndStoresItsLine) {
#ifdef QUILLOR_UNDER_ASAN
  // Under AddressSanitizer one child in a hundred or so, forked while the other
  // threads allocate, has been seen to hang; the plain build forks the same
  // children on SQLite and PostgreSQL without one. Until the hang is traced to
  // the sanitizer's runtime or to our fork protocol, it runs in the plain build.
  GTEST_SKIP() << "a forked child hangs now and then under AddressSanitizer: see the comment";
#endif
  SampleDb db(TestDb::Engine::kSqlite);
  for (int n = 0; n < kChildren; ++n)
    db.Run("insert into ca_pronb (cBatch) values ('C" + std::to_string(n) + "')");
  for (const char* batch : {"P0", "P1", "L"})
    db.Run(std::string("insert into ca_pronb (cBatch) values ('") + batch + "')");
  const std::string text = db.ConnectionText();
  auto object = MaterialComponent::Create(Release871());
  // The parent's own call leaves a connection in the pool for the children to inherit.
  const std::string first = Send(*object, OneLine("P0"), text);
  ASSERT_EQ(Parse(first).items.at(0).code, 0) << first;

  std::atomic<bool> stop{false};
  std::atomic<int> busy_calls{0};
  std::thread busy([&] {
    auto own = MaterialComponent::Create(Release871());
    const std::string query = ReleaseQueryRequest(Field("cMatID", "=", "M01"));
    for (int n = 0; !stop; ++n) {
      // The same line each time: stored once, answered as stored every time.
      Send(*own, n % 2 ? query : OneLine("L"), text);
      ++busy_calls;
    }
  });
  while (busy_calls < 2) std::this_thread::yield();

  const int calls_before = busy_calls;
  std::set<pid_t> children;
  for (int n = 0; n < kChildren; ++n) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) ChildCall(*object, text, n);
    children.insert(pid);
    // A fork lands at a different point of the other thread's call each time.
    std::this_thread::sleep_for(std::chrono::microseconds(200 * (n % 7)));
  }
  const int calls_while_forking = busy_calls - calls_before;
  const Outcome outcome = WaitForChildren(children);
  stop = true;
  busy.join();

  EXPECT_GT(calls_while_forking, 0);  // the forks met calls in progress
  EXPECT_EQ(outcome.hung, 0);
  EXPECT_EQ(outcome.wrong, 0);
  EXPECT_EQ(outcome.answered, kChildren);
  std::set<std::string> stored;
  for (const auto& row : db.Rows("select cBatch from ca_mabsw where cBatch like 'C%'")) {
    stored.insert(row[0]);
  }
  if (outcome.hung == 0) {
    for (int n = 0; n < kChildren; ++n) {
      EXPECT_EQ(stored.count(Serial('C', n)), 1u) << Serial('C', n);
    }
  }
  // The parent goes on calling as before.
  EXPECT_EQ(Parse(Send(*object, OneLine("P1"), text)).items.at(0).code, 0);
}

}  // namespace
}  // namespace quillor::testing
