// Reals as text: what the analyses accept as a number, and the shortest exact form the tables
// write.
#include <gtest/gtest.h>

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
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

// The digits-and-point texts of a table (read without from_chars) and their neighbours give
// exactly from_chars's double: up to 19 digits, with the point anywhere, signs and leading
// zeros, and beyond the forms read directly (2^53 and more, 23 decimals, exponents).
TEST(ParseReal, PlainDecimalsReadAsFromCharsReadsThem) {
  std::mt19937_64 random(20261211);
  std::uniform_int_distribution<int> digitCount(1, 21), digit(0, 9), sign(0, 3);
  int checked = 0;
  for (int n = 0; n < 200000; ++n) {
    std::string text = sign(random) == 0 ? "-" : "";
    const int digits = digitCount(random);
    const int point = std::uniform_int_distribution<int>(0, digits)(random);
    for (int d = 0; d < digits; ++d) {
      if (d == point) text += '.';
      text += static_cast<char>('0' + digit(random));
    }
    if (n % 7 == 0) text += "e" + std::to_string(digit(random) - 4);
    double expected = 0.0;
    const char* begin = text.data() + (text[0] == '-' ? 1 : 0);
    const auto [ptr, ec] =
        std::from_chars(begin, text.data() + text.size(), expected, std::chars_format::general);
    ASSERT_TRUE(ec == std::errc() && ptr == text.data() + text.size()) << text;
    if (text[0] == '-') expected = -expected;
    double v = 0.0;
    ASSERT_TRUE(ParseReal(text, v)) << text;
    ASSERT_EQ(std::memcmp(&v, &expected, sizeof v), 0) << text;
    ++checked;
  }
  EXPECT_EQ(checked, 200000);
  for (const char* text : {"9007199254740992", "9007199254740993", "0.1", "5.4108",
                           "0.0000000000000000000001", "0.00000000000000000000001", "-0.0"}) {
    double v = 0.0, expected = 0.0;
    ASSERT_TRUE(ParseReal(text, v)) << text;
    const char* begin = text + (text[0] == '-' ? 1 : 0);
    std::from_chars(begin, text + std::strlen(text), expected);
    if (text[0] == '-') expected = -expected;
    EXPECT_EQ(std::memcmp(&v, &expected, sizeof v), 0) << text;
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
