// Silva's segmented regression with estimated junction (Silva 1998, Pesquisa Agropecuária
// Brasileira 33(7): 1013-1029): each genotype responds to the classic environmental index
// X(j) = mean of environment j - grand mean by two straight lines that meet at a junction X0(i)
// estimated for the genotype,
//
//   segmented:  Y(i, j) = a(i) + b1(i) X(j)                          if X(j) <= X0(i)
//                         a(i) + b1(i) X0(i) + b2(i) (X(j) - X0(i))   if X(j) >  X0(i)
//   modified:   Y(i, j) = a(i) + b1(i) (X(j) - X0(i))                if X(j) <= X0(i)
//                         a(i) + b2(i) (X(j) - X0(i))                if X(j) >  X0(i)
//
// (in the modified form a(i) is the response at the junction), fitted by constrained
// Gauss-Newton (segmented/engine.h) with the sums of the b1(i) and of the b2(i) held at g.
//
// The two forms control their steps differently. The segmented form keeps each junction inside
// the second-smallest and second-largest index values, compares corrected sums of squares, and
// abandons a step that does not lower the residual sum of squares before the step length falls
// below 2^-12. The modified form compares the plain sum of squared residuals of the trial
// points, and takes the whole step when no trial lowers the sum before the step length falls
// below 1e-20.
//
// Both take Gauss-Newton increments, the solution of J'J s = J'(y - f) under the constraints.
// Solving the normal equations of y ~ J theta for a new parameter vector gives the same point
// only for a response that is linear, or homogeneous of degree one, in its parameters; the
// segmented response is not (b1 X0 and b2 X0 are products of two parameters:
// J theta = f + (1 - Z)(b1 - b2) X0), and the new vector would carry each junction's increment
// in place of the junction itself, so that the fit could not settle at the least-squares
// junctions.
//
#pragma once

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

inline constexpr const char* kSilvaTitleLine =
    "Análise de Quorvandelia de acordo com os modelos de Silva, J.G.C., 1998)\r\n";

enum class TSilvaVariant { Segmented, Modified };

// The model for the engine. Parameters a(i), b1(i), b2(i), X0(i) at 4(i - 1) + 1 .. 4; the
// constraints fix the sum of the b1(i) and the sum of the b2(i) at g. The margins must be those
// of the table being fitted: the index and the junction bounds are taken from them when the
// model is made.
class TSilvaModel : public TMeansModel {
 public:
  TSilvaModel(const TMargins& margins, int g, int a, TSilvaVariant variant);
  int Parameters() const override { return 4 * g_; }
  int Constraints() const override { return 2; }
  bool InConstraint(int c, int p) const override;
  long double ConstraintValue(int c) const override;
  TEngineSettings Settings() const override;
  void StartValues(long double* theta) const override;
  long double ModelValue(const long double* theta, int i, int j) const override;
  int JacobianRow(const long double* theta, int i, int j, TJacEntry* row) const override;
  // Segmented form: a junction at or beyond the second-largest index value is set to 0.95
  // times that value, one at or below the second-smallest to 0.95 times that one.
  void AdjustTrialPoint(long double* theta) const override;

  // The classic index X(j) = MedAmb(j) - MediaGeral.
  long double Index(int j) const;
  // The junction bounds: the largest index value below the largest (XU) and the smallest above
  // the smallest (XL); with all values equal, that value.
  long double UpperBound() const { return xu_; }
  long double LowerBound() const { return xl_; }

 private:
  TSilvaVariant variant_;
  long double xu_ = 0, xl_ = 0;
};

struct TSilvaResult {
  TSilvaVariant variant = TSilvaVariant::Segmented;
  TMeansAnova means;  // margins, sums of squares of the means (64-bit) and their analysis
  TFitReport fit;     // the iteration, the fit's analysis of variance, tables, covariances
  // The estimates: a(i), b1(i), b2(i) and the junction X0(i), on the classic index
  // means.margins.Index(j).
  TIndexed<> a, b1, b2, X0;
};

// The computation of one variable: the size checks (refusing the rest of the run), the refusal
// of g < 2 or of a non-positive gle, QME or r, the sums of squares of the means, the fit on
// `storage` and everything its report prints.
[[nodiscard]] TComputed<TSilvaResult> SilvaCompute(const TGxeMeans& means,
                                                   const TAnalysisParams& params,
                                                   TSilvaVariant variant, TFitStorage& storage);
void AppendSilvaReport(TReport& report, const TSilvaResult& result, char decimalSeparator);
TResultData ResultData(const TSilvaResult& result);

// The runs' descriptions: the segmented form ("silva") and the modified one ("silva-mod").
TMethod SilvaMethod();
TMethod SilvaModMethod();

}  // namespace qv
