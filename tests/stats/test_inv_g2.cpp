#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <iomanip>
#include <iterator>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "stats/inv_g2.h"

namespace {

using qv::GInverse;
using qv::InitSweep;
using qv::MaxPar;
using qv::NextPivot;
using qv::SweepPivot;
using qv::SweepStorage;

constexpr long double kEps = LDBL_EPSILON;
using Matrix = std::vector<std::vector<long double>>;

// Marker for the lower triangle: the sweep must neither read nor write it.
long double LowerMark(int i, int j) {
  return -1000.0L - 100 * i - j;
}

void Load(SweepStorage& store, const Matrix& m) {
  const int n = static_cast<int>(m.size());
  for (int i = 1; i <= n; ++i) {
    for (int j = 1; j <= n; ++j) store.WorkMat(i, j) = (j >= i) ? m[i - 1][j - 1] : LowerMark(i, j);
  }
}

void ExpectLowerUntouched(const SweepStorage& store, int n) {
  for (int i = 2; i <= n; ++i) {
    for (int j = 1; j < i; ++j) ASSERT_EQ(store.WorkMat(i, j), LowerMark(i, j)) << i << "," << j;
  }
}

// Largest |M G - I| with G the symmetric matrix whose upper triangle is in WorkMat.
long double InverseError(const Matrix& m, const SweepStorage& store) {
  const int n = static_cast<int>(m.size());
  long double worst = 0;
  for (int i = 1; i <= n; ++i) {
    for (int j = 1; j <= n; ++j) {
      long double sum = 0;
      for (int k = 1; k <= n; ++k) {
        sum += m[i - 1][k - 1] * store.WorkMat(std::min(k, j), std::max(k, j));
      }
      worst = std::max(worst, std::fabs(sum - (i == j ? 1 : 0)));
    }
  }
  return worst;
}

// Sweeps as GInverse does, recording the pivot order.
std::vector<int> SweepRecordingOrder(SweepStorage& store, int n) {
  std::vector<int> order;
  InitSweep(store, n);
  for (int t = 1; t <= n; ++t) {
    order.push_back(NextPivot(store, n));
    SweepPivot(store, order.back(), n);
  }
  return order;
}

Matrix RandomDiagonallyDominant(int n) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  Matrix m(n, std::vector<long double>(n));
  for (int i = 0; i < n; ++i) {
    for (int j = i; j < n; ++j) m[i][j] = m[j][i] = uniform(random);
    m[i][i] = (i % 2 ? -1 : 1) * (n + 1.0L);  // indefinite, well conditioned
  }
  return m;
}

TEST(InvG2, NonsingularMatrixIsInvertedInItsUpperTriangle) {
  struct Case {
    std::string name;
    Matrix m;
    long double tol;
  };
  const std::vector<Case> cases = {
      {"indefinite order 4",
       {{4, 1, -2, 2}, {1, 2, 0, 1}, {-2, 0, 3, -2}, {2, 1, -2, -1}},
       64 * kEps},
      {"order MaxPar", RandomDiagonallyDominant(MaxPar), 64 * kEps},
  };
  auto store = std::make_unique<SweepStorage>();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int n = static_cast<int>(c.m.size());
    Load(*store, c.m);
    GInverse(*store, n);
    for (int i = 1; i <= n; ++i) {
      EXPECT_EQ(store->PivotSign[i], -1);
      EXPECT_FALSE(store->Aliased[i]);
    }
    EXPECT_LE(InverseError(c.m, *store), c.tol);
    ExpectLowerUntouched(*store, n);
  }
}

TEST(InvG2, ThresholdIsAbsoluteForSmallDiagonalsAndRelativeOtherwise) {
  const long double justAbove = std::nextafter(1e-8L, 1.0L);
  const struct {
    long double diagonal, tol;
  } cases[] = {
      {0, 1e-13L}, {1e-8L, 1e-13L},  {-1e-8L, 1e-13L}, {justAbove, 1e-13L * justAbove},
      {4, 4e-13L}, {-250, 2.5e-11L},
  };
  auto store = std::make_unique<SweepStorage>();
  const int n = static_cast<int>(std::size(cases));
  for (int i = 1; i <= n; ++i) store->WorkMat(i, i) = cases[i - 1].diagonal;
  InitSweep(*store, n);
  for (int i = 1; i <= n; ++i) {
    SCOPED_TRACE(i);
    EXPECT_LE(std::fabs(store->PivotTol[i] - cases[i - 1].tol), 2 * kEps * cases[i - 1].tol);
  }
}

// The second pivot of [[a11, a12], [a12, a22]] is a22 - a12^2 / a11 after the first sweep,
// tested against the threshold fixed from a22 before it.
TEST(InvG2, PivotBelowItsStartingThresholdIsAliased) {
  const struct {
    const char* name;
    long double a12, a22;
    bool aliased;
  } cases[] = {
      // Threshold 1e-13 * 1e12 = 0.1 from the starting diagonal. The pivot 0.05 would pass a
      // threshold taken from the current diagonal (5e-15).
      {"relative, above", 1e6L, 1e12L + 0.2L, false},
      {"relative, below", 1e6L, 1e12L + 0.05L, true},
      {"absolute, at the threshold", 0, 1e-13L, false},
      {"absolute, below", 0, 9e-14L, true},
      {"negative pivot", 0, -1e-13L, false},
  };
  auto store = std::make_unique<SweepStorage>();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Load(*store, {{1, c.a12}, {c.a12, c.a22}});
    GInverse(*store, 2);
    EXPECT_EQ(store->Aliased[2], c.aliased);
    EXPECT_EQ(store->PivotSign[2], c.aliased ? 1 : -1);
    EXPECT_EQ(store->PivotSign[1], -1);
  }
}

// Normal matrices of additive models bordered by sum-to-zero constraints: H is singular, the
// border diagonal is zero, and only the restarted scan finds an order that sweeps everything.
TEST(InvG2, BorderedMatrixIsSweptCompletely) {
  const struct {
    const char* name;
    Matrix m;
    std::vector<int> order;
  } cases[] = {
      // Intercept and two group effects, observations in groups 1, 1, 2; a1 + a2 = 0.
      {"one-way", {{3, 2, 1, 0}, {2, 2, 0, 1}, {1, 0, 1, 1}, {0, 1, 1, 0}}, {1, 2, 4, 3}},
      // Three genotype effects and three environment effects, one observation per cell;
      // U1 + U2 + U3 = 0.
      {"two-way",
       {{3, 0, 0, 1, 1, 1, 0},
        {0, 3, 0, 1, 1, 1, 0},
        {0, 0, 3, 1, 1, 1, 0},
        {1, 1, 1, 3, 0, 0, 1},
        {1, 1, 1, 0, 3, 0, 1},
        {1, 1, 1, 0, 0, 3, 1},
        {0, 0, 0, 1, 1, 1, 0}},
       {1, 2, 3, 4, 5, 7, 6}},
  };
  auto store = std::make_unique<SweepStorage>();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const int n = static_cast<int>(c.m.size());
    Load(*store, c.m);
    EXPECT_EQ(SweepRecordingOrder(*store, n), c.order);
    for (int i = 1; i <= n; ++i) {
      EXPECT_EQ(store->PivotSign[i], -1);
      EXPECT_FALSE(store->Aliased[i]);
    }
    EXPECT_LE(InverseError(c.m, *store), 64 * kEps);
    ExpectLowerUntouched(*store, n);
  }
}

// H = [[1, 1], [1, 1]] is singular along (1, -1); the constraint fixes only the second
// parameter. The bordered matrix is nonsingular, but after the first sweep the pair (2, 3) is
// [[0, 1], [1, 0]], which no single pivot can take.
TEST(InvG2, ConstraintOnTheSingularIndexAloneLeavesBothAliased) {
  auto store = std::make_unique<SweepStorage>();
  Load(*store, {{1, 1, 0}, {1, 1, 1}, {0, 1, 0}});
  // Nothing sweepable after pivot 1: both are aliased and the last of them is returned, again
  // on every later call.
  EXPECT_EQ(SweepRecordingOrder(*store, 3), (std::vector<int>{1, 3, 3}));
  EXPECT_EQ(store->PivotSign[1], -1);
  for (const int i : {2, 3}) {
    EXPECT_TRUE(store->Aliased[i]);
    EXPECT_EQ(store->PivotSign[i], 1);
  }
  EXPECT_FALSE(store->Aliased[1]);
  // Swept once on pivot 1 and left so, the aliased cells included (exact: pivot 1 is 1).
  const Matrix expected = {{1, 1, 0}, {0, 0, 1}, {0, 0, 0}};
  for (int i = 1; i <= 3; ++i) {
    for (int j = i; j <= 3; ++j) EXPECT_EQ(store->WorkMat(i, j), expected[i - 1][j - 1]);
  }
  ExpectLowerUntouched(*store, 3);
}

// Column 1 is the sum of columns 2 and 3. Every value is a binary fraction, so the result is
// exact: the swept block is the inverse of [[2, 1], [1, 1]], and the aliased column holds the
// coefficients of column 3 on columns 1 and 2 (c3 = c1 - c2) over a zero diagonal.
TEST(InvG2, SingularMatrixWithoutBorderAliasesTheDependentIndex) {
  auto store = std::make_unique<SweepStorage>();
  Load(*store, {{2, 1, 1}, {1, 1, 0}, {1, 0, 1}});
  GInverse(*store, 3);
  EXPECT_EQ(store->PivotSign[1], -1);
  EXPECT_EQ(store->PivotSign[2], -1);
  EXPECT_EQ(store->PivotSign[3], 1);
  EXPECT_FALSE(store->Aliased[1]);
  EXPECT_FALSE(store->Aliased[2]);
  EXPECT_TRUE(store->Aliased[3]);
  const Matrix expected = {{1, -1, 1}, {0, 2, -1}, {0, 0, 0}};
  for (int i = 1; i <= 3; ++i) {
    for (int j = i; j <= 3; ++j) EXPECT_EQ(store->WorkMat(i, j), expected[i - 1][j - 1]);
  }
  ExpectLowerUntouched(*store, 3);
}

// A caller sweeping by hand gets the same protection as GInverse: the pivot is refused, marked
// aliased, and nothing changes, not even by a second attempt.
TEST(InvG2, SweepPivotLeavesAPivotBelowItsThresholdAlone) {
  auto store = std::make_unique<SweepStorage>();
  const Matrix m = {{5e-14L, 1}, {1, 2}};
  Load(*store, m);
  InitSweep(*store, 2);
  for (int attempt = 1; attempt <= 2; ++attempt) {
    SweepPivot(*store, 1, 2);
    EXPECT_TRUE(store->Aliased[1]);
    EXPECT_EQ(store->PivotSign[1], 1);
    for (int i = 1; i <= 2; ++i) {
      for (int j = i; j <= 2; ++j) EXPECT_EQ(store->WorkMat(i, j), m[i - 1][j - 1]);
    }
  }
}

TEST(InvG2, OutOfRangeCallsThrow) {
  auto store = std::make_unique<SweepStorage>();
  EXPECT_THROW(InitSweep(*store, 0), std::out_of_range);
  EXPECT_THROW(InitSweep(*store, MaxPar + 1), std::out_of_range);
  store->WorkMat(1, 1) = 2;
  InitSweep(*store, 1);
  EXPECT_THROW(SweepPivot(*store, 2, 1), std::out_of_range);
  SweepPivot(*store, 1, 1);
  EXPECT_THROW(NextPivot(*store, 1), std::logic_error);
}

}  // namespace

namespace {

// The sweep of Goodnight (1979) over every cell of the upper triangle, the lower one kept as
// the antisymmetry between swept and unswept indices makes it: the oracle for the sweep that
// visits only the cells a pivot can change.
void FullSweep(Matrix& a, std::vector<int>& sign, int k) {
  const int n = static_cast<int>(a.size());
  const long double d = a[k][k];
  for (int i = 0; i < n; ++i) {
    for (int j = i; j < n; ++j) {
      if (i != k && j != k) a[i][j] = a[i][j] - (a[i][k] / d) * a[k][j];
    }
  }
  for (int i = 0; i < n; ++i) {
    if (i == k) continue;
    if (i < k) a[i][k] = -a[i][k] / d;
    if (i > k) a[k][i] = a[k][i] / d;
  }
  a[k][k] = 1.0L / d;
  sign[k] = -sign[k];
  for (int i = 0; i < n; ++i) {
    for (int j = 0; j < i; ++j) a[i][j] = static_cast<long double>(sign[i] * sign[j]) * a[j][i];
  }
}

}  // namespace

namespace qv {
namespace {

// The normal matrix of a segmented fit is mostly zeros: per-genotype blocks, parameters shared
// by every genotype (an estimated index) and constraint rows. Sweeping only where a pivot's row
// is non-zero must leave exactly what the sweep of every cell leaves (the same operations on
// the cells that change; a zero may differ in sign only), including with a genotype whose block
// is singular.
TEST(InvG2, SparseNormalMatricesGiveTheFullSweepBitForBit) {
  std::mt19937_64 random(11);
  std::uniform_real_distribution<double> uniform(0.5, 2.0);
  for (const int shared : {0, 5}) {
    SCOPED_TRACE(shared);
    const int genotypes = 9, block = 4, params = genotypes * block + shared, constraints = 2;
    const int n = params + constraints;
    Matrix m(n, std::vector<long double>(n, 0.0L));
    for (int gen = 0; gen < genotypes; ++gen) {
      const int first = gen * block;
      for (int u = 0; u < block; ++u) {
        for (int v = u; v < block; ++v) {
          m[first + u][first + v] = m[first + v][first + u] =
              u == v ? 8 + uniform(random) : uniform(random);
        }
        for (int s = 0; s < shared; ++s) {
          m[first + u][genotypes * block + s] = m[genotypes * block + s][first + u] =
              uniform(random);
        }
      }
      m[first][params] = m[params][first] = 1;                  // sum of the first parameters
      m[first + 1][params + 1] = m[params + 1][first + 1] = 1;  // sum of the second
    }
    for (int s = 0; s < shared; ++s) m[genotypes * block + s][genotypes * block + s] = 20;
    // Genotype 4's last parameter duplicates its third: aliased.
    for (int j = 0; j < n; ++j) m[3 * block + 3][j] = m[j][3 * block + 3] = m[3 * block + 2][j];
    m[3 * block + 3][3 * block + 3] = m[3 * block + 2][3 * block + 2];

    auto store = std::make_unique<SweepStorage>();
    Load(*store, m);
    const std::vector<int> order = SweepRecordingOrder(*store, n);
    ASSERT_TRUE(store->Aliased[3 * block + 4]);
    Matrix full = m;
    std::vector<int> sign(n, 1);
    for (const int k : order) {
      if (!store->Aliased[k]) FullSweep(full, sign, k - 1);
    }
    for (int i = 1; i <= n; ++i) {
      for (int j = i; j <= n; ++j) {
        ASSERT_EQ(store->WorkMat(i, j), full[i - 1][j - 1]) << i << "," << j;
      }
    }
    ExpectLowerUntouched(*store, n);
  }
}

}  // namespace
}  // namespace qv
