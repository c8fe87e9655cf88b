// Toler's bisegmented model and the simple linear model that follows it: the report of a small
// table checked against an independent fit, data the model reproduces exactly, the size checks
// and the refusals.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "analysis/layout.h"
#include "segmented/fitreport.h"
#include "segmented/toler.h"
#include "segmented/tolerlinear.h"
#include "segmented_test_util.h"
#include "support/golden.h"
#include "support/steps.h"
#include "support/text.h"

namespace qv {
namespace {

using testing::FillMeans;
using testing::LinesStartingWith;

// The session's fitting storage, once for the test program.
TFitStorage& Storage() {
  static TFitStorage storage;
  return storage;
}

const double kFixture[4][6] = {{6.1, 8.3, 9.0, 11.2, 12.9, 14.8},
                               {7.5, 8.4, 9.3, 10.1, 12.6, 14.0},
                               {3.9, 6.8, 7.9, 10.6, 11.4, 12.1},
                               {5.2, 7.9, 8.4, 10.9, 13.8, 15.6}};

// The fixture's means, with r = 3, gle = 36 and QME = 0.35.
void FillFixture(TGxeMeans& m, TAnalysisParams& p) {
  p.r = 3;
  p.gle = 36;
  p.QME = 0.35;
  FillMeans(m, p, 4, 6, [](int i, int j) { return kFixture[i - 1][j - 1]; });
}

// The whole block of a 4 x 6 table (r = 3, gle = 36, QME = 0.35) and the simple model's report
// after it. Checked against R 4 (nls, Gauss-Newton with central-difference derivatives, on the
// model reparametrized so that the constraints hold: b1(4) = 4 - b1(1) - b1(2) - b1(3), and so
// on; covariances Z (Z'J'JZ)^-1 Z' QME / r for the full parameters):
//   bisegmented  a = 10.3122356, 9.5295263, 9.9768921, 9.9646793; b1 = 0.98342971, 0.46312567,
//                1.45423463, 1.09920999; b2 = 1.03905311, 1.07894579, 0.52045257, 1.36154853;
//                U = -4.24245725, -2.07459958, -1.35213389, 0.72835756, 2.74935503, 4.19147813;
//                RSS 0.548817742162106; se(a(1)) 0.27159856, se(b1(2)) 0.10561156,
//                se(U(6)) 0.15303192, se(b2(1) - b1(1)) 0.18233546; cov(a(1), b1(1)) 0.021899;
//                Pr>|t| for b1(i) = 1 (pt): 0.87295, 0.00001, 0.00013, 0.34518;
//                Modelo corr. F 133.8678 on (14, 36); Desvio F 0.522684 on (9, 36)
//   simple       b = 1.01208226, 0.77905597, 0.97522114, 1.23364064; U(1) = -4.28426422;
//                RSS 4.00782808550048; se(b(1)) 0.04192104, se(U(1)) 0.15479520;
//                Desvio F 2.642524 on (13, 36), Pr 0.010656 (pf)
//   means        aov of the 24 means times r: MS 10.834583, 119.506250, 1.837583; Pr for GxA
//                0.000023 (pf)
// The printed Pr of the deviation row of the bisegmented fit (0.848130) is Peizer and Pratt's
// approximation for F <= 1; the exact tail is 0.84831.
TEST(Toler, ReportMatchesGoldenFile) {
  TGxeMeans m;
  TAnalysisParams p;
  FillFixture(m, p);
  const TComputed<TTolerResult> bisegmented = TolerCompute(m, p, Storage());
  ASSERT_FALSE(bisegmented.Refused()) << bisegmented.Refusal().cause;
  EXPECT_TRUE(bisegmented->fit.summary.converged);
  TReport report;
  AppendTolerReport(report, *bisegmented, '.');
  const TComputed<TTolerLinearResult> linear =
      TolerLinearCompute(m, bisegmented->means.margins, bisegmented->T, p, Storage());
  ASSERT_FALSE(linear.Refused()) << linear.Refusal().cause;
  EXPECT_TRUE(linear->fit.summary.converged);
  AppendTolerLinearReport(report, *linear, '.');
  EXPECT_EQ(report.Text(), testing::Golden("toler_4x6.txt"));
}

// A run checks a fit's numbers before writing them without forming the tables of the
// covariances and of the fitted means; it must come to what the whole data say, wherever a
// number that is not finite sits.
TEST(Toler, FiniteResultSaysWhatTheWholeDataSay) {
  TGxeMeans m;
  TAnalysisParams p;
  FillFixture(m, p);
  const TComputed<TTolerResult> fit = TolerCompute(m, p, Storage());
  ASSERT_FALSE(fit.Refused());
  const long double nan = std::nanl(""), inf = HUGE_VALL;
  // Covariances QME G / r beyond the range of the reals where G > r / QME: a QME at the top of
  // the range.
  TAnalysisParams huge = p;
  huge.QME = LDBL_MAX;
  const TTolerModel model(fit->means.margins, p.g, p.a);
  TFitEngine engine;
  (void)engine.FitModel(model, m);
  const TCovarianceMatrix overflowing(engine, model.Parameters(), huge,
                                      [](int) { return std::string(12, ' '); });
  const struct {
    const char* what;
    std::function<void(TTolerResult&)> change;
    bool finite;
  } cases[] = {
      {"as computed", [](TTolerResult&) {}, true},
      {"a fitted mean", [&](TTolerResult& r) { r.fit.fitted.fitted[5] = nan; }, false},
      {"an observed mean", [&](TTolerResult& r) { r.fit.fitted.observed[0] = -inf; }, false},
      {"a covariance", [&](TTolerResult& r) { r.fit.covariance = overflowing; }, false},
      {"an estimate", [&](TTolerResult& r) { r.fit.parameters[1].rows[2].estimate = inf; }, false},
      {"the deviation's sum", [&](TTolerResult& r) { r.fit.anova.deviation.ss = nan; }, false},
  };
  for (const auto& c : cases) {
    TTolerResult r = *fit;
    c.change(r);
    EXPECT_EQ(AllFinite(ResultData(r)), c.finite) << c.what;
    EXPECT_EQ(FiniteResult(r), c.finite) << c.what;
  }
  const TComputed<TTolerLinearResult> linear =
      TolerLinearCompute(m, fit->means.margins, fit->T, p, Storage());
  ASSERT_FALSE(linear.Refused());
  EXPECT_TRUE(FiniteResult(*linear));
  TTolerLinearResult changed = *linear;
  changed.fit.fitted.fitted.back() = nan;
  EXPECT_FALSE(FiniteResult(changed));
}

// From 200 parameters on, two threads write the covariance matrix, each half of its rows: every
// row is there once, in order, six figures to a line and a blank line after it.
TEST(Toler, CovarianceMatrixOfALargeFitRowByRow) {
  const int g = 60, a = 90;  // 3g + a = 270 parameters
  TGxeMeans means;
  TAnalysisParams params;
  testing::BrokenLinesToFit(means, params, g, a);
  const TComputed<TTolerResult> fit = TolerCompute(means, params, Storage());
  ASSERT_FALSE(fit.Refused());
  const TCovarianceMatrix& matrix = fit->fit.covariance;
  ASSERT_EQ(matrix.Parameters(), 270);
  std::string rows = std::string(78, '_') + "\r\n";
  for (int row = 1; row <= 270; ++row) {
    for (int col = 1; col <= 270; ++col) {
      rows += Fixed(matrix(row, col), 12, 5);
      if (col % 6 == 0 || col == 270) rows += "\r\n";
    }
    rows += "\r\n";
  }
  TReport report;
  AppendCovarianceMatrix(report, matrix);
  EXPECT_NE(report.Text().find(rows), std::string::npos);
}

TEST(Toler, ConstraintSumsKeepTheirStartingValues) {
  TGxeMeans m;
  TAnalysisParams p;
  FillFixture(m, p);
  const TComputed<TTolerResult> fit = TolerCompute(m, p, Storage());
  ASSERT_FALSE(fit.Refused());
  long double b1 = 0, b2 = 0, u = 0, u0 = 0;
  for (int i = 1; i <= 4; ++i) {
    b1 += fit->b1(i);
    b2 += fit->b2(i);
  }
  for (int j = 1; j <= 6; ++j) {
    u += fit->U(j);
    u0 += fit->means.margins.Index(j);
  }
  EXPECT_NEAR(b1, 4, 1e-14);
  EXPECT_NEAR(b2, 4, 1e-14);
  EXPECT_NEAR(u, u0, 1e-13);
  // The estimates moved far from the start: the slopes are no longer 1.
  EXPECT_NEAR(fit->b1(2), 0.46312567, 1e-8);
}

// Data generated by the model itself, with b1(i) != b2(i) except for genotype 3.
TEST(Toler, RecoversParametersOfDataTheModelFitsExactly) {
  const long double a[] = {10, 12, 11, 9}, b1[] = {0.6L, 1.2L, 1.0L, 1.2L},
                    b2[] = {1.4L, 0.8L, 1.0L, 0.8L}, u[] = {-3, -2, -0.5L, 0.5L, 1.5L, 3.5L};
  TGxeMeans m;
  TAnalysisParams p;
  p.r = 2;
  p.gle = 20;
  p.QME = 0.8;
  FillMeans(m, p, 4, 6, [&](int i, int j) {
    const long double uj = u[j - 1];
    return a[i - 1] + (uj <= 0 ? b1[i - 1] : b2[i - 1]) * uj;
  });
  const TComputed<TTolerResult> fit = TolerCompute(m, p, Storage());
  ASSERT_FALSE(fit.Refused());
  for (int i = 1; i <= 4; ++i) {
    EXPECT_NEAR(fit->a(i), a[i - 1], 1e-8);
    EXPECT_NEAR(fit->b1(i), b1[i - 1], 1e-8);
    EXPECT_NEAR(fit->b2(i), b2[i - 1], 1e-8);
  }
  for (int j = 1; j <= 6; ++j) EXPECT_NEAR(fit->U(j), u[j - 1], 1e-8);
  EXPECT_TRUE(fit->fit.summary.converged);

  // T is the corrected total sum of squares of the means times r.
  long double total = 0;
  for (int i = 1; i <= 4; ++i) {
    for (int j = 1; j <= 6; ++j) total += (m.Y(i, j) - m.MediaGeral) * (m.Y(i, j) - m.MediaGeral);
  }
  EXPECT_NEAR(fit->T, 2 * total, 1e-12);

  TReport report;
  AppendTolerReport(report, *fit, '.');
  const std::string& text = report.Text();
  // The model row carries all of T; the deviations are at rounding level, in exponent form.
  const auto model = LinesStartingWith(text, "Modelo corr.");
  ASSERT_EQ(model.size(), 1u);
  EXPECT_EQ(model[0].substr(18, 15), FitSumText(fit->T));
  const auto deviation = LinesStartingWith(text, "Desvio      ");
  ASSERT_EQ(deviation.size(), 1u);
  EXPECT_EQ(deviation[0].substr(0, 17), "Desvio          9");
  EXPECT_NE(deviation[0].substr(18, 15).find("E-00"), std::string::npos) << deviation[0];
  EXPECT_EQ(deviation[0].substr(deviation[0].size() - 10), "  1.000000");
  // Two loop passes (the start is already the exact index, the first step solves the linear
  // rest) and the final pass.
  EXPECT_NE(text.find("Número de iterações:   4\r\n"), std::string::npos);
  // Genotype 3 has equal slopes: t of 0 for b1 = b2, probability 1.
  const auto diff = LinesStartingWith(text, "b2-b1(  3)");
  ASSERT_EQ(diff.size(), 1u);
  EXPECT_EQ(diff[0].substr(diff[0].size() - 16), "         1.00000");
}

// With the same slope on both sides the two models are the same model: both fits find the
// same index and slopes, and the same (rounding-level) deviations.
TEST(Toler, SimpleModelAgreesWithBisegmentedOnEqualSlopes) {
  const long double b[] = {0.7L, 1.1L, 1.2L};
  const long double u[] = {-2.5L, -1, 0.25L, 1.25L, 2};
  TGxeMeans m;
  TAnalysisParams p;
  p.r = 4;
  p.gle = 30;
  p.QME = 1.2;
  FillMeans(m, p, 3, 5, [&](int i, int j) { return 5 + i + b[i - 1] * u[j - 1]; });
  const TComputed<TTolerResult> bisegmented = TolerCompute(m, p, Storage());
  ASSERT_FALSE(bisegmented.Refused());
  const TComputed<TTolerLinearResult> linear =
      TolerLinearCompute(m, bisegmented->means.margins, bisegmented->T, p, Storage());
  ASSERT_FALSE(linear.Refused());
  for (int i = 1; i <= 3; ++i) {
    EXPECT_NEAR(linear->b(i), bisegmented->b1(i), 1e-10);
    EXPECT_NEAR(linear->b(i), bisegmented->b2(i), 1e-10);
  }
  for (int j = 1; j <= 5; ++j) EXPECT_NEAR(linear->U(j), bisegmented->U(j), 1e-10);
  EXPECT_NEAR(linear->fit.summary.SSE, bisegmented->fit.summary.SSE, 1e-20);
  // The simple model's header for b has one blank more after "t p/".
  TReport report;
  AppendTolerLinearReport(report, *linear, '.');
  EXPECT_NE(report.Text().find("t p/  b(i)=0          Pr>|t|  \r\n"), std::string::npos);
}

TEST(Toler, IndexOfZeroBelongsToTheUnfavourableSide) {
  const TMargins margins;
  const TTolerModel model(margins, 2, 4);
  long double theta[3 * 2 + 4 + 1] = {};
  theta[4] = 5;          // a(2)
  theta[5] = 0.5L;       // b1(2)
  theta[6] = 2;          // b2(2)
  theta[3 * 2 + 3] = 0;  // U(3)
  TJacEntry row[kMaxJacobianRowEntries];
  ASSERT_EQ(model.JacobianRow(theta, 2, 3, row), 4);
  EXPECT_EQ(row[0].col, 4);
  EXPECT_EQ(row[0].value, 1);
  EXPECT_EQ(row[3].col, 3 * 2 + 3);
  EXPECT_EQ(row[3].value, 0.5L);  // the slope of the unfavourable side
  theta[3 * 2 + 3] = 1e-30L;
  model.JacobianRow(theta, 2, 3, row);
  EXPECT_EQ(row[3].value, 2);
  EXPECT_EQ(row[2].value, 1e-30L);  // the b2(2) column holds U(3)
}

// Pseudo-random means (a linear congruential sequence) for the size checks.
long double Noise(int i, int j) {
  const unsigned x = (static_cast<unsigned>(i) * 2654435761u) ^ (static_cast<unsigned>(j) * 40503u);
  return 10 + i % 7 + 0.5L * (j % 5) + (x % 1000) / 1000.0L;
}

TEST(Toler, SizeChecks) {
  const std::string tooFew =
      "Impossível realizar essa análise, pois é preciso\r que g*a>3*g+a, o que não ocorreu nesse "
      "caso! Sinto muito!";
  const std::string tooMany =
      "Impossível realizar essa análise, pois o limite do\r programa foi ultrapassado. 3*g+a+3 tem "
      "que ser inferior\ra 600! Sinto muito!";
  struct Case {
    int g, a;
    std::string warning;  // empty: analysed
    std::string deviationRow;
  };
  const Case cases[] = {
      {2, 3, tooFew, ""},                 // g a = 6 < 3g + a = 9
      {2, 6, "", "Desvio          1"},    // g a = 3g + a = 12 passes: d = 12 - 1 - 10 = 1
      {198, 4, tooMany, ""},              // 3g + a + 3 = 601
      {30, 30, "", "Desvio        809"},  // 900 means, more than 600: fitted all the same
  };
  for (const Case& c : cases) {
    TGxeMeans m;
    TAnalysisParams p;
    p.r = 2;
    p.gle = 50;
    p.QME = 0.3;
    FillMeans(m, p, c.g, c.a, Noise);
    const testing::TStepRun run = testing::RunStep(TolerMethod(), m, p);
    if (c.warning.empty()) {
      EXPECT_FALSE(run.Refused()) << c.g << "x" << c.a << ": " << run.Cause();
      const auto rows = LinesStartingWith(run.text, "Desvio      ");
      ASSERT_EQ(rows.size(), 1u);
      EXPECT_EQ(rows[0].substr(0, 17), c.deviationRow);
    } else {
      // The size checks give up the rest of the run, before anything of the variable is written.
      ASSERT_TRUE(run.Refused()) << c.g << "x" << c.a;
      EXPECT_EQ(run.result.refusal->scope, TRefusal::TScope::Run);
      EXPECT_EQ(run.Cause(), c.warning);
      EXPECT_EQ(run.text, "");
    }
  }
}

TEST(Toler, RefusesNonPositiveResidualInformation) {
  struct Case {
    int gle;
    double QME, r;
    std::string cause;
  };
  const Case cases[] = {
      {0, 0.3, 2, "os graus de liberdade do resíduo devem ser maiores que zero (gle = 0)"},
      {20, 0, 2, "o quadrado médio do resíduo deve ser maior que zero (QME = 0)"},
      {20, 0.3, -1, "o número de repetições deve ser maior que zero (r = -1)"},
  };
  for (const Case& c : cases) {
    TGxeMeans m;
    TAnalysisParams p;
    p.gle = c.gle;
    p.QME = c.QME;
    p.r = c.r;
    FillMeans(m, p, 3, 6, Noise);
    const testing::TStepRun run = testing::RunStep(TolerMethod(), m, p);
    ASSERT_TRUE(run.Refused());
    EXPECT_EQ(run.result.refusal->scope, TRefusal::TScope::Variable);
    EXPECT_EQ(run.Cause(), c.cause);
    EXPECT_EQ(run.text, "");
  }
}

}  // namespace
}  // namespace qv
