// The AMMI model, additive main effects and multiplicative interaction (Gollob 1968; Mandel
// 1971; Gauch 1988; Crossa, Gauch and Zobel 1990). The additive model of genotype and
// environment main effects is fitted to the g x a table of means; what it leaves over, the
// genotype-by-environment interaction Z, is decomposed into principal components (the
// singular value decomposition of Z, obtained here from the eigen decomposition of Z Z').
//
// The report of each variable shows the genotype and environment eigenvectors and biplot
// scores of the first components, the eigenvalues (interaction sums of squares, on the scale of
// the means) with their shares, the analysis of variance with one row per component and
// Gollob's (1968) degrees of freedom, and the means predicted by the additive model plus the
// first components.
#pragma once

#include <cstddef>
#include <vector>

#include "analysis/jointanova.h"
#include "analysis/means.h"
#include "analysis/method.h"
#include "analysis/params.h"
#include "analysis/refusal.h"
#include "analysis/report.h"
#include "analysis/results.h"

namespace qv {

// Values of the first components, one row per genotype (or environment), one column per
// component; entry (row, k) with both counted from 1.
class TComponentMatrix {
 public:
  TComponentMatrix() = default;
  TComponentMatrix(int rows, int components)
      : rows_(rows),
        components_(components),
        v_(static_cast<std::size_t>(rows) * static_cast<std::size_t>(components), 0.0L) {}
  int Rows() const { return rows_; }
  int Components() const { return components_; }
  long double operator()(int row, int k) const { return v_[Slot(row, k)]; }
  long double& operator()(int row, int k) { return v_[Slot(row, k)]; }

 private:
  std::size_t Slot(int row, int k) const {
    return static_cast<std::size_t>(row - 1) * static_cast<std::size_t>(components_) +
           static_cast<std::size_t>(k - 1);
  }
  int rows_ = 0, components_ = 0;
  std::vector<long double> v_;
};

// One line of the eigenvalue table.
struct TEigenvalueRow {
  long double lambda = 0;      // the interaction sum of squares of the component (means scale)
  long double percent = 0;     // its share of the interaction, in percent
  long double cumulative = 0;  // the share of the components up to this one
};

struct TAmmiResult {
  TJointAnova anova;  // margins, grand mean (the mean of the environment means), sums of squares
  int shown = 0;      // components in the vector, score and prediction tables: min(g, a) - 1, <= 4
  // The interaction is null (purely additive data): no component exists.
  bool nullInteraction = false;
  // First component that explains no interaction (g + 1 when every one does); its vectors and
  // scores, and those of the components after it, are zero.
  int firstWithoutAxis = 1;
  TComponentMatrix genotypeVectors;         // u(i, k)
  TComponentMatrix environmentScores;       // lambda(k)^(1/4) v(j, k), from the interaction effects
  TComponentMatrix environmentVectors;      // v(j, k)
  TComponentMatrix genotypeScores;          // lambda(k)^(1/4) u(i, k), from the interaction effects
  std::vector<TEigenvalueRow> eigenvalues;  // components 1 .. min(g, a) - 1
  TAnovaTable summary;                      // the joint analysis with one row per tested component
  // sqrt(lambda(c)) of components c = 1..shown, as the predictions use them (g x a times each).
  std::vector<long double> componentRoots;

  // The mean of genotype i in environment j predicted by the additive model plus the first k
  // components, as the report prints it: formed in 64 bits, component by component, from the
  // additive prediction (AdditivePrediction, then AddComponent for c = 1..k).
  double Predicted(int i, int j, int k) const;
  double AdditivePrediction(int i, int j) const;
  double AddComponent(double predicted, int i, int j, int c) const;
};

[[nodiscard]] TComputed<TAmmiResult> AmmiCompute(const TGxeMeans& means,
                                                 const TAnalysisParams& params);
void AppendAmmiReport(TReport& report, const TAmmiResult& result);
TResultData ResultData(const TAmmiResult& result);
// AllFinite(ResultData(result)), without the table of predictions' g x a rows.
bool FiniteResult(const TAmmiResult& result);

TMethod AmmiMethod();

}  // namespace qv
