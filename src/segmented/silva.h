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
// Both forms keep each junction between the second-smallest and the second-largest index
// values, so that every genotype keeps environments on both of its lines (a junction beyond
// them would leave a slope without data, free to take up the constraint on its sum, and the
// estimates would not be unique); a junction whose best place lies beyond a bound is held on
// it. Both compare, at the start of a step and at its trial points alike, the sum of squared
// residuals they minimize; a step no length of which lowers it is abandoned, at a step length
// below 2^-12 in the segmented form and below 1e-20 in the modified one, and the sum kept is
// always that of the parameters kept. Each junction bends its genotype's lines at the index
// values between the bounds; the engine lets it land and stay there (segmented/engine.h).
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
  void ModelValues(const long double* theta, int i, long double* f) const override;
  long double AddSquaredResiduals(const long double* theta, int i, const long double* y,
                                  long double s, long double* f) const override;
  int JacobianRow(const long double* theta, int i, int j, TJacEntry* row) const override;
  int JacobianRowAbove(const long double* theta, int i, int j, TJacEntry* row) const override;
  void JacobianRows(const long double* theta, int i, bool above, TJacEntry* rows,
                    unsigned char* counts) const override;
  // Each genotype's two lines in the classic index (the engine's passes of large tables).
  bool KnownIndex(std::vector<long double>& index) const override;
  void LinePair(const long double* theta, int i, TLinePair& out) const override;
  // Junction k is X0(k); it bends genotype k's lines at the index values between the bounds.
  int Junctions() const override { return g_; }
  int JunctionParameter(int k) const override { return 4 * k; }
  int JunctionGenotype(int k) const override { return k; }
  void Breakpoints(const long double* theta, int k, std::vector<TBreakpoint>& out) const override;
  // Each genotype's junction in turn is tried on every index value between the bounds and at
  // the crossing of the two lines that fit best with the cells split within each interval, the
  // others held, until no junction moves.
  long double ProfileScan(const TGxeMeans& means, const long double* theta,
                          std::vector<long double>& best) const override;
  // On a long index two threads share each junction's places (on by default).
  void ShareScan(bool on) { shareScan_ = on; }

  // The classic index X(j) = MedAmb(j) - MediaGeral.
  long double Index(int j) const;
  // The junction bounds: the largest index value below the largest (XU) and the smallest above
  // the smallest (XL); with all values equal, that value. Both forms keep every junction
  // between them.
  long double UpperBound() const { return xu_; }
  long double LowerBound() const { return xl_; }

 private:
  int Row(const long double* theta, int i, int j, bool lower, TJacEntry* row) const;

  TSilvaVariant variant_;
  std::vector<long double> index_;   // Index(1..a), formed once
  std::vector<int> order_;           // 1..a in ascending order of the index
  std::vector<long double> sorted_;  // the index in that order
  long double xu_ = 0, xl_ = 0;
  std::vector<TBreakpoint> breakpoints_;  // the distinct index values from XL to XU
  bool shareScan_ = true;
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
                                                   TSilvaVariant variant, TFitStorage& storage,
                                                   bool scanStart = false);
void AppendSilvaReport(TReport& report, const TSilvaResult& result, char decimalSeparator);
TResultData ResultData(const TSilvaResult& result);
// AllFinite(ResultData(result)), without the tables of the covariances and the fitted means.
bool FiniteResult(const TSilvaResult& result);

// The runs' descriptions: the segmented form ("silva") and the modified one ("silva-mod").
TMethod SilvaMethod();
TMethod SilvaModMethod();

}  // namespace qv
