// Four processes send ADD requests to one PostgreSQL database at the same time; every
// element must be stored exactly once and every reply must say so.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "component/material_component.h"
#include "platform/hosts/orvo_login.h"
#include "schema/host_schema.h"
#include "testing/pg_database.h"

namespace quillor {
namespace {

constexpr int kProcesses = 4;
constexpr int kRequests = 50;
constexpr int kElements = 20;
constexpr int kTotal = kProcesses * kRequests * kElements;
constexpr auto kTimeLimit = std::chrono::seconds(240);

// Element n (0 to kTotal-1) consumes material M<n> for product P100 of department D01.
std::string Request(int process, int request) {
  std::string xml = "<ufinterface roottag=\"material\" docid=\"LOAD\" proc=\"ADD\">";
  for (int i = 0; i < kElements; ++i) {
    const int n = (process * kRequests + request) * kElements + i;
    xml += "<material id=\"" + std::to_string(n) +
           "\"><departmentno>D01</departmentno><productno>P100</productno>"
           "<inventoryno>M" +
           std::to_string(n) +
           "</inventoryno><serial>B1</serial><price>2</price><quantity>3</quantity>"
           "<period>5</period><totalmoney>6</totalmoney><irdcode>0</irdcode></material>";
  }
  return xml + "</ufinterface>";
}

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// One sender: its own object and, at every call, its own connection. The exit status
// is 0 when every reply reported every element written.
int Send(int process, const std::string& connection_text, int start_signal) {
  char go = 0;
  if (read(start_signal, &go, 1) != 1) return 2;
  com::ComPtr<MaterialComponent> object = MaterialComponent::Create(Release871());
  for (int r = 0; r < kRequests; ++r) {
    com::ComPtr<IOrvoLogin> login = MakeLogin(connection_text, Release871().ids.login_iid);
    IOrvoLogin* raw = login.Get();
    std::string reply;
    if (object->Transact(Request(process, r), &raw, &reply) != com::S_OK ||
        Occurrences(reply, "code=\"") != kElements ||
        Occurrences(reply, "code=\"0\"") != kElements) {
      std::fprintf(stderr, "process %d, request %d: %s\n", process, r, reply.c_str());
      return 1;
    }
  }
  return 0;
}

TEST(PgLoad, FourProcessesStoreEveryElementExactlyOnce) {
  const auto text = testing::PgConnectionText();
  if (!text) GTEST_SKIP() << "QUILLOR_TEST_PG_CONNECTION is not set";
  testing::PgDatabase db(*text);
  {
    auto conn = db.Open();
    CreateHostTables(*conn);
    conn->Execute("insert into ca_depDf(cDeptID, bIsBaseDep) values('D01', 1)");
    conn->Execute(
        "insert into caq_coreal(iRealCOID, cDeptID, InvCode) values(1001, 'D01', 'P100')");
    conn->Execute("insert into ca_pronb(cBatch) values('B1')");
    conn->Execute("insert into Inventory(cInvCode) select 'M' || n from generate_series(0, " +
                  std::to_string(kTotal - 1) + ") as n");
  }  // closed before the fork: the senders share nothing but the server

  int start[2];
  ASSERT_EQ(pipe(start), 0);
  std::vector<pid_t> senders;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      close(start[1]);
      _exit(Send(p, db.text(), start[0]));
    }
    senders.push_back(pid);
  }
  close(start[0]);
  const char go[kProcesses] = {};
  ASSERT_EQ(write(start[1], go, sizeof go), static_cast<ssize_t>(sizeof go));  // all at once
  close(start[1]);

  const auto deadline = std::chrono::steady_clock::now() + kTimeLimit;
  for (const pid_t pid : senders) {
    int status = 0;
    pid_t done = 0;
    while ((done = waitpid(pid, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (done == 0) {  // over time: stop this sender and report it
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      ADD_FAILURE() << "sender " << pid << " did not finish in time";
      continue;
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "sender " << pid;
  }

  auto conn = db.Open();
  EXPECT_EQ(
      conn->Open("select count(*) as n from ca_mabsw", CursorType::kStatic)->Value("n").Integer(),
      kTotal);
  EXPECT_EQ(conn->Open("select count(distinct cmatid) as n from ca_mabsw where cppid='1001' and "
                       "iperiod=5 and irdcode=0",
                       CursorType::kStatic)
                ->Value("n")
                .Integer(),
            kTotal);
}

}  // namespace
}  // namespace quillor
