// The Gauss-Newton engine on its own: a problem with a certified answer, and the pass counting
// and step-length control on models small enough to follow by hand.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "segmented/engine.h"

namespace qv {
namespace {

// NIST StRD nonlinear regression, data set Misra1a (Misra 1978, dental research in
// monomolecular adsorption; "lower difficulty"): y = b1 (1 - exp(-b2 x)), 14 observations,
// started from NIST's first starting point b1 = 500, b2 = 1e-4. Data and certified values from
// https://www.itl.nist.gov/div898/strd/nls/data/misra1a.shtml. Fitted here as one genotype in
// 14 environments, with no constraint.
const double kMisraY[] = {10.07, 14.73, 17.94, 23.93, 29.61, 35.18, 40.02,
                          44.82, 50.76, 55.05, 61.01, 66.40, 75.47, 81.78};
const double kMisraX[] = {77.6,  114.9, 141.1, 190.8, 239.9, 289.0, 332.8,
                          378.4, 434.8, 477.3, 536.8, 593.1, 689.1, 760.0};

class Misra1a : public TSegmentedModel {
 public:
  int Genotypes() const override { return 1; }
  int Environments() const override { return 14; }
  int Parameters() const override { return 2; }
  int Constraints() const override { return 0; }
  bool InConstraint(int, int) const override { return false; }
  TEngineSettings Settings() const override {
    TEngineSettings s;
    // The residuals of this model need not sum to zero: compare plain sums of squares.
    s.startSum = s.trialSum = TSumKind::Plain;
    s.tolerance = 1e-15L;
    return s;
  }
  void StartValues(long double* theta) const override {
    theta[1] = 500;
    theta[2] = 1e-4L;
  }
  long double ModelValue(const long double* t, int, int j) const override {
    return t[1] * (1 - std::exp(-t[2] * kMisraX[j - 1]));
  }
  int JacobianRow(const long double* t, int, int j, TJacEntry* row) const override {
    const long double x = kMisraX[j - 1], ex = std::exp(-t[2] * x);
    row[0] = {1, 1 - ex};
    row[1] = {2, t[1] * x * ex};
    return 2;
  }
};

TEST(FitEngine, MatchesNistCertifiedValuesForMisra1a) {
  TGxeMeans means;
  for (int j = 1; j <= 14; ++j) means.Y(1, j) = kMisraY[j - 1];
  TFitEngine fit;
  const Misra1a model;
  const TFitResult result = fit.FitModel(model, means);
  ASSERT_EQ(result.status, TFitStatus::Done);
  EXPECT_TRUE(result.converged);

  // Certified: b1 = 2.3894212918E+02 (sd 2.7070075241E+00), b2 = 5.5015643181E-04
  // (sd 7.2668688436E-06), residual sum of squares 1.2455138894E-01 with 12 df.
  EXPECT_NEAR(fit.Theta(1) / 2.3894212918E+02L, 1, 1e-10);
  EXPECT_NEAR(fit.Theta(2) / 5.5015643181E-04L, 1, 1e-10);
  EXPECT_NEAR(fit.SSE() / 1.2455138894E-01L, 1, 1e-9);
  // The certified standard deviations are sqrt(RSS / 12 (J'J)^-1): the inference with QME the
  // residual mean square of the fit and one replicate.
  const double qme = static_cast<double>(fit.SSE() / 12);
  EXPECT_NEAR(std::sqrt(ParameterVariance(fit, 1, qme, 1)) / 2.7070075241E+00L, 1, 1e-8);
  EXPECT_NEAR(std::sqrt(ParameterVariance(fit, 2, qme, 1)) / 7.2668688436E-06L, 1, 1e-8);
}

// f = theta with a Jacobian deliberately twice the true derivative: every Gauss-Newton step
// covers half the distance to the data value 1, so from theta = 0 the residual is 2^-k after k
// passes and the plain sum of squares 4^-k; the sum drops by 3/4, 3/16, 3/64, ... (exact in
// binary). Started at theta = 1 the residual is 0 and no trial can lower the sum.
class HalfSteps : public TSegmentedModel {
 public:
  explicit HalfSteps(TEngineSettings s, long double start = 0, long double slope = 2)
      : s_(s), start_(start), slope_(slope) {
    s_.startSum = s_.trialSum = TSumKind::Plain;
  }
  int Genotypes() const override { return 1; }
  int Environments() const override { return 1; }
  int Parameters() const override { return 1; }
  int Constraints() const override { return 0; }
  bool InConstraint(int, int) const override { return false; }
  TEngineSettings Settings() const override { return s_; }
  void StartValues(long double* theta) const override { theta[1] = start_; }
  long double ModelValue(const long double* t, int, int) const override { return t[1]; }
  int JacobianRow(const long double*, int, int, TJacEntry* row) const override {
    row[0] = {1, slope_};
    return 1;
  }

 private:
  TEngineSettings s_;
  long double start_, slope_;
};

TEST(FitEngine, PrintedPassCountIsLoopPassesPlusOnePlusFinalPass) {
  struct Case {
    long double tolerance;
    bool finalPass;
    int loopPasses;
    int printed;
  };
  const Case cases[] = {
      // Changes 0.75, 0.1875, 0.046875: converged on the third loop pass.
      {0.1L, true, 3, 5},
      {0.1L, false, 3, 4},
      // Never converges: stopped by the pass limit.
      {-1.0L, true, 5000, 5002},
      {-1.0L, false, 5000, 5001},
  };
  TGxeMeans means;
  means.Y(1, 1) = 1;
  TFitEngine fit;
  for (const Case& c : cases) {
    TEngineSettings s;
    s.tolerance = c.tolerance;
    s.finalPass = c.finalPass;
    const TFitResult result = fit.FitModel(HalfSteps(s), means);
    EXPECT_EQ(result.loopPasses, c.loopPasses) << c.printed;
    // A fit stopped by the pass limit says so.
    EXPECT_EQ(result.converged, c.loopPasses < kMaxFitPasses) << c.printed;
    EXPECT_EQ(fit.Pass(), c.printed);
    if (c.loopPasses == 3) {
      // Three loop passes and the final one halve the residual four (or three) times.
      EXPECT_EQ(fit.Theta(1), c.finalPass ? 1 - 1.0L / 16 : 1 - 1.0L / 8);
    }
  }
}

TEST(FitEngine, StepLengthControlShrinksToItsFloor) {
  // Started at the minimum, every trial is rejected: lambda runs 1, 0.9, ..., 0.6, then halves
  // from a hair below 0.5 until it falls past the floor. The first pass then changes the sum by
  // nothing and the loop ends: printed count 3 with the final pass.
  struct Case {
    long double floor;
    bool inclusive;
    int trials;  // sums evaluated besides the one at the start of the step
  };
  const Case cases[] = {
      {1e-13L, false, 48},  // Toler's bisegmented model and Silva and Toler
      {1e-9L, true, 34},    // Toler's simple linear model
      {1e-20L, false, 71},  // Silva's modified model
  };
  TGxeMeans means;
  means.Y(1, 1) = 1;
  TFitEngine fit;
  for (const Case& c : cases) {
    TEngineSettings s;
    s.lambdaFloor = c.floor;
    s.floorInclusive = c.inclusive;
    const TFitResult result = fit.FitModel(HalfSteps(s, 1), means);
    EXPECT_TRUE(result.converged);
    EXPECT_EQ(fit.LastTrials(), c.trials) << static_cast<double>(c.floor);
    EXPECT_EQ(fit.Pass(), 3);
    EXPECT_EQ(fit.Theta(1), 1);
  }
}

// With the Jacobian of the wrong sign (HalfSteps with slope -1) every Gauss-Newton step points
// away from the data value 1 (from theta = 0 the step is -1), no step length lowers the sum of
// squares, and the minimum is never approached. The change of the sum alone is then met at once
// (the step shortened to nothing changes nothing) and the fit would call itself converged. With
// the decrement test the full step still predicts a decrease of 1, so the fit is not converged;
// it has stalled: the step is abandoned, the parameters and the sum kept are those of the start.
TEST(FitEngine, ConvergenceAsksTheFullStepToBeNegligible) {
  TGxeMeans means;
  means.Y(1, 1) = 1;
  TFitEngine fit;

  // The change of the sum alone, with the shortened step taken unevaluated: it moves uphill by
  // about 1e-13, and the sum changes by twice that, within a tolerance of 1e-12.
  TEngineSettings blind;
  blind.tolerance = 1e-12L;
  const TFitResult fooled = fit.FitModel(HalfSteps(blind, 0, -1), means);
  EXPECT_TRUE(fooled.converged);
  EXPECT_FALSE(fooled.stalled);
  EXPECT_LT(fit.Theta(1), 0);

  TEngineSettings s;
  s.startSum = s.trialSum = TSumKind::Plain;
  s.floorAction = TFloorAction::Restore;
  s.decrementTolerance = kDecrementTolerance;
  const TFitResult result = fit.FitModel(HalfSteps(s, 0, -1), means);
  EXPECT_FALSE(result.converged);
  EXPECT_TRUE(result.stalled);
  EXPECT_EQ(result.loopPasses, 1);
  EXPECT_TRUE(fit.LastRestored());
  EXPECT_EQ(fit.Decrement(), 1);
  EXPECT_EQ(fit.Theta(1), 0);
  EXPECT_EQ(fit.SSE(), 1);
}

}  // namespace
}  // namespace qv
