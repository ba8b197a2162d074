// Several threads, each with its own object, writing to one database at once:
// every line is written exactly once, and a line sent by several threads at once
// leaves one row. An object called from a thread other than its creator's refuses
// the call before anything runs.
#include <latch>
#include <map>
#include <thread>

#include "platform/db/sqlite/sqlite_faults.h"
#include "testing/reliability_support.h"

namespace quillor::testing {
namespace {

constexpr int kThreads = 4;
constexpr int kRequests = 6;
constexpr int kLines = 5;

std::string Code(int thread, int request, int line) {
  return "T" + std::to_string(thread) + "-" + std::to_string(request) + "-" + std::to_string(line);
}

// Runs body(t) on kThreads threads that start together; returns their replies.
template <typename Body>
std::vector<std::vector<std::string>> OnThreads(Body body) {
  std::vector<std::vector<std::string>> replies(kThreads);
  std::latch start(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      start.arrive_and_wait();
      replies[static_cast<size_t>(t)] = body(t);
    });
  }
  for (std::thread& thread : threads) thread.join();
  return replies;
}

TEST(ThreadsTest, EachLineOfConcurrentBatchesIsWrittenExactlyOnce) {
  SampleDb db;
  for (int t = 0; t < kThreads; ++t) {
    for (int r = 0; r < kRequests; ++r) {
      for (int l = 0; l < kLines; ++l) {
        db.Run("insert into Inventory (cInvCode) values ('" + Code(t, r, l) + "')");
      }
    }
  }
  const std::string text = db.ConnectionText();
  const auto replies = OnThreads([&](int t) {
    // The object belongs to the thread that creates it.
    auto object = MaterialComponent::Create(Release871());
    std::vector<std::string> out;
    for (int r = 0; r < kRequests; ++r) {
      std::string lines;
      for (int l = 0; l < kLines; ++l) {
        lines += Material(Code(t, r, l), Code(t, r, l), std::to_string(1 + l), "3");
      }
      out.push_back(Send(*object, AddRequest(lines), text));
    }
    return out;
  });
  for (int t = 0; t < kThreads; ++t) {
    for (int r = 0; r < kRequests; ++r) {
      const ParsedReply reply = Parse(replies[static_cast<size_t>(t)][static_cast<size_t>(r)]);
      ASSERT_EQ(reply.items.size(), static_cast<size_t>(kLines));
      for (int l = 0; l < kLines; ++l) {
        EXPECT_EQ(reply.items[static_cast<size_t>(l)],
                  (ReplyItem{Code(t, r, l), 0, SuccessText()}));
      }
    }
  }
  std::map<std::string, int> per_code;
  for (const auto& row : db.Rows("select cMatID from ca_mabsw")) ++per_code[row[0]];
  EXPECT_EQ(per_code.size(), static_cast<size_t>(kThreads * kRequests * kLines));
  for (const auto& [code, count] : per_code) EXPECT_EQ(count, 1) << code;
}

TEST(ThreadsTest, TheSameLinesSentByEveryThreadAtOnceLeaveOneRowEach) {
  SampleDb db;
  std::string lines;
  for (int l = 0; l < 8; ++l) {
    lines += Material(std::to_string(l), l % 2 ? "M01" : "M02", std::to_string(1 + l), "3");
  }
  const std::string request = AddRequest(lines);
  const std::string text = db.ConnectionText();
  const auto replies = OnThreads([&](int) {
    auto object = MaterialComponent::Create(Release871());
    std::vector<std::string> out;
    for (int r = 0; r < kRequests; ++r) out.push_back(Send(*object, request, text));
    return out;
  });
  for (const auto& thread_replies : replies) {
    for (const std::string& reply : thread_replies) {
      for (const ReplyItem& item : Parse(reply).items) EXPECT_EQ(item.code, 0) << item.message;
    }
  }
  EXPECT_EQ(db.Rows("select count(*) from ca_mabsw"),
            (std::vector<std::vector<std::string>>{{"8"}}));
  EXPECT_TRUE(db.Rows("select cDeptID, cppid, cMatID, cBatch, iPeriod, irdcode from ca_mabsw "
                      "group by cDeptID, cppid, cMatID, cBatch, iPeriod, irdcode "
                      "having count(*) > 1")
                  .empty());
}

TEST(ThreadsTest, ACallFromAnotherThreadIsRefusedBeforeAnythingRuns) {
  sqlite::faults::Scope scope;
  SampleDb db;
  auto object = MaterialComponent::Create(Release871());
  com::ComPtr<IOrvoLogin> login = MakeLogin(db.ConnectionText(), Release871().ids.login_iid);
  const std::string request = AddRequest(Material("1", "M01", "3", "4"));
  sqlite::faults::Reset();

  std::thread other([&] {
    IOrvoLogin* raw = login.Get();
    std::string reply = "untouched";
    EXPECT_EQ(object->Transact(request, &raw, &reply), com::RPC_E_WRONG_THREAD);
    EXPECT_EQ(reply, "untouched");

    bool result = true;
    XmlNodeList none;
    EXPECT_EQ(object->QueryProc(none, &reply, &result), com::RPC_E_WRONG_THREAD);
    com::IDispatch* caller = nullptr;
    EXPECT_EQ(object->AddObjectReference(&caller, &result), com::RPC_E_WRONG_THREAD);
    EXPECT_EQ(object->DropObjectReference(&caller, &result), com::RPC_E_WRONG_THREAD);
    EXPECT_TRUE(result);

    // By name, through IDispatch, as a script would call it.
    int32_t dispid = 0;
    ASSERT_EQ(object->GetIDsOfNames("Transact", &dispid), com::S_OK);
    std::vector<com::Variant> args{com::Variant(request),
                                   com::Variant(com::ComPtr<com::IDispatch>(login.Get()))};
    com::Variant out;
    EXPECT_EQ(object->Invoke(dispid, com::InvokeKind::kMethod, args, &out, nullptr),
              com::RPC_E_WRONG_THREAD);
  });
  other.join();
  EXPECT_EQ(sqlite::faults::StatementsRun(), 0);
  EXPECT_TRUE(db.MaterialRows().empty());

  // On its own thread the object still works.
  EXPECT_EQ(Parse(Send(*object, request, db.ConnectionText())).items,
            (std::vector<ReplyItem>{{"1", 0, SuccessText()}}));
}

}  // namespace
}  // namespace quillor::testing
