// One element of very many children costs a hundred bytes and more a child
// against the four of its text: such a request is the 100 reply before its tree
// grows, with nothing written, in an ADD as in a QUERY, while a line of a few
// children more than usual goes through.
#include "testing/reliability_support.h"

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
  const com::ComPtr<IMaterial> object = IMaterial::Create(Release871());
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

}  // namespace
}  // namespace quillor::testing
