#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "stats/crossproduct.h"

namespace {

// Every entry of the upper triangle has the bits of the plain sum over j in ascending order,
// whichever storage the blocks use: sizes that leave partial column blocks and a tail of rows
// below four, ties and zeros, negative zeros, and entries a pair of doubles cannot hold.
TEST(CrossProductUpper, SumsHaveTheBitsOfThePlainLoop) {
  struct Case {
    const char* name;
    int g, a;
    long double (*entry)(int i, int j, long double uniform);
  };
  const std::vector<Case> cases = {
      {"uniform, 150 x 101", 150, 101, [](int, int, long double u) { return u / 3; }},
      {"one column", 7, 1, [](int, int, long double u) { return u; }},
      {"small integers, ties and zeros", 23, 97,
       [](int, int, long double u) { return std::round(2 * u); }},
      {"negative zeros", 9, 50, [](int i, int j, long double u) { return i == j ? -0.0L : u; }},
      {"below the doubles' range", 9, 50,
       [](int i, int, long double u) { return i == 3 ? u * 1e-2000L : u; }},
      {"above the doubles' range", 9, 50,
       [](int i, int j, long double u) { return i == 4 && j == 49 ? 1e400L : u; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::mt19937_64 random(5 + c.g);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::vector<long double> z;
    for (int i = 1; i <= c.g; ++i) {
      // Entries with all 64 bits of the extended format in use.
      for (int j = 1; j <= c.a; ++j) z.push_back(c.entry(i, j, uniform(random) + 1e-17L));
    }
    qv::SymEigenSolver solver(c.g);
    qv::CrossProductUpper(z.data(), c.g, c.a, solver);
    int differing = 0;
    for (int i = 1; i <= c.g; ++i) {
      for (int k = i; k <= c.g; ++k) {
        long double sum = 0.0L;
        for (int j = 0; j < c.a; ++j) sum += z[(i - 1) * c.a + j] * z[(k - 1) * c.a + j];
        const long double got = solver.A(i, k);
        differing += std::memcmp(&got, &sum, 10) != 0;
      }
    }
    EXPECT_EQ(differing, 0);
  }
}

}  // namespace
