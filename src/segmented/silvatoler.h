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
#pragma once

#include <vector>

#include "analysis/fitstorage.h"
#include "analysis/means.h"
#include "analysis/method.h"
#include "analysis/params.h"
#include "analysis/refusal.h"
#include "analysis/report.h"
#include "analysis/results.h"
#include "segmented/engine.h"
#include "segmented/fitreport.h"

namespace qv {

// Parameters a(i), b1(i), b2(i), U0(i) at 4(i - 1) + 1 .. 4, then U(j) at 4g + j; constraints:
// the sums of the b1(i), b2(i), U0(i) and U(j).
class TSilvaTolerModel : public TMeansModel {
 public:
  using TMeansModel::TMeansModel;
  int Parameters() const override { return 4 * g_ + a_; }
  int IndexParameters() const override { return a_; }
  int Constraints() const override { return 4; }
  bool InConstraint(int c, int p) const override;
  TEngineSettings Settings() const override;
  void StartValues(long double* theta) const override;
  long double ModelValue(const long double* theta, int i, int j) const override;
  int JacobianRow(const long double* theta, int i, int j, TJacEntry* row) const override;
  int JacobianRowAbove(const long double* theta, int i, int j, TJacEntry* row) const override;
  void ModelValues(const long double* theta, int i, long double* f) const override;
  void JacobianRows(const long double* theta, int i, bool above, TJacEntry* rows,
                    unsigned char* counts) const override;
  // Junction k is U0(k); it bends genotype k's lines at the index values U(j), which move with
  // the fit. It stays between the second-smallest and the second-largest of them, as Silva's
  // junctions do on theirs: beyond them a slope would have no cell, and would be free to take
  // up the constraint on its sum.
  int Junctions() const override { return g_; }
  int JunctionParameter(int k) const override { return 4 * k; }
  int JunctionGenotype(int k) const override { return k; }
  void Breakpoints(const long double* theta, int k, std::vector<TBreakpoint>& out) const override;
  bool JunctionsInside(const long double* theta) const override;
  // With the index held at theta's, each genotype's junction in turn is tried on every value of
  // the index and at the crossing of the two lines that fit best with its cells split within
  // each interval; the other junctions share the move so that their sum stays 0, and the
  // intercepts and slopes are solved again. Until no junction moves.
  long double ProfileScan(const TGxeMeans& means, const long double* theta,
                          std::vector<long double>& best) const override;

 private:
  int Row(const long double* theta, int i, int j, bool lower, TJacEntry* row) const;
};

struct TSilvaTolerResult {
  TMeansAnova means;  // margins, sums of squares of the means and their analysis of variance
  TFitReport fit;     // the iteration, the fit's analysis of variance, tables, covariances
  // The estimates: a(i), b1(i), b2(i), the junction U0(i) and the index U(j).
  TIndexed<> a, b1, b2, U0, U;
};

// The computation of one variable: the size checks (refusing the rest of the run), the refusal
// of a non-positive gle, QME or r, the sums of squares of the means, the fit on `storage` and
// everything its report prints.
[[nodiscard]] TComputed<TSilvaTolerResult> SilvaTolerCompute(const TGxeMeans& means,
                                                             const TAnalysisParams& params,
                                                             TFitStorage& storage,
                                                             bool scanStart = false);
void AppendSilvaTolerReport(TReport& report, const TSilvaTolerResult& result,
                            char decimalSeparator);
TResultData ResultData(const TSilvaTolerResult& result);
// AllFinite(ResultData(result)), without the tables of the covariances and the fitted means.
bool FiniteResult(const TSilvaTolerResult& result);

// The run's description ("silva-toler").
TMethod SilvaTolerMethod();

}  // namespace qv
