// Toler's simple linear model (Toler 1990): the one-slope counterpart of the bisegmented model,
//
//   Y(i, j) = a(i) + b(i) U(j) + deviation,
//
// with the environmental index U(j) estimated jointly with the slopes, the sum of the b(i) kept
// at g and the sum of the U(j) at its starting value. With the index fixed at the classic one it
// would be Finlay and Wilkinson's (1963) regression; estimating it makes the model nonlinear (a
// product of two unknowns), hence the Gauss-Newton fit.
//
// It is not an analysis of its own: the Toler command fits it after the bisegmented run, to the
// means of the last variable that run analysed, and appends its report to that run's report.
#pragma once

#include "analysis/host.h"
#include "analysis/means.h"
#include "analysis/method.h"
#include "analysis/params.h"
#include "analysis/report.h"
#include "analysis/session.h"
#include "segmented/engine.h"

namespace qv {

// Parameters: a(i) at 2(i - 1) + 1, b(i) at 2(i - 1) + 2, U(j) at 2g + j; constraints: sum of b,
// sum of U.
class TTolerLinearModel : public TMeansModel {
 public:
  using TMeansModel::TMeansModel;
  int Parameters() const override { return 2 * g_ + a_; }
  int Constraints() const override { return 2; }
  bool InConstraint(int c, int p) const override;
  TEngineSettings Settings() const override;
  void StartValues(long double* theta) const override;
  long double ModelValue(const long double* theta, int i, int j) const override;
  int JacobianRow(const long double* theta, int i, int j, TJacEntry* row) const override;
};

// Fits the model to the means left by the bisegmented run (its margins included) and appends
// its report; T is that run's corrected total sum of squares of the means times r. The caller
// has checked the sizes and gle, QME and r. A failure of the probability functions refuses the
// model with the cause, and nothing is appended.
TStepResult TolerSimpleCompute(const TGxeMeans& means, const TAnalysisParams& params,
                               TReport& report, TFitEngine& fit, long double T,
                               char decimalSeparator = '.');

// The continuation of the Toler command: the fit and its report, then the end of the run (the
// table closed, the dialog's controls visible) and the report window. True when the report was
// appended.
bool TolerSimpleRun(TSession& session, THost& host, TFitEngine& fit, long double T);

}  // namespace qv
