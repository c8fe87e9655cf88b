#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <iomanip>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "stats/symeigen.h"

namespace {

using qv::EigenStatus;
using qv::SymEigenSolver;

constexpr long double kEps = LDBL_EPSILON;  // 2^-63, the extended unit roundoff times 2
const long double kHalfSqrt2 = std::sqrt(0.5L);
const long double kNaN = std::numeric_limits<long double>::quiet_NaN();

std::string Show(long double x) {
  std::ostringstream out;
  out << std::setprecision(21) << x;
  return out.str();
}

void ExpectClose(long double actual, long double expected, long double tol) {
  EXPECT_LE(std::fabs(actual - expected), tol)
      << "actual " << Show(actual) << ", expected " << Show(expected);
}

// Loads a full symmetric matrix (rows of the upper triangle are what counts) and poisons the
// lower triangle with NaN: a solver that read it would fail every check that follows.
void Load(SymEigenSolver& solver, const std::vector<std::vector<long double>>& m) {
  const int n = static_cast<int>(m.size());
  for (int i = 1; i <= n; ++i) {
    for (int j = 1; j <= n; ++j) solver.A(i, j) = (j >= i) ? m[i - 1][j - 1] : kNaN;
  }
}

struct SmallCase {
  const char* name;
  std::vector<std::vector<long double>> matrix;
  std::vector<long double> lambda;
  std::vector<std::vector<long double>> vectors;  // vectors[k] is the eigenvector of lambda[k]
  int sweeps;
};

// Cases worked by hand through the reduction and the rotations; the vector signs are the ones
// the rotations produce from the identity, which the AMMI report prints as they are.
TEST(SymEigenSolver, SmallMatricesGiveExactPairsSignsAndOrder) {
  const long double h = kHalfSqrt2;
  const long double q = std::sqrt(4 + 2 * std::sqrt(2.0L));
  const std::vector<SmallCase> cases = {
      {"order 1", {{-7.5L}}, {-7.5L}, {{1}}, 0},
      // One unshifted sweep gives T = [[2.8, 0.6], [0.6, 1.2]], whose estimate 1 is kept as the
      // shift of the second sweep, which deflates.
      {"[[2,1],[1,2]]", {{2, 1}, {1, 2}}, {3, 1}, {{h, h}, {-h, h}}, 2},
      // The unshifted sweep only swaps the rows and makes no progress; the second, shifted by
      // -1, converges.
      {"[[0,1],[1,0]]", {{0, 1}, {1, 0}}, {1, -1}, {{h, h}, {-h, h}}, 2},
      // a(1,2) = 0 keeps alpha = +1, so the reflection swaps rows 2 and 3 with a plus sign and
      // the vector of 2 (deflated at once) is +e2. The block [[1,1],[1,3]] converges on its
      // second sweep, shifted by 2 - sqrt(2); q = sqrt(4 + 2 sqrt(2)).
      {"zero a(1,2)",
       {{1, 0, 1}, {0, 2, 0}, {1, 0, 3}},
       {2 + std::sqrt(2.0L), 2, 2 - std::sqrt(2.0L)},
       {{1 / q, 0, (1 + std::sqrt(2.0L)) / q}, {0, 1, 0}, {-(1 + std::sqrt(2.0L)) / q, 0, 1 / q}},
       2},
      // Already diagonal: deflates at once. The sort is signed (-2 last) and stable: the 5 of
      // row 2 stays ahead of the 5 of row 4.
      {"diagonal",
       {{1, 0, 0, 0}, {0, 5, 0, 0}, {0, 0, -2, 0}, {0, 0, 0, 5}},
       {5, 5, 1, -2},
       {{0, 1, 0, 0}, {0, 0, 0, 1}, {1, 0, 0, 0}, {0, 0, 1, 0}},
       0},
  };
  SymEigenSolver solver(8);
  for (const SmallCase& c : cases) {
    SCOPED_TRACE(c.name);
    const int n = static_cast<int>(c.matrix.size());
    Load(solver, c.matrix);
    ASSERT_EQ(solver.Decompose(n), EigenStatus::Success);
    EXPECT_EQ(solver.Sweeps(), c.sweeps);
    for (int k = 1; k <= n; ++k) {
      ExpectClose(solver.Lambda(k), c.lambda[k - 1], 16 * kEps);
      for (int i = 1; i <= n; ++i) ExpectClose(solver.A(i, k), c.vectors[k - 1][i - 1], 16 * kEps);
    }
  }
}

// The AMMI worked example: interaction rows (2,-1,-1)/9, (2,17,-19)/9, (-4,-16,20)/9, whose
// cross-product M = Z Z' has rank 2 (the rows of Z sum to zero).
TEST(SymEigenSolver, RankDeficientCrossProductKeepsItsRoundingEigenvalue) {
  const long double z[3][3] = {{2, -1, -1}, {2, 17, -19}, {-4, -16, 20}};
  SymEigenSolver solver(3);
  long double trace = 0;
  for (int i = 0; i < 3; ++i) {
    for (int k = i; k < 3; ++k) {
      long double m = 0;
      for (int j = 0; j < 3; ++j) m += (z[i][j] / 9) * (z[k][j] / 9);
      solver.A(i + 1, k + 1) = m;
      if (i == k) trace += m;
    }
  }
  ASSERT_EQ(solver.Decompose(3), EigenStatus::Success);

  // Reference: mpmath 1.3.0, mp.eigsy(Z * Z.T) with mp.dps = 40, rounded to 22 digits. R's
  // eigen() gives 16.335616117123831 and 0.10882832732058542, off by 3e-14 in double.
  ExpectClose(solver.Lambda(1), 16.33561611712385953012L, 16 * kEps * trace);
  ExpectClose(solver.Lambda(2), 0.1088283273205849143236L, 16 * kEps * trace);
  // The third is zero only up to rounding, and nothing rounds it to zero.
  EXPECT_LT(std::fabs(solver.Lambda(3)), 16 * kEps * trace);
  EXPECT_NE(solver.Lambda(3), 0.0L);

  // First genotype vector: the report prints 0.009684, 0.702215, -0.711899. Both mpmath and R
  // return it with the opposite sign; the sign is the one this sequence of rotations produces.
  const long double first[3] = {0.009684350120727423015L, 0.7022148665013863649936L,
                                -0.7118992166221137880087L};
  for (int i = 1; i <= 3; ++i) ExpectClose(solver.A(i, 1), first[i - 1], 64 * kEps);
  // The null vector of M is the constant one, here with positive sign.
  for (int i = 1; i <= 3; ++i) ExpectClose(solver.A(i, 3), std::sqrt(1.0L / 3), 64 * kEps);
}

TEST(SymEigenSolver, EigenvaluesAgreeWithR) {
  SymEigenSolver solver(4);
  Load(solver, {{4, 1, -2, 2}, {1, 2, 0, 1}, {-2, 0, 3, -2}, {2, 1, -2, -1}});
  ASSERT_EQ(solver.Decompose(4), EigenStatus::Success);
  // fromR: R 4.2.2, print(eigen(matrix(c(4,1,-2,2, 1,2,0,1, -2,0,3,-2, 2,1,-2,-1), 4, 4))$values,
  // digits = 17), LAPACK in double precision; its last value is off by 2.7e-14, so the
  // tolerance is 5e-14 (the norm of the matrix is about 7). exact: mpmath 1.3.0, mp.eigsy with
  // mp.dps = 40, rounded to 25 digits; tolerance 16 extended epsilons times the norm.
  const struct {
    long double fromR, exact;
  } ref[4] = {{6.8446211072349659L, 6.844621107234965788123477L},
              {2.2685314064312445L, 2.268531406431242036389063L},
              {1.0843644637732206L, 1.084364463773216988746114L},
              {-2.1975169774393981L, -2.197516977439424813258654L}};
  for (int k = 1; k <= 4; ++k) {
    ExpectClose(solver.Lambda(k), ref[k - 1].fromR, 5e-14L);
    ExpectClose(solver.Lambda(k), ref[k - 1].exact, 16 * kEps * 7);
  }
}

// A(V) - V Lambda and V'V - I for random symmetric matrices. The orthogonality of V is limited
// only by extended-precision rounding. The residual is limited by the deflation tolerance
// delta = max(2.5e-14 ||T||, 1e-11): each of the at most n - 1 off-diagonal elements dropped
// when an eigenvalue deflates is below delta, so ||A V - V Lambda||_F <= sqrt(2 n) delta, with
// ||T|| (largest absolute row sum of T) at most sqrt(3) ||A||_F.
TEST(SymEigenSolver, RandomMatricesAreDecomposedToTheirTolerances) {
  SymEigenSolver solver;  // order 600 first, then smaller ones in the same storage
  for (const int n : {600, 50, 3}) {
    SCOPED_TRACE("order " + std::to_string(n));
    std::mt19937_64 random(20240601 + n);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    std::vector<long double> a(static_cast<std::size_t>(n) * n);
    auto at = [&](int i, int j) -> long double& {
      return a[static_cast<std::size_t>(i - 1) * n + (j - 1)];
    };
    long double normSq = 0;
    for (int i = 1; i <= n; ++i) {
      for (int j = i; j <= n; ++j) {
        at(i, j) = at(j, i) = solver.A(i, j) = uniform(random);
        normSq += (i == j ? 1 : 2) * at(i, j) * at(i, j);
      }
    }
    const long double normA = std::sqrt(normSq);

    ASSERT_EQ(solver.Decompose(n), EigenStatus::Success);
    // Shifted QR needs two or three sweeps per eigenvalue; a shift rule that failed to settle
    // would fall back on unshifted sweeps and need hundreds.
    EXPECT_LE(solver.Sweeps(), 5 * n);
    for (int k = 1; k < n; ++k) EXPECT_GE(solver.Lambda(k), solver.Lambda(k + 1));

    // Columns of V copied out contiguously, so that the O(n^3) checks stream through memory.
    std::vector<std::vector<long double>> col(n + 1, std::vector<long double>(n + 1));
    for (int i = 1; i <= n; ++i) {
      for (int k = 1; k <= n; ++k) col[k][i] = solver.A(i, k);
    }
    long double residualSq = 0;
    long double orthoMax = 0;
    std::vector<long double> av(static_cast<std::size_t>(n) + 1);
    for (int k = 1; k <= n; ++k) {
      for (int i = 1; i <= n; ++i) av[i] = 0;
      for (int j = 1; j <= n; ++j) {
        for (int i = 1; i <= n; ++i) av[i] += at(j, i) * col[k][j];  // A symmetric
      }
      for (int i = 1; i <= n; ++i) {
        const long double r = av[i] - col[k][i] * solver.Lambda(k);
        residualSq += r * r;
      }
      for (int l = k; l <= n; ++l) {
        long double dot = 0;
        for (int i = 1; i <= n; ++i) dot += col[k][i] * col[l][i];
        orthoMax = std::max(orthoMax, std::fabs(dot - (k == l ? 1 : 0)));
      }
    }
    const long double delta = std::max(2.5e-14L * std::sqrt(3.0L) * normA, 1e-11L);
    EXPECT_LE(std::sqrt(residualSq), std::sqrt(2.0L * n) * delta + 300 * kEps * normA);
    EXPECT_LE(orthoMax, 300 * kEps) << "orthogonality " << Show(orthoMax / kEps) << " eps";
  }
}

// DecomposeLeading makes the same eigenvalues bit for bit, and the leading eigenvectors up to
// the rounding of applying the same transformations in the other order (signs included), also
// when a step of the reduction has nothing to reflect (the block matrix) and when the rotation
// log outgrows its limit and the iteration is run again accumulating.
TEST(SymEigenSolver, LeadingVectorsAreTheFullDecompositionsColumns) {
  struct Case {
    const char* name;
    int n, vectors;
    std::size_t rotationLimit;  // 0: the default
  };
  const std::vector<Case> cases = {
      {"order 600, 4 vectors", 600, 4, 0}, {"order 50, all vectors", 50, 50, 0},
      {"order 50, none", 50, 0, 0},        {"order 2", 2, 1, 0},
      {"block matrix", 7, 3, 0},           {"log limit of 10 rotations", 40, 4, 10}};
  SymEigenSolver full, leading;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::mt19937_64 random(77 + c.n);
    std::uniform_real_distribution<double> uniform(-1.0, 1.0);
    for (int i = 1; i <= c.n; ++i) {
      for (int j = i; j <= c.n; ++j) {
        // The block matrix couples the first three rows among themselves only: the reduction
        // of row 1 has nothing to reflect after row 1's own block.
        const bool zero = std::string(c.name) == "block matrix" && i <= 3 && j > 3;
        full.A(i, j) = leading.A(i, j) = zero ? 0.0L : uniform(random);
      }
    }
    leading.LimitRotationLog(c.rotationLimit);
    ASSERT_EQ(full.Decompose(c.n), EigenStatus::Success);
    ASSERT_EQ(leading.DecomposeLeading(c.n, c.vectors), EigenStatus::Success);
    EXPECT_EQ(leading.Sweeps(), full.Sweeps());
    for (int k = 1; k <= c.n; ++k) EXPECT_EQ(leading.Lambda(k), full.Lambda(k)) << k;
    long double worst = 0;
    for (int k = 1; k <= c.vectors; ++k) {
      for (int i = 1; i <= c.n; ++i) {
        worst = std::max(worst, std::fabs(leading.A(i, k) - full.A(i, k)));
      }
    }
    EXPECT_LE(worst, 64 * std::sqrt(static_cast<long double>(c.n)) * kEps)
        << Show(worst / kEps) << " eps";
  }
  EXPECT_EQ(leading.DecomposeLeading(3, 4), EigenStatus::InvalidInput);
  EXPECT_EQ(leading.DecomposeLeading(3, -1), EigenStatus::InvalidInput);
}

bool SameBits(long double x, long double y) {
  return std::memcmp(&x, &y, 10) == 0;  // the 80 bits of the value, not the padding
}

// The reduction's two storages of the trailing matrix give the same transformations bit for
// bit: eigenvalues, sweeps and printed vectors, signs included. The cases include ties and
// exact zeros (steps with nothing to reflect), negative zeros, and values a pair of doubles
// cannot hold (tiny and huge ones), which must leave the fast storage for the extended one
// without a trace.
TEST(SymEigenSolver, SplitStorageReducesBitForBitAsExtended) {
  struct Case {
    const char* name;
    int n;
    long double (*entry)(int i, int j, long double uniform);
  };
  const std::vector<Case> cases = {
      {"order 600", 600, [](int, int, long double u) { return u; }},
      {"small integers, many ties and zeros", 60,
       [](int, int, long double u) { return std::round(3 * u); }},
      {"zero rows", 40,
       [](int i, int j, long double u) { return (i % 7 == 0 && j != i) ? 0.0L : u; }},
      {"rank 2 cross product", 30,
       [](int i, int j, long double) {
         return std::sin(i * 1.0L) * std::sin(j * 1.0L) + (i % 3) * (j % 3) / 7.0L;
       }},
      {"negative zeros", 20,
       [](int i, int j, long double u) { return (i + j) % 5 == 0 ? -0.0L : u; }},
      {"a block below the doubles' range", 20,
       [](int i, int j, long double u) { return j <= 10  ? u
                                                : i > 10 ? u * 1e-2000L
                                                         : 0.0L; }},
      {"above the doubles' range", 20,
       [](int i, int j, long double u) { return i == 2 && j == 5 ? 1e400L : u; }},
      {"near the doubles' largest", 20, [](int, int, long double u) { return u * 1e307L; }},
  };
  SymEigenSolver split, extended;
  extended.UseExtendedStorage(true);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (const bool all : {false, true}) {
      if (all && c.n > 100) continue;
      const int vectors = all ? c.n : 4;
      std::mt19937_64 random(901 + c.n);
      std::uniform_real_distribution<double> uniform(-1.0, 1.0);
      for (int i = 1; i <= c.n; ++i) {
        for (int j = i; j <= c.n; ++j) {
          split.A(i, j) = extended.A(i, j) = c.entry(i, j, uniform(random));
        }
      }
      ASSERT_EQ(split.DecomposeLeading(c.n, vectors), EigenStatus::Success);
      ASSERT_EQ(extended.DecomposeLeading(c.n, vectors), EigenStatus::Success);
      EXPECT_EQ(split.Sweeps(), extended.Sweeps());
      int differing = 0;
      for (int k = 1; k <= c.n; ++k) {
        differing += !SameBits(split.Lambda(k), extended.Lambda(k));
        for (int i = 1; k <= vectors && i <= c.n; ++i) {
          differing += !SameBits(split.A(i, k), extended.A(i, k));
        }
      }
      EXPECT_EQ(differing, 0) << (all ? "all vectors" : "4 vectors");
    }
  }
}

TEST(SymEigenSolver, NullMatrixIsLeftUntouched) {
  struct Case {
    const char* name;
    std::vector<std::vector<long double>> matrix;
    EigenStatus status;
  };
  const std::vector<Case> cases = {
      {"zero", {{0, 0}, {0, 0}}, EigenStatus::NullMatrix},
      {"below 1e-10", {{9.9e-11L, -9.9e-11L}, {-9.9e-11L, 0}}, EigenStatus::NullMatrix},
      {"only the ignored lower triangle is large", {{0, 0}, {1, 0}}, EigenStatus::NullMatrix},
      {"one entry at 1e-10", {{0, 1e-10L}, {1e-10L, 0}}, EigenStatus::Success},
  };
  SymEigenSolver solver(2);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (int i = 1; i <= 2; ++i) {
      for (int j = 1; j <= 2; ++j) solver.A(i, j) = c.matrix[i - 1][j - 1];
    }
    ASSERT_EQ(solver.Decompose(2), c.status);
    if (c.status != EigenStatus::NullMatrix) continue;
    for (int i = 1; i <= 2; ++i) {
      for (int j = 1; j <= 2; ++j) EXPECT_EQ(solver.A(i, j), c.matrix[i - 1][j - 1]);
    }
  }
}

TEST(SymEigenSolver, RefusesWhatItCannotIterate) {
  const long double inf = std::numeric_limits<long double>::infinity();
  struct Case {
    const char* name;
    int n;
    long double a12;
    int maxSweeps;
  };
  const std::vector<Case> cases = {
      {"order 0", 0, 1, 10},
      {"order above capacity", 5, 1, 10},
      {"NaN", 2, kNaN, 10},
      {"infinity", 2, -inf, 10},
      {"beyond 1e2000", 2, 1e2001L, 10},
      {"negative sweep limit", 2, 1, -1},
  };
  SymEigenSolver solver(4);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    solver.A(1, 1) = 2;
    solver.A(1, 2) = c.a12;
    solver.A(2, 2) = 2;
    EXPECT_EQ(solver.Decompose(c.n, c.maxSweeps), EigenStatus::InvalidInput);
    EXPECT_EQ(solver.A(1, 1), 2.0L);
  }
}

TEST(SymEigenSolver, SweepLimitReportsNoConvergence) {
  SymEigenSolver solver(2);
  Load(solver, {{0, 1}, {1, 0}});
  EXPECT_EQ(solver.Decompose(2, 1), EigenStatus::NoConvergence);
  EXPECT_EQ(solver.Sweeps(), 1);
  Load(solver, {{0, 1}, {1, 0}});
  EXPECT_EQ(solver.Decompose(2, 2), EigenStatus::Success);
}

}  // namespace
