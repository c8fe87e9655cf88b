// Steps solved with the estimated index's block eliminated (TFitEngine::SolveByIndexBlock)
// against steps from the full inverse: whole fits of the models with an estimated index, at
// orders where the loop passes take the reduced solve, must reach the same estimates up to
// rounding; and where the reduced solve would alias a parameter that is not simply absent,
// every step must come from the full inverse, so that the fit is the full one to the last bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "analysis/means.h"
#include "segmented/engine.h"
#include "segmented/silvatoler.h"
#include "segmented/toler.h"
#include "segmented/tolerlinear.h"
#include "segmented_test_util.h"

namespace qv {
namespace {

using testing::BrokenLines;
using testing::Near;

TEST(IndexBlock, FitsAgreeWithTheFullInverseUpToRounding) {
  enum class TKind { Toler, TolerLinear, SilvaToler };
  const struct {
    const char* name;
    TKind kind;
    int g, a;    // bordered order 3g + a + 3, 2g + a + 2, 4g + a + 4: all at least 200
    bool block;  // whether the index is an eighth of the order or more: the reduced solve
  } cases[] = {{"toler 50 x 60", TKind::Toler, 50, 60, true},
               {"toler linear 70 x 70", TKind::TolerLinear, 70, 70, true},
               {"silva-toler 30 x 90", TKind::SilvaToler, 30, 90, true},
               {"toler 65 x 10, a small index block", TKind::Toler, 65, 10, false}};
  auto block = std::make_unique<TFitEngine>();
  auto full = std::make_unique<TFitEngine>();
  full->UseIndexBlock(false);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TGxeMeans means;
    TAnalysisParams params;
    BrokenLines(means, params, c.g, c.a);
    const TMargins margins = Margins(means, c.g, c.a);
    std::unique_ptr<TSegmentedModel> model;
    switch (c.kind) {
      case TKind::Toler:
        model = std::make_unique<TTolerModel>(margins, c.g, c.a);
        break;
      case TKind::TolerLinear:
        model = std::make_unique<TTolerLinearModel>(margins, c.g, c.a);
        break;
      case TKind::SilvaToler:
        model = std::make_unique<TSilvaTolerModel>(margins, c.g, c.a);
        break;
    }
    const TFitResult b = block->FitModel(*model, means);
    const TFitResult f = full->FitModel(*model, means);
    ASSERT_EQ(b.status, TFitStatus::Done);
    // Every loop pass of the one took the reduced solve, once or more (a junction held against
    // its side solves the step again; the final pass never does); the other took none.
    if (c.block) {
      EXPECT_GE(block->IndexBlockSteps(), b.loopPasses);
    } else {
      EXPECT_EQ(block->IndexBlockSteps(), 0);
    }
    EXPECT_EQ(full->IndexBlockSteps(), 0);
    EXPECT_TRUE(b.converged);
    EXPECT_EQ(b.converged, f.converged);
    EXPECT_EQ(b.loopPasses, f.loopPasses);
    EXPECT_EQ(b.genotypesAtBound, f.genotypesAtBound);
    EXPECT_TRUE(Near(block->SSE(), full->SSE(), 1e-14L)) << block->SSE() - full->SSE();
    // Both stop where a pass changes the sum by at most 1e-13: the estimates are settled to
    // about the square root of that, far below the 8 decimals printed.
    for (int p = 1; p <= model->Parameters(); ++p) {
      EXPECT_TRUE(Near(block->Theta(p), full->Theta(p), 1e-8L))
          << p << ": " << block->Theta(p) << " " << full->Theta(p);
    }
    // The inference comes from the full inverse at (nearly) the same estimates.
    const int n = block->Order();
    for (int p = 1; p <= n; ++p) {
      EXPECT_EQ(block->Sweep().Aliased[p], full->Sweep().Aliased[p]) << p;
      for (int q = p; q <= model->Parameters(); ++q) {
        ASSERT_TRUE(Near(block->G(p, q), full->G(p, q), 1e-8L))
            << p << "," << q << ": " << block->G(p, q) << " " << full->G(p, q);
      }
    }
  }
}

// Toler's linear model with genotype 1's intercept entered twice: a(1) and d, whose columns of
// the Jacobian are equal. The normal matrix is singular in a way no zero row shows, and the
// sweep aliases d; the reduced solve would decide that on a matrix of its own, so every
// step must come from the full one.
class TTwiceModel : public TSegmentedModel {
 public:
  TTwiceModel(int g, int a) : g_(g), a_(a) {}
  int Genotypes() const override { return g_; }
  int Environments() const override { return a_; }
  int Parameters() const override { return 2 * g_ + 1 + a_; }
  int Constraints() const override { return 2; }
  int IndexParameters() const override { return a_; }
  bool InConstraint(int c, int p) const override {
    return c == 1 ? p > g_ && p <= 2 * g_ : p > 2 * g_ + 1;
  }
  TEngineSettings Settings() const override {
    TEngineSettings s;
    s.zeroAliasedSteps = true;  // d takes no step, and the fit converges
    return s;
  }
  void StartValues(long double* theta) const override {
    for (int i = 1; i <= g_; ++i) theta[i] = 50, theta[g_ + i] = 1;
    theta[2 * g_ + 1] = 0;
    for (int j = 1; j <= a_; ++j) theta[2 * g_ + 1 + j] = Index(j);
  }
  long double ModelValue(const long double* t, int i, int j) const override {
    return t[i] + (i == 1 ? t[2 * g_ + 1] : 0) + t[g_ + i] * t[2 * g_ + 1 + j];
  }
  int JacobianRow(const long double* t, int i, int j, TJacEntry* row) const override {
    int k = 0;
    row[k++] = {i, 1};
    if (i == 1) row[k++] = {2 * g_ + 1, 1};
    row[k++] = {g_ + i, t[2 * g_ + 1 + j]};
    row[k++] = {2 * g_ + 1 + j, t[g_ + i]};
    return k;
  }
  static long double Index(int j) { return 3 * std::sin(1.7L * j); }

 private:
  int g_, a_;
};

TEST(IndexBlock, AParameterAliasedOnlyByTheSweepSendsEveryStepToTheFullInverse) {
  const int g = 70, a = 60;  // order 2g + 1 + a + 2 = 203
  TGxeMeans means;
  TAnalysisParams params;
  testing::FillMeans(means, params, g, a, [](int i, int j) {
    return 50 + i % 5 + (0.8L + 0.1L * (i % 3)) * TTwiceModel::Index(j) +
           testing::Scatter(i, j) / 10;
  });
  const TTwiceModel model(g, a);
  auto block = std::make_unique<TFitEngine>();
  auto full = std::make_unique<TFitEngine>();
  full->UseIndexBlock(false);
  const TFitResult b = block->FitModel(model, means);
  const TFitResult f = full->FitModel(model, means);
  ASSERT_EQ(b.status, TFitStatus::Done);
  EXPECT_EQ(block->IndexBlockSteps(), 0);
  EXPECT_TRUE(b.converged);
  EXPECT_TRUE(block->Sweep().Aliased[2 * g + 1]);
  EXPECT_EQ(b.loopPasses, f.loopPasses);
  EXPECT_EQ(block->SSE(), full->SSE());
  for (int p = 1; p <= model.Parameters(); ++p) {
    const long double x = block->Theta(p), y = full->Theta(p);
    EXPECT_EQ(std::memcmp(&x, &y, 10), 0) << p;
  }
}

}  // namespace
}  // namespace qv
