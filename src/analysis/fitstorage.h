// The work storage of the nonlinear fits (segmented/engine.h), held by the session and
// allocated once, at the program's full capacity, when the session's first fit needs it (a
// session that runs only the closed-form methods never pays for it): the bordered normal matrix
// that the sweep operator inverts in place (MaxPar x MaxPar extended reals, 5.8 MB), the
// parameter, right-hand side and step vectors, and the Jacobian, which grows to the largest
// table fitted and keeps its size. Every fit of every run overwrites what it uses; a fit's
// result keeps its own copy of the figures its report prints.
#pragma once

#include <memory>
#include <vector>

#include "stats/inv_g2.h"
#include "stats/sweepcells.h"
#include "stats/sweepsolve.h"

namespace qv {

// One non-zero of a Jacobian row: the parameter's number and the derivative.
struct TJacEntry {
  int col = 0;
  long double value = 0;
};

struct TFitStorage {
  // Allocates everything at full capacity, the first time only.
  void Allocate() {
    if (sweep) return;
    sweep = std::make_unique<SweepStorage>();
    cells = std::make_unique<CellSweep>();
    theta.assign(MaxPar + 1, 0.0L);
    rhs.assign(MaxPar + 1, 0.0L);
    step.assign(MaxPar + 1, 0.0L);
    thetaPrev.assign(MaxPar + 1, 0.0);
  }

  std::unique_ptr<SweepStorage> sweep;  // WorkMat: the bordered matrix, then its inverse
  std::unique_ptr<CellSweep> cells;     // the same inversion cell by cell, with its work space
  // The normal equations with the environmental index's block eliminated, and their solver:
  // allocated by the first fit whose loop passes solve that way (a table with many
  // environments), and kept.
  std::unique_ptr<SweepStorage> reduced;
  std::unique_ptr<SweepSolver> solver;
  std::vector<long double> theta, rhs, step;
  std::vector<double> thetaPrev;
  // The Jacobian by rows, only the non-zeros: row obs holds jacCount[obs] entries from
  // jac[obs * (entries per row)].
  std::vector<TJacEntry> jac;
  std::vector<unsigned char> jacCount;
};

}  // namespace qv
