// Toler's bisegmented model of stability (Toler 1990; Toler and Burrows 1998): every genotype
// responds linearly to an environmental index U(j) estimated from the data, with one slope in
// the unfavourable environments (U(j) <= 0) and another in the favourable ones (U(j) > 0),
//
//   Y(i, j) = a(i) + [b1(i) Z(j) + b2(i) (1 - Z(j))] U(j) + deviation,   Z(j) = 1 if U(j) <= 0,
//
// fitted by constrained Gauss-Newton (segmented/engine.h) with the sums of the b1(i), of the
// b2(i) and of the U(j) kept at their starting values (g, g and the sum of the classic index).
#pragma once

#include <memory>
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

inline constexpr const char* kTolerTitleLine =
    "Análise de Quorvandelia de acordo com os modelos de Toler, 1990)\r\n";

// The bisegmented model for the engine, starting from the genotype means with unit slopes and the
// classic index. Parameters: a(i) at 3(i - 1) + 1, b1(i) at 3(i - 1) + 2,
// b2(i) at 3(i - 1) + 3, U(j) at 3g + j; constraints: sum of b1, sum of b2, sum of U.
class TTolerModel : public TMeansModel {
 public:
  using TMeansModel::TMeansModel;
  static int A(int i) { return 3 * (i - 1) + 1; }
  static int B1(int i) { return 3 * (i - 1) + 2; }
  static int B2(int i) { return 3 * (i - 1) + 3; }
  int U(int j) const { return 3 * g_ + j; }
  int Parameters() const override { return 3 * g_ + a_; }
  int IndexParameters() const override { return a_; }
  int Constraints() const override { return 3; }
  bool InConstraint(int c, int p) const override;
  TEngineSettings Settings() const override;
  void StartValues(long double* theta) const override;
  long double ModelValue(const long double* theta, int i, int j) const override;
  int JacobianRow(const long double* theta, int i, int j, TJacEntry* row) const override;
  void ModelValues(const long double* theta, int i, long double* f) const override;
  void JacobianRows(const long double* theta, int i, bool above, TJacEntry* rows,
                    unsigned char* counts) const override;
  // Every genotype bends where the index crosses 0, so the scan moves that point: for each place
  // of 0 between consecutive values of the index (the k lowest environments unfavourable), the
  // model with every environment held on its side is fitted by alternating least squares
  // (given the index, linear in the intercepts and slopes; given those, linear in the index,
  // whose sum is kept), and kept when the index it ends with puts the environments on those
  // sides.
  // From 40 environments on, two threads share the splits; the result is the same.
  long double ProfileScan(const TGxeMeans& means, const long double* theta,
                          std::vector<long double>& best) const override;
  // Whether the scan may share its splits between two threads (on by default; the tests
  // compare both ways).
  void ShareScan(bool on) { shareScan_ = on; }

 private:
  bool shareScan_ = true;
};

class TTolerLinearAhead;

struct TTolerResult {
  TMeansAnova means;  // margins, sums of squares of the means and their analysis of variance
  TFitReport fit;     // the iteration, the fit's analysis of variance, tables, covariances
  // The estimates: a(i), b1(i), b2(i) and the index U(j).
  TIndexed<> a, b1, b2, U;
  // The corrected total sum of squares of the means times r, which the simple linear model
  // splits too.
  long double T = 0;
  // The simple linear model's fit of these means, started beside this one (see TolerCompute);
  // null when it was not.
  std::shared_ptr<TTolerLinearAhead> linearAhead;
};

// The computation of one variable: the size checks (refusing the rest of the run), the refusal
// of a non-positive gle, QME or r, the sums of squares of the means, the fit on `storage` and
// everything its report prints. With `linearAhead`, on a table whose simple linear model has a
// bordered system of order 200 or more, that model's fit is started on a thread of its own once
// the sums of squares are known (TTolerLinearAhead), its report written there with
// `decimalSeparator`, for the command to take up afterwards.
[[nodiscard]] TComputed<TTolerResult> TolerCompute(const TGxeMeans& means,
                                                   const TAnalysisParams& params,
                                                   TFitStorage& storage, bool scanStart = false,
                                                   bool linearAhead = false,
                                                   char decimalSeparator = '.');
void AppendTolerReport(TReport& report, const TTolerResult& result, char decimalSeparator);
TResultData ResultData(const TTolerResult& result);
// AllFinite(ResultData(result)), without the tables of the covariances and the fitted means.
bool FiniteResult(const TTolerResult& result);

// The run's description (command-line name "toler").
TMethod TolerMethod();

}  // namespace qv
