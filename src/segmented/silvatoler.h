// The Silva and Toler model: Toler's (1990) bisegmented model, in which the environmental index
// U(j) is estimated from the data, with Silva's (1998) junction per genotype: genotype i
// changes slope at its own point U0(i) of the index,
//
//   Y(i, j) = a(i) + [b1(i) Z + b2(i) (1 - Z)] (U(j) - U0(i)) + deviation,
//   Z = 1 if U(j) - U0(i) <= 0, else 0,
//
// fitted by constrained Gauss-Newton (segmented/engine.h) with the sums of the b1(i), of the
// b2(i), of the U0(i) and of the U(j) kept at their starting values (g, g, 0 and the sum of
// the classic index), with the step control, convergence test and final pass of Toler's model.
//
// Menu command "Si&lva e Toler"; command-line name "silva-toler". The run does not show the
// report window at its end.
#pragma once

#include <memory>

#include "analysis/host.h"
#include "analysis/method.h"
#include "analysis/run.h"
#include "analysis/session.h"
#include "segmented/engine.h"

namespace qv {

// Parameters a(i), b1(i), b2(i), U0(i) at 4(i - 1) + 1 .. 4, then U(j) at 4g + j; constraints:
// the sums of the b1(i), b2(i), U0(i) and U(j).
class TSilvaTolerModel : public TMeansModel {
 public:
  using TMeansModel::TMeansModel;
  int Parameters() const override { return 4 * g_ + a_; }
  int Constraints() const override { return 4; }
  bool InConstraint(int c, int p) const override;
  TEngineSettings Settings() const override;
  void StartValues(long double* theta) const override;
  long double ModelValue(const long double* theta, int i, int j) const override;
  int JacobianRow(const long double* theta, int i, int j, TJacEntry* row) const override;
};

// What the run keeps from one variable to the next: the fitting storage, and T (the corrected
// total sum of squares of the means times r) of the last variable reported.
struct TSilvaTolerState {
  TFitEngine fit;
  long double T = 0;
  char decimalSeparator = '.';
};

// The computation step for one variable: the size checks (a failure shows its warning and
// abandons the run), the refusal of a non-positive gle, QME or r, the sums of squares of the
// means, the fit and its report.
TStepResult SilvaTolerCompute(TGxeMeans& means, const TAnalysisParams& params, TReport& report,
                              TSilvaTolerState& state);
// The same with storage of its own.
TStepResult SilvaTolerCompute(TGxeMeans& means, const TAnalysisParams& params, TReport& report);

// The run's description; the computation step shares `state` (one is made when none is given).
TMethod SilvaTolerMethod(std::shared_ptr<TSilvaTolerState> state = nullptr);

// The menu command (command line: "silva-toler"): the run between the busy and the default
// cursor. T of the last variable is not used: no model follows this one.
TRunOutcome SilvaTolerRun(TSession& session, THost& host);

}  // namespace qv
