// The joint analysis of variance of means and its decompositions by regression on the index.
//
// Reference values: R 4.x on the fixture of support/gxe_fixture.h (scripts kept in the commit
// message):
//   anova(lm(y ~ G + E))          -> genotypes, environments and interaction;
//   anova(lm(y ~ G + E + G:I))    -> interaction linear (G:I) and the combined deviations;
//   lm(Y[i, ] ~ I), lm(Y[i, ] ~ I + T) per genotype -> regression and deviation sums of squares;
//   pf(Fc, df, 30, lower.tail = FALSE) -> the p-values;
// every sum of squares multiplied by r = 3 by hand.
#include <gtest/gtest.h>

#include <cmath>

#include "analysis/jointanova.h"
#include "analysis/layout.h"
#include "support/gxe_fixture.h"

namespace qv {
namespace {

using testing::FixtureMeans;
using testing::FixtureParams;

// The Fc column of a row: 16 characters before the blank and the 11 of Pr>Fc.
std::string FcField(const std::string& row) {
  return row.substr(row.size() - 28, 16);
}

TEST(JointAnova, SumsOfSquaresAgreeWithR) {
  auto m = FixtureMeans();
  const TAnalysisParams p = FixtureParams();
  const TJointAnova an = ComputeJointAnova(*m, p);

  const double tol = 1e-9;
  EXPECT_NEAR(an.SSG, 54.6645, tol);
  EXPECT_NEAR(an.SSA, 281.811, tol);
  EXPECT_NEAR(an.SSGA, 58.953, tol);
  EXPECT_NEAR(an.SST, 54.6645 + 281.811 + 58.953, tol);
  EXPECT_NEAR(an.MSG, 18.22150000000001, tol);
  EXPECT_NEAR(an.MSA, 70.45275000000005, tol);
  EXPECT_NEAR(an.MSGA, 4.91275, tol);
  EXPECT_NEAR(an.SI2, 23.48425, tol);
  EXPECT_NEAR(an.SSGAL(), 43.8487436366927, tol);
  EXPECT_NEAR(an.MediaGeral, 12.195, tol);
  const double index[] = {-1.52, 0.63, -3.07, 3.305, 0.655};
  for (int j = 1; j <= p.a; ++j) EXPECT_NEAR(static_cast<double>(an.IndAmb(j)), index[j - 1], tol);
  EXPECT_NEAR(static_cast<double>(an.MedGen(4)), 13.58, tol);
  EXPECT_NEAR(static_cast<double>(an.MedAmb(4)), 15.5, tol);
}

TEST(JointAnova, WithinGenotypeAgreesWithR) {
  auto m = FixtureMeans();
  const TAnalysisParams p = FixtureParams();
  const TJointAnova an = ComputeJointAnova(*m, p);

  struct Ref {
    double ssag, ssrLinear, ssrBiseg;
  };
  const Ref ref[] = {{73.5, 70.322310431, 71.390481770},
                     {111.6, 106.159416151, 108.540332231},
                     {13.44, 9.371288204, 9.705723968},
                     {142.224, 139.806728850, 139.811463147}};

  const TWithinGenotype lin = ComputeWithinGenotype(*m, p, an);
  TBisegment seg{TIndexed<>(p.a), 4.72625};
  const long double t[] = {0, -0.9L, 0, 1.775L, -0.875L};  // T of the fixture, from R
  for (int j = 1; j <= p.a; ++j) seg.T(j) = t[j - 1];
  const TWithinGenotype bis = ComputeWithinGenotype(*m, p, an, &seg);
  double pooled = 0;
  for (int i = 1; i <= p.g; ++i) {
    const Ref& r = ref[i - 1];
    EXPECT_NEAR(lin.SSAG(i), r.ssag, 1e-9) << i;
    EXPECT_NEAR(lin.SSR(i), r.ssrLinear, 1e-8) << i;
    EXPECT_NEAR(lin.MSD(i), (r.ssag - r.ssrLinear) / 3, 1e-8) << i;
    EXPECT_NEAR(bis.SSR(i), r.ssrBiseg, 1e-8) << i;
    EXPECT_NEAR(bis.MSD(i), (r.ssag - r.ssrBiseg) / 2, 1e-8) << i;
    pooled += lin.SSD(i);
  }
  // The genotypes' deviations add up to the combined deviations of the joint analysis.
  EXPECT_NEAR(pooled, 15.1042563633074, 1e-8);
}

// Pr>Fc of the summary rows against R's pf; the series stops at a tolerance of 5e-6.
TEST(JointAnova, RowTestsAgreeWithR) {
  auto m = FixtureMeans();
  const TAnalysisParams p = FixtureParams();
  const TJointAnova an = ComputeJointAnova(*m, p);
  struct Case {
    int df;
    double ms, fc, p;
  };
  const Case cases[] = {
      {3, an.MSG, 22.77687500000001, 6.98904053853603e-08},
      {12, an.MSGA, 6.14093750000000, 2.66997642014123e-05},
      {3, an.SSGAL() / 3, 18.27030984862194, 6.21762773680613e-07},
      {9, (an.SSGA - an.SSGAL()) / 9, 2.09781338379269, 6.20796147995221e-02},
      {12, 1.25868803027561, 1.57336003784451, 0.153192078812815},  // pooled, g (a - 2)
  };
  for (const auto& c : cases) {
    ProbStatus st = ProbStatus::Ok;
    const TFTest t = AnovaFTest(c.df, c.ms, p, kPFloorMain, false, st);
    EXPECT_EQ(st, ProbStatus::Ok);
    EXPECT_NEAR(t.fc, c.fc, 1e-9) << c.df;
    EXPECT_NEAR(t.p, c.p, 1e-5) << c.df;
  }
}

TEST(JointAnova, RowText) {
  TFTest t;
  t.fc = 22.776875;
  t.p = 6.98904053853603e-08;
  // 16 + 6 + 1 + 22 + 1 + 16 + 1 + 11 characters, lined up under kAnovaHeader.
  EXPECT_EQ(AnovaRowText({"Genótipos (G)   ", "Genótipos (G)", 0, 3, 18.2215, t}),
            "Genótipos (G)        3              18.221500        22.776875    0.000000");
  TAnalysisParams p = FixtureParams();
  p.gle = 1234;
  EXPECT_EQ(ResidualRowText(p), "Resíduo           1234               0.800000");
}

// Fc exactly 1 is tested by Peizer and Pratt's approximation, anything above by the series; the
// two give different probabilities at 1 (0.5 by the series for equal df, not by the other).
TEST(JointAnova, FcOneUsesPeizerPrattAboveUsesSeries) {
  TAnalysisParams p = FixtureParams();
  p.QME = 2.0;
  ProbStatus st = ProbStatus::Ok;
  const TFTest at = AnovaFTest(30, 2.0, p, kPFloorMain, false, st);
  const TFTest above = AnovaFTest(30, std::nextafter(2.0, 3.0), p, kPFloorMain, false, st);
  EXPECT_EQ(at.fc, 1.0);
  EXPECT_GT(above.fc, 1.0);
  EXPECT_DOUBLE_EQ(at.p, static_cast<double>(1 - ProbFPeizerPratt(30, 30, 1.0L)));
  EXPECT_DOUBLE_EQ(above.p, static_cast<double>(1 - ProbF(30, 30, above.fc)));
  EXPECT_NEAR(above.p, 0.5, 1e-5);
  EXPECT_NE(at.p, above.p);
}

// The non-positive guard: a guarded row whose mean square is 0 or negative is tested as
// Fc = 1e-8 and prints 0.000000; an unguarded row keeps its own Fc.
TEST(JointAnova, NonPositiveGuard) {
  const TAnalysisParams p = FixtureParams();
  ProbStatus st = ProbStatus::Ok;
  for (double ms : {0.0, -0.4}) {
    const TFTest guarded = AnovaFTest(4, ms, p, kPFloorMain, true, st);
    EXPECT_EQ(guarded.fc, kFcGuard);
    EXPECT_GT(guarded.p, 0.999999);
    EXPECT_EQ(FcField(AnovaRowText({"GxA             ", "GxA", 0, 4, ms, guarded})),
              "        0.000000");
  }
  const TFTest plain = AnovaFTest(4, -0.4, p, kPFloorMain, false, st);
  EXPECT_EQ(plain.fc, -0.5);
  EXPECT_EQ(st, ProbStatus::Ok);
}

// Y(i, j) = MedGen(i) + MedAmb(j) - MediaGeral: no interaction, no deviation from the
// regressions (every slope is 1).
TEST(JointAnova, AdditiveTableHasNoInteraction) {
  auto m = FixtureMeans();
  const TAnalysisParams p = FixtureParams();
  const long double gen[] = {3.1L, -1.7L, 0.25L, 8.0L}, env[] = {10.3L, 9.9L, 14.2L, 7.45L, 12.0L};
  for (int i = 1; i <= p.g; ++i)
    for (int j = 1; j <= p.a; ++j) m->Y(i, j) = gen[i - 1] + env[j - 1];
  const TJointAnova an = ComputeJointAnova(*m, p);
  EXPECT_NEAR(an.SSGA, 0, 1e-12);
  EXPECT_NEAR(an.SSGAL(), 0, 1e-11);
  const TWithinGenotype w = ComputeWithinGenotype(*m, p, an);
  for (int i = 1; i <= p.g; ++i) {
    EXPECT_NEAR(w.MSD(i), 0, 1e-11);
    EXPECT_NEAR(static_cast<double>(an.SPI(i) / an.SI2), 1, 1e-13);
  }
  EXPECT_GT(an.SSG, 1);
}

// Equal genotype means: SSG = 0, Fc prints 0.000000 and its p-value is near 1. (Means that are
// multiples of a = 5 keep every genotype mean exact, so SSG is exactly 0; otherwise the 64-bit
// running mean leaves a sum of squares of rounding size, the case of the next test.)
TEST(JointAnova, EqualGenotypeMeans) {
  auto m = FixtureMeans();
  const TAnalysisParams p = FixtureParams();
  for (int i = 1; i <= p.g; ++i)
    for (int j = 1; j <= p.a; ++j) m->Y(i, j) = 5 * (j * j + 2);
  const TJointAnova an = ComputeJointAnova(*m, p);
  EXPECT_EQ(an.SSG, 0);
  ProbStatus st = ProbStatus::Ok;
  const std::string row =
      AnovaRowText(JointRow("Genótipos (G)   ", 3, an.MSG, p, kPFloorMain, false, st));
  EXPECT_EQ(FcField(row), "        0.000000");
  EXPECT_GT(AnovaFTest(3, an.MSG, p, kPFloorMain, false, st).p, 0.9999);
  EXPECT_EQ(st, ProbStatus::Ok);
}

// A mean square of rounding size (a genotype on its regression line leaves deviations of
// 1e-30): Pr>Fc is 1.000000, with a df of 1 (through the t distribution) as with larger ones.
TEST(JointAnova, RoundingSizeFcHasPOne) {
  TAnalysisParams p = FixtureParams();
  for (int gle : {1, 2, 30, 1000})
    for (int df : {1, 2, 3, 12, 599})
      for (double ms : {1e-35, 1e-20, 1e-300}) {
        p.gle = gle;
        ProbStatus st = ProbStatus::Ok;
        const TFTest t = AnovaFTest(df, ms, p, kPFloorDeviation, false, st);
        EXPECT_EQ(st, ProbStatus::Ok) << df << " " << gle << " " << ms;
        EXPECT_EQ(Fixed(t.p, 11, 6), "   1.000000") << df << " " << gle << " " << ms;
      }
}

// Tests with thousands of df, where the F series could not be summed (its terms overflowed the
// extended range) when this was written: they fall back on Peizer and Pratt's approximation
// instead of failing. The true probabilities here are far below 1e-6.
TEST(JointAnova, LargeDfFallBackOnApproximation) {
  TAnalysisParams p = FixtureParams();
  struct Case {
    int df, gle;
    double fc;
  };
  const Case cases[] = {{599, 100000, 1000}, {358801, 718800, 3}, {2, 5000, 1e6}};
  for (const auto& c : cases) {
    p.gle = c.gle;
    ProbStatus st = ProbStatus::Ok;
    const TFTest t = AnovaFTest(c.df, c.fc * p.QME, p, kPFloorMain, false, st);
    EXPECT_EQ(st, ProbStatus::Ok) << c.df;
    EXPECT_EQ(Fixed(t.p, 11, 6), "   0.000000") << c.df;
  }
}

TEST(JointAnova, Refusals) {
  struct Case {
    int g, a, gle;
    double qme, r;
    int minA;
    const char* cause;  // a word the cause must name; nullptr for none
  };
  const Case cases[] = {
      {4, 5, 30, 0.8, 3, 3, nullptr},
      {1, 5, 30, 0.8, 3, 3, "2 genótipos"},
      {4, 2, 30, 0.8, 3, 3, "3 ambientes"},
      {4, 3, 30, 0.8, 3, 4, "4 ambientes"},
      {4, 5, 0, 0.8, 3, 3, "graus de liberdade"},
      {4, 5, 30, 0.0, 3, 3, "quadrado médio"},
      {4, 5, 30, -1, 3, 3, "quadrado médio"},
      {4, 5, 30, 0.8, 0, 3, "repetições"},
  };
  for (const auto& c : cases) {
    TAnalysisParams p;
    p.g = c.g;
    p.a = c.a;
    p.gle = c.gle;
    p.QME = c.qme;
    p.r = c.r;
    const TCheck refusal = JointAnovaRefusal(p, c.minA);
    if (c.cause) {
      ASSERT_TRUE(refusal.has_value()) << c.cause;
      EXPECT_EQ(refusal->scope, TRefusal::TScope::Variable);
      EXPECT_NE(refusal->cause.find(c.cause), std::string::npos) << refusal->cause;
    } else {
      EXPECT_FALSE(refusal.has_value()) << refusal->cause;
    }
  }
}

// Equal environment means: the 64-bit grand mean leaves an index of rounding size (0.1 is not
// a double), which must count as null rather than give slopes of 1e16.
TEST(JointAnova, NullIndexIsRefused) {
  auto m = FixtureMeans();
  const TAnalysisParams p = FixtureParams();
  for (long double level : {0.0L, 0.1L, 1234.567L}) {
    for (int i = 1; i <= p.g; ++i)
      for (int j = 1; j <= p.a; ++j) m->Y(i, j) = level + i;
    const TCheck refusal = IndexRefusal(ComputeJointAnova(*m, p), p);
    ASSERT_TRUE(refusal.has_value()) << static_cast<double>(level);
    EXPECT_NE(refusal->cause.find("índice ambiental é nulo"), std::string::npos)
        << static_cast<double>(level);
  }
  auto f = FixtureMeans();
  EXPECT_FALSE(IndexRefusal(ComputeJointAnova(*f, p), p).has_value());
  f->Y(2, 3) = 1e300L;  // squares beyond the 64-bit range
  const TCheck tooLarge = IndexRefusal(ComputeJointAnova(*f, p), p);
  ASSERT_TRUE(tooLarge.has_value());
  EXPECT_NE(tooLarge->cause.find("grandes demais"), std::string::npos);
}

}  // namespace
}  // namespace qv
