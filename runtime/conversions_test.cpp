#include "runtime/conversions.h"

#include <gtest/gtest.h>

#include <functional>
#include <initializer_list>
#include <utility>

#include "platform/base/failure.h"
#include "testing/expect_failure.h"

namespace quillor {
namespace {

int FailureNumber(const std::function<void()>& call) { return testing::FailureOf(call).number(); }

TEST(LeadingNumberTest, ReadsTheNumberAtTheStart) {
  struct Case {
    const char* text;
    double expected;
  };
  const Case cases[] = {
      {"", 0},
      {"abc", 0},
      {"12", 12},
      {"12abc", 12},
      {"  7", 7},
      {"\t\n3", 3},
      {"1 2", 12},  // blanks between digits are passed over
      {"1\t2\n3", 123},
      {"- 5", -5},
      {"+5", 5},
      {"--5", 0},
      {"2.50", 2.5},
      {".5", 0.5},
      {"5.", 5},
      {".", 0},
      {"1.2.3", 1.2},
      {"1,5", 1},
      {"1e1", 10},
      {"1E+2", 100},
      {"25e-1", 2.5},
      {"1d2", 100},
      {"1D-1", 0.1},
      {"1e", 1},
      {"1e+", 1},
      {"1ex", 1},
      {"1 e 2", 100},
      {"0012.5", 12.5},
      {"1e-400", 0},
      {"0e999", 0},
      {"&H10", 16},
      {"&h1f", 31},
      {"&HFFFF", -1},  // sixteen bits read as a signed whole number
      {"&H8000", -32768},
      {"&H10000", 65536},
      {"&O17", 15},
      {"&O8", 0},
      {"&X1", 0},
      {"&", 0},
      {"\xE4\xB8\x80"
       "5",
       0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LeadingNumber(c.text), c.expected) << '"' << c.text << '"';
  }
}

TEST(LeadingNumberTest, BeyondADoubleIsAnOverflow) {
  for (const char* text : {"1e309", "-2e308", "1000e306", "&H100000000"}) {
    EXPECT_EQ(FailureNumber([&] { LeadingNumber(text); }), failure_numbers::kOverflow) << text;
  }
  EXPECT_EQ(LeadingNumber("1e308"), 1e308);
  EXPECT_EQ(LeadingNumber("0.001e310"), 1e307);
}

TEST(ToInt16Test, RoundsHalvesToEvenWithinSixteenBits) {
  struct Case {
    double value;
    int16_t expected;
  };
  const Case cases[] = {{12.5, 12},     {1.5, 2},         {0.5, 0},        {2.5, 2},
                        {3.6, 4},       {-1.5, -2},       {10, 10},        {0.49, 0},
                        {32767, 32767}, {-32768, -32768}, {32767.4, 32767}};
  for (const Case& c : cases) EXPECT_EQ(ToInt16(c.value), c.expected) << c.value;
  for (double v : {32767.5, 32768.0, -32768.6, 70000.0, 1e300}) {
    EXPECT_EQ(FailureNumber([&] { ToInt16(v); }), failure_numbers::kOverflow) << v;
  }
}

TEST(TotalDiffersTest, ComparesTheRoundedExtendedDifference) {
  struct Case {
    const char* total;
    const char* price;
    const char* quantity;
    bool differs;
  };
  const Case cases[] = {
      {"6", "2", "3", false},   {"6.01", "2", "3", false},  {"5.99", "2", "3", false},
      {"6.02", "2", "3", true}, {"5.98", "2", "3", true},   {"1.01", "1", "1", true},
      {"0.99", "1", "1", true}, {"0.3", "0.1", "3", false}, {"-6", "-2", "3", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(
        TotalDiffers(LeadingNumber(c.total), LeadingNumber(c.price), LeadingNumber(c.quantity)),
        c.differs)
        << c.total << " vs " << c.price << " x " << c.quantity;
  }
  EXPECT_EQ(FailureNumber([] { TotalDiffers(1e308, -1e308, 1e10); }), failure_numbers::kOverflow);
}

// The numbers the texts read as, the texts that are no number, and one text whose
// number is too large.
void ExpectFullNumbers(std::initializer_list<std::pair<const char*, double>> numbers,
                       std::initializer_list<const char*> no_numbers, const char* too_large) {
  for (const auto& [text, expected] : numbers) EXPECT_EQ(FullNumber(text), expected) << text;
  for (const char* text : no_numbers) {
    EXPECT_EQ(FailureNumber([&] { FullNumber(text); }), failure_numbers::kTypeMismatch)
        << '"' << text << '"';
  }
  EXPECT_EQ(FailureNumber([&] { FullNumber(too_large); }), failure_numbers::kOverflow);
}

TEST(FullNumberTest, TheWholeTextMustBeANumber) {
  ExpectFullNumbers({{"0", 0},
                     {"0.0", 0},
                     {" 8 ", 8},
                     {"\t-3", -3},
                     {"1", 1},
                     {"+.5", 0.5},
                     {"1e2", 100},
                     {"2.", 2}},
                    {"", " ", "x1", "1x", "1 2", "1e", ".", "-", "1;drop table ca_mabsw"}, "1e400");
}

// A pretty-printed request carries line feeds and carriage returns around a value,
// and the runtime reads "&H" and "&O" wherever it reads a number.
TEST(FullNumberTest, BlanksOfEveryKindAroundAndRadixPrefixes) {
  ExpectFullNumbers({{"\n0\n", 0},
                     {"\r\n  8\r\n", 8},
                     {"\n\t-3 \n", -3},
                     {"\v1\f", 1},
                     {"&H0", 0},
                     {"&H10", 16},
                     {"&h1f", 31},
                     {" &O17\n", 15},
                     {"&HFFFF", -1},
                     {"&H10000", 65536},
                     {"\n&H8\n", 8}},
                    {"&H", "&O", "&HG", "&O8", "& H1", "&H1 0", "&X1", "&", "1\n2"}, "&H100000000");
}

TEST(ToInt32Test, RoundsHalvesToEvenWithinThirtyTwoBits) {
  EXPECT_EQ(ToInt32(2.5), 2);
  EXPECT_EQ(ToInt32(3.5), 4);
  EXPECT_EQ(ToInt32(-2.5), -2);
  EXPECT_EQ(ToInt32(2147483647.4), 2147483647);
  EXPECT_EQ(ToInt32(-2147483648.0), -2147483647 - 1);
  for (double v : {2147483647.5, -2147483648.6, 1e12}) {
    EXPECT_EQ(FailureNumber([&] { ToInt32(v); }), failure_numbers::kOverflow) << v;
  }
}

// The closed-period flag is converted as the runtime converts to a Boolean: a text
// that is neither a truth word nor a number is a type mismatch, never "open".
TEST(ToBooleanTest, TruthWordsNumbersAndMismatches) {
  EXPECT_FALSE(ToBoolean(DbValue()));
  EXPECT_TRUE(ToBoolean(DbValue(int64_t{-1})));
  EXPECT_FALSE(ToBoolean(DbValue(int64_t{0})));
  EXPECT_TRUE(ToBoolean(DbValue(0.5)));
  for (const char* t : {"1", "-1", "true", "TRUE", " True ", "2.5", "&H1", "\n1\n"}) {
    EXPECT_TRUE(ToBoolean(DbValue(std::string(t)))) << t;
  }
  for (const char* t : {"0", "false", "False", " 0.0 ", "-0", "&H0"}) {
    EXPECT_FALSE(ToBoolean(DbValue(std::string(t)))) << t;
  }
  for (const char* t : {"abc", "", " ", "yes", "truex", "1 2"}) {
    EXPECT_EQ(FailureNumber([&] { ToBoolean(DbValue(std::string(t))); }),
              failure_numbers::kTypeMismatch)
        << '"' << t << '"';
  }
}

}  // namespace
}  // namespace quillor
