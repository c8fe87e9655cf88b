// Reals as text: what the analyses accept as a number, and the shortest exact form the tables
// write.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "tables/datatable.h"
#include "tables/realtext.h"

namespace qv {
namespace {

struct ParseCase {
  const char* text;
  bool ok;
  double value;
};

TEST(ParseReal, AcceptsOnlyWholeNumbersWithDecimalPoint) {
  const ParseCase cases[] = {
      {"2.5", true, 2.5},        {"  -3.25\t", true, -3.25},
      {"+4", true, 4.0},         {".5", true, 0.5},
      {"7.", true, 7.0},         {"1e3", true, 1000.0},
      {"-2.5E-2", true, -0.025}, {"0", true, 0.0},
      {"\r\n12\n", true, 12.0},  {"", false, 0},
      {"   ", false, 0},         {"1,5", false, 0},
      {"abc", false, 0},         {"1e", false, 0},
      {"12abc", false, 0},       {"1 2", false, 0},
      {"inf", false, 0},         {"-nan", false, 0},
      {"0x10", false, 0},        {"--1", false, 0},
      {"+-1", false, 0},         {"1e400", false, 0},
      {"-", false, 0},           {".", false, 0},
  };
  for (const ParseCase& c : cases) {
    double v = -99.0;
    EXPECT_EQ(ParseReal(c.text, v), c.ok) << "\"" << c.text << "\"";
    if (c.ok) {
      EXPECT_EQ(v, c.value) << "\"" << c.text << "\"";
    }
  }
}

TEST(FormatReal, ShortestTextReadsBackBitForBit) {
  const double values[] = {0.1,
                           1.0 / 3.0,
                           1e-300,
                           123456789.123456789,
                           -2.5e17,
                           DBL_MAX,
                           -DBL_MIN,
                           std::numeric_limits<double>::denorm_min(),
                           -1.2345678901234567e-5,
                           9007199254740993.0,
                           42.0};
  for (const double x : values) {
    const std::string text = FormatReal(x);
    double back = 0.0;
    ASSERT_TRUE(ParseReal(text, back)) << text;
    EXPECT_EQ(std::memcmp(&x, &back, sizeof x), 0) << text;
  }
  EXPECT_EQ(FormatReal(0.1), "0.1");
  EXPECT_EQ(FormatReal(42.0), "42");
  EXPECT_EQ(FormatReal(-2.5e17), "-2.5e+17");
}

TEST(WhyNotAReal, NumbersGoneWrongAndMarksOfMissingValues) {
  const struct {
    const char* text;
    TNotAReal why;
  } cases[] = {
      {"1,5", TNotAReal::DecimalComma},  {" -2,25e3 ", TNotAReal::DecimalComma},
      {"1e309", TNotAReal::OutOfRange},  {"-1e400", TNotAReal::OutOfRange},
      {"1e-400", TNotAReal::OutOfRange}, {"NA", TNotAReal::MissingMark},
      {"nan", TNotAReal::MissingMark},   {"-Inf", TNotAReal::MissingMark},
      {"#N/D", TNotAReal::MissingMark},  {".", TNotAReal::MissingMark},
      {"1.234,5", TNotAReal::Text},      {"1,2,3", TNotAReal::Text},
      {"G12", TNotAReal::Text},          {"12-345", TNotAReal::Text},
      {"1e", TNotAReal::Text},           {"NAN!", TNotAReal::Text},
  };
  for (const auto& c : cases) EXPECT_EQ(WhyNotAReal(c.text), c.why) << c.text;
}

TEST(TValueToReal, NumberTextAndBlank) {
  double v = 0.0;
  EXPECT_TRUE(TValue::Number(-1.5).ToReal(v));
  EXPECT_EQ(v, -1.5);
  EXPECT_TRUE(TValue::Text(" 3.5 ").ToReal(v));
  EXPECT_EQ(v, 3.5);
  v = 7.0;
  EXPECT_FALSE(TValue::Text("3,5").ToReal(v));
  EXPECT_FALSE(TValue::Text("G12").ToReal(v));
  EXPECT_FALSE(TValue::Blank().ToReal(v));
  EXPECT_EQ(v, 7.0);  // untouched on failure
}

}  // namespace
}  // namespace qv
