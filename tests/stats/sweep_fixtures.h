// Matrices for the tests of the sweep and of the solvers that take its pivots: the bordered
// normal matrices of the segmented fits (Toler's, Silva's) and a dense indefinite matrix with
// repeated rows.
#pragma once

#include <cstddef>
#include <random>
#include <utility>
#include <vector>

#include "stats/inv_g2.h"

namespace qv::testing::sweep {

using Matrix = std::vector<std::vector<long double>>;

inline void Load(SweepStorage& store, const Matrix& m) {
  const int n = static_cast<int>(m.size());
  for (int i = 1; i <= n; ++i) {
    for (int j = i; j <= n; ++j) store.WorkMat(i, j) = m[i - 1][j - 1];
  }
}

// The normal matrix J'J of a sparse Jacobian (rows of (column, value), 1-based) bordered by
// constraint groups (the columns whose sum each fixes), as the segmented fits build it.
inline Matrix Bordered(int parameters,
                       const std::vector<std::vector<std::pair<int, long double>>>& rows,
                       const std::vector<std::vector<int>>& groups) {
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
  return m;
}

// Toler's bisegmented model at g genotypes and a environments: a(i), b1(i), b2(i), then the
// index U(j); the sums of b1, of b2 and of U fixed. J'J is singular (scaling the index and
// dividing the slopes leaves the model unchanged): an index is taken only after the border.
// With `zeroIndex`, one U is exactly 0, which empties cells of the filled-in matrix.
inline Matrix TolerLike(int g, int a, unsigned seed, bool zeroIndex) {
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  std::vector<long double> u(static_cast<std::size_t>(a) + 1), b1(g + 1), b2(g + 1);
  for (int j = 1; j <= a; ++j) u[j] = 2 * uniform(random);
  if (zeroIndex) u[2] = 0;
  for (int i = 1; i <= g; ++i) {
    b1[i] = 1 + uniform(random) / 2;
    b2[i] = 1 + uniform(random) / 2;
  }
  std::vector<std::vector<std::pair<int, long double>>> rows;
  std::vector<std::vector<int>> groups(3);
  for (int i = 1; i <= g; ++i) {
    groups[0].push_back(3 * i - 1);
    groups[1].push_back(3 * i);
    for (int j = 1; j <= a; ++j) {
      const bool low = u[j] <= 0;
      rows.push_back({{3 * i - 2, 1.0L},
                      {3 * i - 1, low ? u[j] : 0.0L},
                      {3 * i, low ? 0.0L : u[j]},
                      {3 * g + j, low ? b1[i] : b2[i]}});
    }
  }
  for (int j = 1; j <= a; ++j) groups[2].push_back(3 * g + j);
  return Bordered(3 * g + a, rows, groups);
}

// Silva's segmented form on a known index: a(i), b1(i), b2(i), X0(i) per genotype, the sums of
// the b1 and of the b2 fixed. The first `held` genotypes have equal slopes: an empty junction
// column, aliased.
inline Matrix SilvaLike(int g, int a, unsigned seed, int held) {
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  std::vector<std::vector<std::pair<int, long double>>> rows;
  std::vector<std::vector<int>> groups(2);
  for (int i = 1; i <= g; ++i) {
    const long double x0 = uniform(random) / 2, b1 = 1 + uniform(random) / 2;
    const long double b2 = i <= held ? b1 : 1 + uniform(random) / 2;
    groups[0].push_back(4 * i - 2);
    groups[1].push_back(4 * i - 1);
    for (int j = 1; j <= a; ++j) {
      const long double x = -1 + 2.0L * (j - 1) / (a - 1);
      const bool lower = x <= x0;
      rows.push_back({{4 * i - 3, 1.0L},
                      {4 * i - 2, lower ? x : x0},
                      {4 * i - 1, lower ? 0.0L : x - x0},
                      {4 * i, lower ? 0.0L : b1 - b2}});
    }
  }
  return Bordered(4 * g, rows, groups);
}

// A dense indefinite matrix with exact zeros scattered in it and two rows that repeat others
// (aliased), so that zero cells are divided and negated by pivots (and so become -0).
inline Matrix DenseWithZeros(int n, unsigned seed) {
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  Matrix m(n, std::vector<long double>(n));
  for (int i = 0; i < n; ++i) {
    for (int j = i; j < n; ++j) {
      m[i][j] = m[j][i] = random() % 4 == 0 ? 0.0L : uniform(random);
    }
    m[i][i] = (i % 3 ? 1 : -1) * (n / 2 + uniform(random));
  }
  for (const auto& [copy, of] : {std::pair{n / 2, 1}, std::pair{n - 1, n / 3}}) {
    for (int j = 0; j < n; ++j) m[copy][j] = m[j][copy] = m[of][j];
    m[copy][copy] = m[of][of];
  }
  return m;
}

inline Matrix Scaled(Matrix m, long double factor) {
  for (auto& row : m) {
    for (long double& x : row) x *= factor;
  }
  return m;
}

}  // namespace qv::testing::sweep
