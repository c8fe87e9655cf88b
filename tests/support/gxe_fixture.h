// A small table of genotype means shared by the tests of the joint analysis of variance and of
// the regression methods: 4 genotypes x 5 environments, r = 3, gle = 30, QME = 0.8.
//
// Environment means 10.675, 12.825, 9.125, 15.5, 12.85 (grand mean 12.195): the indices are
// -1.52, 0.63, -3.07, 3.305, 0.655, three of them non-negative, so the bisegmented model has
// a regressor T with two free values and 2 degrees of freedom left for the deviations.
#pragma once

#include <memory>

#include "analysis/means.h"
#include "analysis/params.h"

namespace qv::testing {

inline constexpr int kFixtureG = 4, kFixtureA = 5;
inline constexpr long double kFixtureY[kFixtureG][kFixtureA] = {
    {10.0L, 12.5L, 9.0L, 15.0L, 13.5L},
    {11.2L, 13.0L, 8.4L, 16.8L, 12.1L},
    {9.5L, 11.0L, 10.2L, 12.0L, 11.8L},
    {12.0L, 14.8L, 8.9L, 18.2L, 14.0L},
};

inline TAnalysisParams FixtureParams() {
  TAnalysisParams p;
  p.g = kFixtureG;
  p.a = kFixtureA;
  p.r = 3;
  p.gle = 30;
  p.QME = 0.8;
  return p;
}

// TGxeMeans holds the full 600 x 600 capacity: kept on the heap.
inline std::unique_ptr<TGxeMeans> FixtureMeans() {
  auto m = std::make_unique<TGxeMeans>();
  for (int i = 1; i <= kFixtureG; ++i)
    for (int j = 1; j <= kFixtureA; ++j) m->Y(i, j) = kFixtureY[i - 1][j - 1];
  return m;
}

}  // namespace qv::testing
