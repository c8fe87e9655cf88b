#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
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
using qv::SweepPattern;
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

// --- the sweeps on a pattern -----------------------------------------------------------------

// The normal matrix J'J of a sparse Jacobian (each row lists its columns and values) bordered
// by constraint groups (the columns whose sum each fixes), as the segmented fits build it.
struct Sparse {
  int parameters = 0;
  std::vector<std::vector<std::pair<int, long double>>> rows;
  std::vector<std::vector<int>> groups;

  Matrix Bordered() const {
    const int n = parameters + static_cast<int>(groups.size());
    Matrix m(n, std::vector<long double>(n, 0.0L));
    for (const auto& row : rows) {
      for (const auto& [p, x] : row) {
        for (const auto& [q, y] : row) {
          if (p <= q) m[p - 1][q - 1] += x * y;
        }
      }
    }
    for (std::size_t c = 0; c < groups.size(); ++c) {
      for (const int p : groups[c]) m[p - 1][parameters + c] = 1;
    }
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < i; ++j) m[i][j] = m[j][i];
    }
    return m;
  }
  // The cells the rows and the groups reach.
  void Fill(SweepPattern& pattern) const {
    pattern.Clear(parameters + static_cast<int>(groups.size()));
    for (const auto& row : rows) {
      for (const auto& [p, x] : row) {
        for (const auto& [q, y] : row) pattern.Add(p, q);
      }
    }
    for (std::size_t c = 0; c < groups.size(); ++c) {
      for (const int p : groups[c]) pattern.Add(p, parameters + static_cast<int>(c) + 1);
    }
  }
};

// Toler's bisegmented model at g genotypes and a environments: a(i), b1(i), b2(i), then the
// index U(j); the sums of b1, of b2 and of U fixed. Scaling the index and dividing the slopes
// leaves the model unchanged, so J'J is singular and the last index is taken after the border.
Sparse TolerLike(int g, int a, unsigned seed) {
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  Sparse s;
  s.parameters = 3 * g + a;
  std::vector<long double> u(static_cast<std::size_t>(a) + 1), b1(g + 1), b2(g + 1);
  for (int j = 1; j <= a; ++j) u[j] = 2 * uniform(random);
  for (int i = 1; i <= g; ++i) {
    b1[i] = 1 + uniform(random) / 2;
    b2[i] = 1 + uniform(random) / 2;
  }
  s.groups.resize(3);
  for (int i = 1; i <= g; ++i) {
    s.groups[0].push_back(3 * i - 1);
    s.groups[1].push_back(3 * i);
    for (int j = 1; j <= a; ++j) {
      const bool low = u[j] <= 0;
      s.rows.push_back({{3 * i - 2, 1.0L},
                        {3 * i - 1, low ? u[j] : 0.0L},
                        {3 * i, low ? 0.0L : u[j]},
                        {3 * g + j, low ? b1[i] : b2[i]}});
    }
  }
  for (int j = 1; j <= a; ++j) s.groups[2].push_back(3 * g + j);
  return s;
}

// Silva's segmented form: a(i), b1(i), b2(i), X0(i) per genotype on a known index, the sums of
// the b1 and of the b2 fixed. A genotype whose slopes are equal has an empty junction column
// (aliased); `held` genotypes too.
Sparse SilvaLike(int g, int a, unsigned seed, int held) {
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  Sparse s;
  s.parameters = 4 * g;
  s.groups.resize(2);
  for (int i = 1; i <= g; ++i) {
    const long double x0 = uniform(random) / 2, b1 = 1 + uniform(random) / 2;
    const long double b2 = i <= held ? b1 : 1 + uniform(random) / 2;
    s.groups[0].push_back(4 * i - 2);
    s.groups[1].push_back(4 * i - 1);
    for (int j = 1; j <= a; ++j) {
      const long double x = -1 + 2.0L * (j - 1) / (a - 1);
      const bool lower = x <= x0;
      s.rows.push_back({{4 * i - 3, 1.0L},
                        {4 * i - 2, lower ? x : x0},
                        {4 * i - 1, lower ? 0.0L : x - x0},
                        {4 * i, lower ? 0.0L : b1 - b2}});
    }
  }
  return s;
}

// The same value, and a non-zero to the last bit (a zero may differ in sign).
bool SameElement(long double x, long double y) {
  return x == y && (x == 0 || std::memcmp(&x, &y, 10) == 0);
}

// Sweeps as GInverse(store, pattern, n) does, recording the pivot order.
std::vector<int> SweepOnPatternRecordingOrder(SweepStorage& store, SweepPattern& pattern, int n) {
  std::vector<int> order;
  InitSweep(store, n);
  for (int t = 1; t <= n; ++t) {
    order.push_back(NextPivot(store, n));
    SweepPivot(store, pattern, order.back(), n);
  }
  return order;
}

// The sweeps on the pattern take the full sweep's pivots in its order, alias the same indices
// and leave the same inverse: blocks with a border (Silva's form, some junctions aliased), a
// dense environment block that makes the fill-in complete (Toler's model, whose last index is
// swept after the border), and a pattern larger than the non-zeros.
TEST(InvG2, SweepOnThePatternLeavesTheFullSweepsInverse) {
  struct Case {
    const char* name;
    Sparse s;
    int extraCells;
    int aliased;      // indices left aliased
    bool outOfOrder;  // some index taken after a larger one
  };
  const Case cases[] = {
      {"Silva, 12 x 9, two junctions aliased", SilvaLike(12, 9, 3, 2), 0, 2, true},
      {"Silva, 40 x 30", SilvaLike(40, 30, 5, 0), 0, 0, false},
      {"Toler, 9 x 7", TolerLike(9, 7, 11), 0, 0, true},
      {"Toler, 30 x 25, cells beyond the non-zeros", TolerLike(30, 25, 13), 40, 0, true},
  };
  auto full = std::make_unique<SweepStorage>();
  auto sparse = std::make_unique<SweepStorage>();
  auto pattern = std::make_unique<SweepPattern>();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Matrix m = c.s.Bordered();
    const int n = static_cast<int>(m.size());
    Load(*full, m);
    Load(*sparse, m);
    c.s.Fill(*pattern);
    std::mt19937_64 random(17);
    for (int e = 0; e < c.extraCells; ++e) {
      pattern->Add(1 + static_cast<int>(random() % n), 1 + static_cast<int>(random() % n));
    }
    const std::vector<int> order = SweepRecordingOrder(*full, n);
    EXPECT_EQ(SweepOnPatternRecordingOrder(*sparse, *pattern, n), order);
    int aliased = 0, late = 0;
    for (int i = 1; i <= n; ++i) {
      EXPECT_EQ(sparse->Aliased[i], full->Aliased[i]) << i;
      EXPECT_EQ(sparse->PivotSign[i], full->PivotSign[i]) << i;
      aliased += full->Aliased[i];
      for (int j = i; j <= n; ++j) {
        ASSERT_TRUE(SameElement(sparse->WorkMat(i, j), full->WorkMat(i, j)))
            << i << "," << j << ": " << sparse->WorkMat(i, j) << " " << full->WorkMat(i, j);
        if (sparse->WorkMat(i, j) != 0) {
          EXPECT_TRUE(pattern->Has(i, j)) << i << "," << j;
        }
      }
    }
    for (std::size_t t = 1; t < order.size(); ++t) late += order[t] < order[t - 1];
    // The cases reach what they are about.
    EXPECT_EQ(aliased, c.aliased);
    EXPECT_EQ(late > 0, c.outOfOrder);
    ExpectLowerUntouched(*sparse, n);
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
