// Toler's simple linear model (Toler 1990): the one-slope counterpart of the bisegmented model,
//
//   Y(i, j) = a(i) + b(i) U(j) + deviation,
//
// with the environmental index U(j) estimated jointly with the slopes, the sum of the b(i) kept
// at g and the sum of the U(j) at its starting value. With the index fixed at the classic one it
// would be Finlay and Wilkinson's (1963) regression; estimating it makes the model nonlinear (a
// product of two unknowns), hence the Gauss-Newton fit.
//
// It is fitted to the means of a variable whose bisegmented fit has been reported, and split
// against the same corrected total T; its report follows that variable's block.
#pragma once

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <thread>

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

// Parameters: a(i) at 2(i - 1) + 1, b(i) at 2(i - 1) + 2, U(j) at 2g + j; constraints: sum of b,
// sum of U.
class TTolerLinearModel : public TMeansModel {
 public:
  using TMeansModel::TMeansModel;
  int Parameters() const override { return 2 * g_ + a_; }
  int IndexParameters() const override { return a_; }
  int Constraints() const override { return 2; }
  bool InConstraint(int c, int p) const override;
  TEngineSettings Settings() const override;
  void StartValues(long double* theta) const override;
  long double ModelValue(const long double* theta, int i, int j) const override;
  int JacobianRow(const long double* theta, int i, int j, TJacEntry* row) const override;
  void ModelValues(const long double* theta, int i, long double* f) const override;
  void JacobianRows(const long double* theta, int i, bool above, TJacEntry* rows,
                    unsigned char* counts) const override;
};

struct TTolerLinearResult {
  TMargins margins;  // of the bisegmented fit's table
  TFitReport fit;    // the iteration, the fit's analysis of variance, tables, covariances
  // The estimates: a(i), b(i) and the index U(j).
  TIndexed<> a, b, U;
};

// Fits the model to `means`, whose margins and corrected total sum of squares of the means
// times r (T) the bisegmented fit has formed. The caller has checked the sizes and gle, QME
// and r. A failure of the probability functions refuses the model with its cause.
[[nodiscard]] TComputed<TTolerLinearResult> TolerLinearCompute(const TGxeMeans& means,
                                                               const TMargins& margins,
                                                               long double T,
                                                               const TAnalysisParams& params,
                                                               TFitStorage& storage);

// The simple linear model fitted on a thread of its own while the bisegmented fit of the same
// variable runs: the Toler command goes on with it once the run ends, and on a large table its
// fit takes a third of the command. The thread works on copies of its inputs and on fitting
// storage of its own, so that it computes exactly what TolerLinearCompute computes on them.
class TTolerLinearAhead {
 public:
  // The fit of these inputs started on a thread, which also writes its report with this decimal
  // separator; nullptr when no thread can be had.
  static std::shared_ptr<TTolerLinearAhead> Start(const TGxeMeans& means, const TMargins& margins,
                                                  long double T, const TAnalysisParams& params,
                                                  char decimalSeparator);
  TTolerLinearAhead(const TTolerLinearAhead&) = delete;
  TTolerLinearAhead& operator=(const TTolerLinearAhead&) = delete;
  ~TTolerLinearAhead();
  // TolerLinearCompute of these inputs: the thread's result, waited for, when it started on the
  // same ones; else computed here on `storage`.
  [[nodiscard]] TComputed<TTolerLinearResult> Take(const TGxeMeans& means, const TMargins& margins,
                                                   long double T, const TAnalysisParams& params,
                                                   TFitStorage& storage);
  // After Take: AppendTolerLinearReport of the result it gave, as the thread wrote it, when it
  // gave the thread's and the separator is the same; else null.
  const std::string* Report(char decimalSeparator) const;

 private:
  TTolerLinearAhead(const TGxeMeans& means, const TMargins& margins, long double T,
                    const TAnalysisParams& params, char decimalSeparator);
  bool SameInputs(const TGxeMeans& means, const TMargins& margins, long double T,
                  const TAnalysisParams& params) const;

  TGxeMeans means_;
  TMargins margins_;
  long double T_;
  TAnalysisParams params_;
  std::unique_ptr<TFitStorage> storage_;
  std::thread thread_;
  char separator_;
  std::optional<TComputed<TTolerLinearResult>> result_;
  TReport report_;
  bool taken_ = false;  // Take gave the thread's result
  std::exception_ptr failure_;
};
// Three blank lines, then the model's report.
void AppendTolerLinearReport(TReport& report, const TTolerLinearResult& result,
                             char decimalSeparator);
TResultData ResultData(const TTolerLinearResult& result);
// AllFinite(ResultData(result)), without the tables of the covariances and the fitted means.
bool FiniteResult(const TTolerLinearResult& result);

}  // namespace qv
