// The blocks of the segmented models' least squares with their bends held: their inverses and the
// junction where two free lines cross, against the plain forms of the same arithmetic.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "segmented/slopesums.h"

namespace qv {
namespace {

// Gauss-Jordan elimination with partial pivoting over the whole of [H | I] (n x 2n), as in any
// textbook; a pivot below 1e-13 of the largest diagonal element counts as zero.
bool TextbookInverse(const TGenotypeBlock& b, long double (&inverse)[4][4]) {
  const int n = b.Size();
  long double m[4][8] = {};
  long double scale = 0;
  for (int p = 0; p < n; ++p) {
    for (int q = 0; q < n; ++q) m[p][q] = p <= q ? b.CrossProduct(p, q) : b.CrossProduct(q, p);
    m[p][n + p] = 1;
    scale = std::fmax(scale, std::fabs(m[p][p]));
  }
  if (scale == 0) return false;
  for (int k = 0; k < n; ++k) {
    int pivot = k;
    for (int p = k + 1; p < n; ++p) {
      if (std::fabs(m[p][k]) > std::fabs(m[pivot][k])) pivot = p;
    }
    if (std::fabs(m[pivot][k]) <= 1e-13L * scale) return false;
    std::swap(m[pivot], m[k]);
    const long double d = m[k][k];
    for (int q = 0; q < 2 * n; ++q) m[k][q] /= d;
    for (int p = 0; p < n; ++p) {
      if (p == k || m[p][k] == 0) continue;
      const long double f = m[p][k];
      for (int q = 0; q < 2 * n; ++q) m[p][q] -= f * m[k][q];
    }
  }
  for (int p = 0; p < n; ++p) {
    for (int q = 0; q < n; ++q) inverse[p][q] = m[p][n + q];
  }
  return true;
}

// The same number to the last bit; a zero may carry either sign.
bool Same(long double x, long double y) {
  return (x == 0 && y == 0) || std::memcmp(&x, &y, 10) == 0;
}

struct TLayout {
  const char* name;
  std::vector<long double> x, y;  // x(1..a), y(1..a); element 0 unused
};

// Indexes that make the elimination interchange rows (values far from 0, so that sum x outweighs
// the count), cancel exactly (small integers, symmetric about 0), and neither.
std::vector<TLayout> Layouts() {
  std::vector<TLayout> layouts;
  const int a = 24;
  TLayout centred{"centred", {0}, {0}}, integers{"integers", {0}, {0}}, far{"far", {0}, {0}};
  for (int j = 1; j <= a; ++j) {
    const long double e = 3 * std::sin(1.7L * j), scatter = std::cos(2.3L * j * j);
    centred.x.push_back(e);
    centred.y.push_back(50 + (e <= 0.4L ? 0.7L : 1.3L) * e + scatter);
    integers.x.push_back(static_cast<long double>(j % 7 - 3));
    integers.y.push_back(static_cast<long double>((j * 5) % 11));
    far.x.push_back(400 + 30 * e);
    far.y.push_back(-2000 + (e <= 1 ? 2 : -1) * 30 * e + 10 * scatter);
  }
  layouts.push_back(std::move(centred));
  layouts.push_back(std::move(integers));
  layouts.push_back(std::move(far));
  return layouts;
}

// 1..a in ascending order of x(1..a).
std::vector<int> Ascending(const std::vector<long double>& x) {
  std::vector<int> order(x.size() - 1);
  for (std::size_t k = 0; k < order.size(); ++k) order[k] = static_cast<int>(k) + 1;
  std::stable_sort(order.begin(), order.end(), [&](int p, int q) {
    return x[static_cast<std::size_t>(p)] < x[static_cast<std::size_t>(q)];
  });
  return order;
}

// Every place of the junction: on each index value, between each pair, and beyond both ends
// (where a line has no cells and the block is singular), in both designs.
TEST(GenotypeBlock, InverseIsThatOfTheWholeElimination) {
  for (const TLayout& layout : Layouts()) {
    SCOPED_TRACE(layout.name);
    const std::vector<int> order = Ascending(layout.x);
    TSortedCells cells;
    cells.Assign(layout.x.data(), layout.y.data(), order);
    std::vector<long double> places;
    for (std::size_t k = 0; k < order.size(); ++k) {
      const long double v = layout.x[static_cast<std::size_t>(order[k])];
      places.push_back(v);
      if (k + 1 < order.size()) {
        places.push_back((v + layout.x[static_cast<std::size_t>(order[k + 1])]) / 2);
      }
    }
    places.push_back(places.front() - 1);
    places.push_back(places.back() + 1);
    places.push_back(0);
    int singular = 0;
    for (const bool twoLines : {false, true}) {
      for (const long double place : places) {
        SCOPED_TRACE(std::to_string(static_cast<double>(place)) + (twoLines ? " lines" : ""));
        TGenotypeBlock block = cells.Block(place, twoLines);
        long double expected[4][4];
        const bool invertible = TextbookInverse(block, expected);
        ASSERT_EQ(block.Invert(), invertible);
        if (!invertible) {
          ++singular;
          continue;
        }
        for (int p = 0; p < block.Size(); ++p) {
          for (int q = 0; q < block.Size(); ++q) {
            EXPECT_TRUE(Same(block.Inverse(p, q), expected[p][q])) << p << ", " << q;
          }
        }
      }
    }
    EXPECT_GE(singular, 2);
  }
}

// The crossing of two free lines from their block's inverse, totals and solution formed in full.
TEST(SlopeSums, CrossingIsThatOfTheFullSolution) {
  for (const TLayout& layout : Layouts()) {
    SCOPED_TRACE(layout.name);
    const std::vector<int> order = Ascending(layout.x);
    // Three other genotypes: the responses shifted and tilted.
    TSlopeSums others(4);
    for (int i = 1; i <= 3; ++i) {
      std::vector<long double> y = layout.y;
      for (std::size_t j = 1; j < y.size(); ++j) y[j] += i * layout.x[j] / 4 + i;
      TSortedCells cells;
      cells.Assign(layout.x.data(), y.data(), order);
      TGenotypeBlock block = cells.Block(layout.x[static_cast<std::size_t>(order[8 + i])], false);
      ASSERT_TRUE(block.Prepare());
      others.Add(block);
    }
    TSortedCells cells;
    cells.Assign(layout.x.data(), layout.y.data(), order);
    int inside = 0;
    for (std::size_t k = 0; k + 1 < order.size(); ++k) {
      const long double lo = layout.x[static_cast<std::size_t>(order[k])];
      const long double hi = layout.x[static_cast<std::size_t>(order[k + 1])];
      TGenotypeBlock lines = cells.Block(lo, true);
      // The interval of the split, and one that holds every crossing.
      long double at = 0, anywhere = 0;
      const bool crosses = others.Crossing(lines, lo, hi, at);
      const bool crossesAnywhere = others.Crossing(lines, -1e30L, 1e30L, anywhere);
      if (!lines.Prepare()) {
        EXPECT_FALSE(crosses || crossesAnywhere);
        continue;
      }
      TSlopeSums with = others;
      with.Add(lines);
      long double beta[4];
      with.Solution(lines, beta);
      if (beta[1] == beta[3]) {
        EXPECT_FALSE(crosses || crossesAnywhere);
        continue;
      }
      const long double expected = (beta[2] - beta[0]) / (beta[1] - beta[3]);
      EXPECT_EQ(crosses, expected > lo && expected < hi) << k;
      EXPECT_TRUE(crossesAnywhere) << k;
      EXPECT_TRUE(Same(at, expected)) << k;
      EXPECT_TRUE(Same(anywhere, expected)) << k;
      inside += crossesAnywhere ? 1 : 0;
    }
    EXPECT_GT(inside, 0);
  }
}

}  // namespace
}  // namespace qv
