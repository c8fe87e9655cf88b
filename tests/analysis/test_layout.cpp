// The number layouts, case by case. Each expected string was written by hand from the layout
// rule (widths counted character by character), not produced by the code under test.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "analysis/layout.h"

namespace qv {
namespace {

struct FixedCase {
  long double value;
  int width, decimals;
  const char* expected;
};

TEST(Layout, Fixed) {
  const long double inf = std::numeric_limits<long double>::infinity();
  const FixedCase cases[] = {
      {12.5L, 14, 6, "     12.500000"},
      {-4e-7L, 14, 6, "     -0.000000"},  // the sign follows the value, not the digits
      {-0.0L, 8, 2, "   -0.00"},          // ... and the sign bit of a negative zero
      {1e6L, 8, 2, "1000000.00"},         // wider than its field: takes the room it needs
      {0.0L, 14, 6, "      0.000000"},
      {6e-7L, 10, 6, "  0.000001"},
      {0.96L, 5, 1, "  1.0"},  // rounding carries into the units
      {-999.9996L, 12, 3, "   -1000.000"},
      {0.1234565L, 10, 6, "  0.123457"},  // its binary value lies 2.4e-21 above the tie
      // Rounded once, from the exact binary value: 1.1e-20 below the tie, so down; an
      // 18-digit image (0.123456500000000000) would round up.
      {0.12345649999999999999L, 10, 6, "  0.123456"},
      // Exact ties (a binary fraction of d + 1 decimals) go away from zero, not to even.
      {2.5L, 4, 0, "   3"},
      {0.125L, 5, 2, " 0.13"},
      {-0.125L, 5, 2, "-0.13"},
      {0.5L, 1, 0, "1"},
      {1.0L / 1024, 12, 10, "0.0009765625"},  // exact: nothing to round
      // Every digit of a large integer, not 18 of them and zeros (an intercept near 1e20).
      {12345678901234567891.0L, 25, 0, "     12345678901234567891"},
      // The nearest 80-bit value of -98765432109876543210987654321, every digit of it.
      {-98765432109876543210987654321.0L, 0, 0, "-98765432109876543207199735808"},
      {1e-4950L, 8, 2, "    0.00"},  // a subnormal value, exactly
      {4.00000L, 15, 5, "        4.00000"},
      {123456789.123456789L, 20, 6, "    123456789.123457"},
      {std::numeric_limits<long double>::quiet_NaN(), 6, 2, "   Nan"},
      {inf, 6, 2, "  +Inf"},
      {-inf, 6, 2, "  -Inf"},
      {2.5e40L, 15, 6, " 2.500000E+0040"},  // from 1e36 up, the exponent form
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Fixed(c.value, c.width, c.decimals), c.expected)
        << "Fixed(" << static_cast<double>(c.value) << ", " << c.width << ", " << c.decimals << ")";
  }
}

TEST(Layout, FixedShortcutAgreesWithExactDigits) {
  // Ties at every scale (exact binary fractions: 0.125, 2.5, 1/1024...), values a hair either
  // side of them, signed zeros, and random values over 50 orders of magnitude.
  std::vector<long double> values = {0.0L,
                                     -0.0L,
                                     0.5L,
                                     -0.5L,
                                     2.5L,
                                     -2.5L,
                                     0.125L,
                                     -0.125L,
                                     0.0009765625L,
                                     1e-30L,
                                     9.5e-7L,
                                     0.9999995L,
                                     123456.5L,
                                     9223372036854775807.0L,
                                     18446744073709551615.0L,
                                     1e35L,
                                     1e40L,
                                     std::numeric_limits<long double>::min(),
                                     -std::numeric_limits<long double>::denorm_min(),
                                     std::numeric_limits<long double>::infinity(),
                                     std::numeric_limits<long double>::quiet_NaN()};
  // Around 2^-64, where the figure of 19 decimals turns from a unit in its last place to 0.
  for (int e = -62; e >= -70; --e) {
    const long double v = std::ldexp(1.0L, e);
    values.insert(values.end(), {v, -v, std::nextafter(v, 0.0L), 3 * v, 0.6L * v, 5e-20L, 1e-300L});
  }
  for (long double v : {0.125L, 2.5L, 0.0009765625L, 1234.5L}) {
    values.push_back(std::nextafter(v, 0.0L));
    values.push_back(std::nextafter(v, 10.0L * v));
  }
  std::mt19937_64 random(20261210);
  std::uniform_real_distribution<double> mantissa(-1, 1);
  std::uniform_int_distribution<int> exponent(-25, 25);
  for (int i = 0; i < 2000; ++i) {
    values.push_back(static_cast<long double>(mantissa(random)) *
                     std::pow(10.0L, exponent(random)));
  }
  for (long double v : values) {
    for (int decimals = 0; decimals <= 20; ++decimals) {
      ASSERT_EQ(Fixed(v, 12, decimals), detail::FixedExact(v, 12, decimals))
          << std::setprecision(21) << v << " with " << decimals << " decimals";
      // Appended to a line: the same text after what the line held.
      std::string line = "x";
      AppendFixed(line, v, 12, decimals);
      ASSERT_EQ(line, "x" + Fixed(v, 12, decimals))
          << std::setprecision(21) << v << " with " << decimals << " decimals";
    }
  }
}

TEST(Layout, Int) {
  EXPECT_EQ(Int(12, 8), "      12");
  EXPECT_EQ(Int(-3, 5), "   -3");
  EXPECT_EQ(Int(123456, 4), "123456");
  EXPECT_EQ(Int(0, 1), "0");
  for (const long long v : {0LL, -3LL, 123456LL, std::numeric_limits<long long>::min()}) {
    for (const int width : {0, 1, 8, 25}) {
      std::string line = "x";
      AppendInt(line, v, width);
      EXPECT_EQ(line, "x" + Int(v, width)) << v << " in " << width;
    }
  }
}

TEST(Layout, Exp) {
  EXPECT_EQ(Exp(1234.5L, 15), " 1.234500E+0003");
  EXPECT_EQ(Exp(-1234.5L, 15), "-1.234500E+0003");
  EXPECT_EQ(Exp(0.0L, 15), " 0.000000E+0000");
  EXPECT_EQ(Exp(1.5e-12L, 16), " 1.5000000E-0012");
  EXPECT_EQ(Exp(9.99999999L, 15), " 1.000000E+0001");  // rounding moves the exponent
  EXPECT_EQ(Exp(1.0L, 20), " 1.00000000000E+0000");
  // Never fewer than two significant digits: at least ten characters.
  EXPECT_EQ(Exp(1.25L, 4), " 1.3E+0000");
  EXPECT_EQ(Exp(std::numeric_limits<long double>::quiet_NaN(), 15), "            Nan");
  // Rounded once from the exact value, as Fixed: 1.1e-20 below the tie of the 7th digit.
  EXPECT_EQ(Exp(0.12345649999999999999L, 14), " 1.23456E-0001");
  EXPECT_EQ(Exp(12345678901234567891.0L, 26), " 1.23456789012345679E+0019");  // 18 digits at most
  EXPECT_EQ(Exp(std::numeric_limits<long double>::denorm_min(), 14), " 3.64520E-4951");
}

TEST(Layout, General) {
  const struct {
    long double value;
    const char* expected;
  } cases[] = {
      {0.00012L, "0.00012"},
      {0.00001L, "1E-5"},
      {2.5L, "2.5"},
      {1e15L, "1E15"},
      {999999999999999.0L, "999999999999999"},
      {0.0001L, "0.0001"},
      {0.0L, "0"},
      {-12.0L, "-12"},
      {1.0L / 3.0L, "0.333333333333333"},
      {-2.0L / 3.0L, "-0.666666666666667"},
      {123456.75L, "123456.75"},
      {1.5e20L, "1.5E20"},
      {-2.25e-9L, "-2.25E-9"},
      {5.0L, "5"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(General(c.value), c.expected) << static_cast<double>(c.value);
  }
  EXPECT_EQ(General(2.5L, ','), "2,5");  // the locale's separator where one is asked for
}

// Reals that a double holds exactly take their digits from std::to_chars instead of printf;
// both give the exact value rounded to 18 digits, which Exp(26) prints whole. Checked against
// printf over doubles of every magnitude (random bit patterns), and at rounding ties.
// Exp(26) shows 18 significant digits: the value's exact decimal expansion (glibc's printf writes
// it in full when asked for enough digits; a double has at most 767 significant ones) rounded
// once to 18 digits, half away from zero on exact ties.
TEST(Layout, DigitsOfDoublesAreTheirExactExpansionRoundedOnce) {
  std::mt19937_64 random(20240611);
  std::vector<double> values = {0.5,
                                0.125,
                                1.0 / 1024,
                                9007199254740993.0,
                                -245161282504830.5625,  // an exact tie at the 18th digit
                                2.5e-324,
                                std::numeric_limits<double>::max(),
                                std::numeric_limits<double>::denorm_min()};
  for (int i = 0; i < 200000; ++i) {
    const std::uint64_t bits = random();
    double v = 0.0;
    std::memcpy(&v, &bits, sizeof v);
    if (std::isfinite(v)) values.push_back(v);
  }
  std::vector<char> printed(1200);
  for (const double v : values) {
    std::snprintf(printed.data(), printed.size(), "%.1100e", std::fabs(v));
    const std::string p(printed.data());
    int exponent = std::atoi(p.c_str() + p.find('e') + 1);
    std::string digits = p.substr(0, 1) + p.substr(2, p.find('e') - 2);
    std::string kept = digits.substr(0, 18);
    if (digits[18] >= '5') {
      int k = 17;
      while (k >= 0 && kept[k] == '9') kept[k--] = '0';
      if (k >= 0) {
        ++kept[k];
      } else {
        kept.insert(kept.begin(), '1');
        kept.pop_back();
        ++exponent;
      }
    }
    char expected[64];
    std::snprintf(expected, sizeof expected, "%c%c.%sE%c%04d", std::signbit(v) ? '-' : ' ', kept[0],
                  kept.substr(1).c_str(), exponent < 0 ? '-' : '+', std::abs(exponent));
    ASSERT_EQ(Exp(v, 26), expected) << v;
  }
}

TEST(Layout, SeparatorAndPadding) {
  EXPECT_EQ(Separator(), std::string(78, '_'));
  EXPECT_EQ(PadRight("média", 22), "média                 ");  // characters, not bytes
  EXPECT_EQ(PadRight("longer than", 4), "longer than");
}

}  // namespace
}  // namespace qv
