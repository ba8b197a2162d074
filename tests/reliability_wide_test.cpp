// One element of very many children costs a hundred bytes and more a child
// against the four of its text: such a request is the 100 reply before its tree
// grows, with nothing written, in an ADD as in a QUERY, while a line of a few
// children more than usual goes through.
#include "testing/reliability_support.h"
#include "testing/resident_memory.h"
#include "testing/sanitizers.h"

namespace quillor::testing {
namespace {

std::string Repeated(std::string_view piece, int times) {
  std::string out;
  out.reserve(piece.size() * static_cast<size_t>(times));
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

TEST(WideElementTest, AnElementOfTooManyNodesIsRefusedBeforeAnyLineIsWritten) {
  SampleDb db;
  const com::ComPtr<MaterialComponent> object = MaterialComponent::Create(Release871());
  const std::string first = Material("1", "M01", "5", "3");
  const std::string second = Material("2", "M01", "6", "3");
  constexpr int kMany = 260'000;  // past the bound of 250,000 nodes a tree
  struct Case {
    const char* name;
    std::string request;
  };
  const Case cases[] = {
      {"a pad between two lines",
       AddRequest(first + "<pad>" + Repeated("<a/>", kMany) + "</pad>" + second)},
      {"a line of many children",
       AddRequest(first + "<material id=\"3\">" + Repeated("<a/>", kMany) + "</material>")},
      {"attributes", AddRequest(first + "<pad>" + Repeated("<a b=''/>", kMany / 2) + "</pad>")},
      {"comments", AddRequest(first + "<pad>" + Repeated("<!---->", kMany) + "</pad>")},
      {"a query",
       "<ufinterface roottag=\"material\" docid=\"1\" proc=\"QUERY\" paginate=\"0\">"
       "<material>" +
           Repeated("<a/>", kMany) + "</material></ufinterface>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ParsedReply reply = Parse(Send(*object, c.request, db.ConnectionText()));
    ASSERT_TRUE(reply.is_error);
    EXPECT_EQ(reply.code, "100");
    EXPECT_EQ(reply.message, Text(msg::kXmlParseError));
    EXPECT_TRUE(db.MaterialRows().empty());
  }
  // Many children spread over lines, or a few thousand in one, are no refusal.
  const std::string spread =
      AddRequest(first + "<pad>" + Repeated("<a/>", 100'000) + "</pad><pad>" +
                 Repeated("<a/>", 100'000) + "</pad>" + second);
  const ParsedReply reply = Parse(Send(*object, spread, db.ConnectionText()));
  ASSERT_EQ(reply.items.size(), 2u) << reply.message;
  EXPECT_EQ(db.MaterialRows().size(), 2u);
}

// A call whose tree held tens of megabytes gives them back when it ends: a host
// that made one such call does not keep its peak for the rest of its life.
TEST(WideElementTest, AfterALargeCallItsMemoryGoesBackToTheSystem) {
#ifdef QUILLOR_UNDER_ASAN
  GTEST_SKIP() << "AddressSanitizer keeps freed memory in quarantine";
#else
  if (ResidentKib() == 0) GTEST_SKIP() << "no resident memory figure on this system";
  SampleDb db;
  const com::ComPtr<MaterialComponent> object = MaterialComponent::Create(Release871());
  const std::string line = Material("1", "M01", "5", "3");
  // The connection, the statements and the catalogue are in place before the
  // first figure.
  ASSERT_EQ(Parse(Send(*object, AddRequest(line), db.ConnectionText())).items.size(), 1u);
  const std::string many = Repeated("<a/>", 240'000);
  struct Case {
    const char* name;
    std::string request;
  };
  const Case cases[] = {
      {"a query",
       "<ufinterface roottag=\"material\" docid=\"1\" proc=\"QUERY\" paginate=\"0\">"
       "<material>" +
           many + "</material></ufinterface>"},
      {"an add", AddRequest(line + "<pad>" + many + "</pad>")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const long before = ResidentKib();
    const ParsedReply reply = Parse(Send(*object, c.request, db.ConnectionText()));
    EXPECT_FALSE(reply.is_error) << reply.code << " " << reply.message;
    // The tree alone took over 40 MiB.
    EXPECT_LT(ResidentKib() - before, 8 * 1024) << "KiB still held after the call";
  }
#endif
}

}  // namespace
}  // namespace quillor::testing
