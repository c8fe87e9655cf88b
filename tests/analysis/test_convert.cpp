#include <gtest/gtest.h>

#include "analysis/convert.h"

namespace qv {
namespace {

TEST(Convert, Integers) {
  const struct {
    const char* text;
    bool ok;
    std::int32_t value;
  } cases[] = {
      {"12", true, 12},
      {"  12", true, 12},
      {"-7", true, -7},
      {"+3", true, 3},
      {"$1F", true, 31},
      {"0x1f", true, 31},
      {"-$10", true, -16},
      {"", false, 0},
      {"  ", false, 0},
      {"12 ", false, 0},
      {"1.0", false, 0},
      {"1,5", false, 0},
      {"abc", false, 0},
      {"$", false, 0},
      {"2147483647", true, 2147483647},
      {"2147483648", false, 0},
      {"-2147483648", true, INT32_MIN},
      {"99999999999999", false, 0},
  };
  for (const auto& c : cases) {
    std::int32_t v = -99;
    EXPECT_EQ(ConvertInteger(c.text, v), c.ok) << '"' << c.text << '"';
    if (c.ok) {
      EXPECT_EQ(v, c.value) << c.text;
    }
  }
}

TEST(Convert, Reals) {
  const struct {
    const char* text;
    bool ok;
    double value;
  } cases[] = {
      {"0.05", true, 0.05}, {"  2.5", true, 2.5}, {"-1e-3", true, -1e-3}, {"3E+2", true, 300},
      {"7", true, 7},       {".5", true, 0.5},    {"5.", true, 5},        {"+4", true, 4},
      {"0,05", false, 0},   {"", false, 0},       {"1e", false, 0},       {"inf", false, 0},
      {"nan", false, 0},    {"1.5x", false, 0},   {"2.5 ", false, 0},     {".", false, 0},
      {"1e999", false, 0},  {"--1", false, 0},
  };
  for (const auto& c : cases) {
    double v = -99;
    EXPECT_EQ(ConvertReal(c.text, v), c.ok) << '"' << c.text << '"';
    if (c.ok) {
      EXPECT_DOUBLE_EQ(v, c.value) << c.text;
    }
  }
}

}  // namespace
}  // namespace qv
