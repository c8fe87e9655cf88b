// The regression methods on the environmental index: Finlay and Wilkinson, Eberhart and
// Russell, and the bisegmented model of Cruz, Torres and Vencovsky.
//
// The golden reports were written once, after every number in them was compared with R 4.x on
// the same 4 x 5 means (support/gxe_fixture.h; r = 3, QME = 0.8, gle = 30):
//   slopes, intercepts:   lm(Y[i, ] ~ I) (Finlay, Eberhart) and lm(Y[i, ] ~ I + T) (Cruz, whose
//                         coefficient of T is B2; B1 + B2 = coefficient of T in
//                         lm(Y[i, ] ~ I(I - T) + T));
//   standard errors:      sqrt(diag(solve(crossprod(cbind(1, I, T)))) * QME / r), by hand for
//                         B1 + B2; t and p = 2 * pt(-|t|, 30);
//   sums of squares:      anova(lm(y ~ G + E)), anova(lm(y ~ G + E + G:I)) and the per-genotype
//                         anova of the two fits, times r = 3; pf(Fc, df, 30, lower = FALSE);
//   S2D, R2:              (MSD - QME) / r and 100 SSR / SSAG from those sums.
// Every printed figure agrees with R to the last printed digit (or to one unit there, for a
// value that R puts on a tie, such as Fc = 88.0659375), except the Pr>Fc of F ratios above 1,
// which differ by up to 1.1e-5: the program's F series stops once its terms fall below 5e-6.
// Sample of the references: Finlay B1 = 0.999073847, 1.227524830, 0.364712520, 1.408688802;
// GA Linear MS = 14.61624787889755; A/G: Desv.Comb. MS = 1.25868803027561 (p 0.153192);
// S2D(3) = 0.185412422, R2(3) = 69.726846754; Cruz B1(1) = 1.060880691, B2(1) = -0.307111847,
// t12(2) = 2.499675577 (p 0.018129317); bisegmented SSR(4) = 139.811463147.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "methods/cruz.h"
#include "methods/eberhart.h"
#include "methods/finlay.h"
#include "support/golden.h"
#include "support/gxe_fixture.h"
#include "support/steps.h"
#include "support/text.h"

namespace qv {
namespace {

using testing::FixtureMeans;
using testing::FixtureParams;
using testing::HasNonFinite;
using testing::LineAfter;
using testing::Numbers;

// The computation's own lines.
std::vector<std::string> Lines(const TMethod& method, const TGxeMeans& m,
                               const TAnalysisParams& p) {
  const testing::TStepRun run = testing::RunStep(method, m, p);
  EXPECT_FALSE(run.Refused()) << run.Cause();
  return testing::Lines(run.text);
}

TEST(RegressionMethods, GoldenReports) {
  struct Case {
    TMethod method;
    const char* golden;
  };
  const Case cases[] = {{FinlayMethod(), "finlay_4x5.txt"},
                        {EberhartMethod(), "eberhart_4x5.txt"},
                        {CruzMethod(), "cruz_4x5.txt"}};
  for (const auto& c : cases) {
    auto m = FixtureMeans();
    const testing::TStepRun run = testing::RunBlock(c.method, *m, FixtureParams());
    EXPECT_EQ(run.text, testing::Golden(c.golden)) << c.golden;
    EXPECT_FALSE(run.Refused());
  }
}

TEST(RegressionMethods, CruzDialogRules) {
  const TMethod m = CruzMethod();
  EXPECT_EQ(m.minGenotypes, 2);
  EXPECT_EQ(m.minEnvironments, 4);
  EXPECT_TRUE(m.phase2RequirePositive);
  EXPECT_EQ(m.repMessage, "< r >: O valor de r deve ser inteiro (ou real): ");
  const std::vector<Entry> entries = {Entry::GLE, Entry::QME, Entry::NumRep};
  for (const TMethod& each : {FinlayMethod(), EberhartMethod(), m}) {
    EXPECT_EQ(each.phase2Entries, entries) << each.name;
    EXPECT_TRUE(each.phase1Extras.empty()) << each.name;
    EXPECT_FALSE(each.accumulatesMediaGeral) << each.name;
  }
  EXPECT_FALSE(FinlayMethod().phase2RequirePositive);
}

// Genotype 1 is the mean of the others in every environment, so it equals the environment
// means: it follows the index with slope 1 and no deviation (B1 = 1, t = 0, p = 1; B2 = 0;
// S2D = -QME/r, R2 = 100). Genotype 2 is flat: B1 = 0, t = -1/se(B1), SSAG = 0, R2 = 0.
TEST(RegressionMethods, AverageAndFlatGenotypes) {
  const long double rows[4][5] = {
      {0, 0, 0, 0, 0}, {13, 13, 13, 13, 13}, {9, 15, 10, 20, 12}, {12, 18, 7, 23, 15}};
  auto m = FixtureMeans();
  const TAnalysisParams p = FixtureParams();
  auto fill = [&] {
    for (int i = 2; i <= 4; ++i)
      for (int j = 1; j <= 5; ++j) m->Y(i, j) = rows[i - 1][j - 1];
    for (int j = 1; j <= 5; ++j) m->Y(1, j) = (m->Y(2, j) + m->Y(3, j) + m->Y(4, j)) / 3;
  };

  fill();
  const auto fw = Lines(FinlayMethod(), *m, p);
  const auto g1 = Numbers(LineAfter(fw, "t(H0: B1(i)= 1)", "     1  "));
  const auto g2 = Numbers(LineAfter(fw, "t(H0: B1(i)= 1)", "     2  "));
  const double se1 = Numbers(LineAfter(fw, "Erro padrão de Bo", " Erro padrão de B1")).back();
  ASSERT_EQ(g1.size(), 5u);
  EXPECT_NEAR(g1[2], 1.0, 1e-6);
  EXPECT_NEAR(g1[3], 0.0, 1e-6);
  EXPECT_EQ(g1[4], 1.0);
  EXPECT_EQ(g2[1], 13.0);
  EXPECT_EQ(g2[2], 0.0);
  EXPECT_NEAR(g2[3], -1 / se1, 2e-6 / se1);

  fill();
  const auto er = Lines(EberhartMethod(), *m, p);
  EXPECT_EQ(LineAfter(er, "R^2 (%)", "         1"),
            "         1            -0.266667               100.00");
  EXPECT_EQ(LineAfter(er, "R^2 (%)", "         2"),
            "         2            -0.266667                 0.00");

  fill();
  const auto cz = Lines(CruzMethod(), *m, p);
  const auto both = Numbers(LineAfter(cz, "t(B1+B2=1)", "     1 "));
  const auto diff = Numbers(LineAfter(cz, "t(H0:B2=0)", "     1 "));
  ASSERT_EQ(both.size(), 7u);
  ASSERT_EQ(diff.size(), 4u);
  for (double v : {both[1], both[4]}) EXPECT_NEAR(v, 1.0, 1e-6);                    // B1, B1 + B2
  for (double v : {both[2], both[5], diff[1], diff[2]}) EXPECT_NEAR(v, 0.0, 1e-6);  // B2, t
  for (double v : {both[3], both[6], diff[3]}) EXPECT_EQ(v, 1.0);                   // probabilities
}

// Y(i, j) = genotype effect + environment effect: no interaction, every slope 1, no deviation.
// The guarded rows of Cruz's tables are tested as Fc = 1e-8 and print p = 1.
TEST(RegressionMethods, AdditiveTable) {
  auto m = FixtureMeans();
  const TAnalysisParams p = FixtureParams();
  const long double gen[] = {3.1L, -1.7L, 0.25L, 8.0L}, env[] = {10.3L, 9.9L, 14.2L, 7.45L, 12.0L};
  auto fill = [&] {
    for (int i = 1; i <= 4; ++i)
      for (int j = 1; j <= 5; ++j) m->Y(i, j) = gen[i - 1] + env[j - 1];
  };
  fill();
  const auto fw = Lines(FinlayMethod(), *m, p);
  for (const char* row : {"GxA   ", "GA Linear", "GA:Desv.Combin."}) {
    const auto v = Numbers(LineAfter(fw, "Finlay e Wilknson", row));
    ASSERT_EQ(v.size(), 4u) << row;
    EXPECT_NEAR(v[1], 0, 1e-9) << row;
  }
  fill();
  const auto cz = Lines(CruzMethod(), *m, p);
  for (const char* row : {"GxA   ", "Desvio  (    1)"}) {
    const auto v = Numbers(LineAfter(cz, "Cruz, Torres e Vencovsky", row));
    ASSERT_EQ(v.size(), 4u) << row;          // df, MS, Fc, Pr>Fc
    EXPECT_EQ(v[v.size() - 2], 0.0) << row;  // Fc: 1e-8 prints 0.000000
    EXPECT_EQ(v.back(), 1.0) << row;
  }
}

// An index exactly 0 counts with the favourable environments: indices -2, 0, 0, 2 give three
// of them and T = I - 2/3 there (with "> 0" there would be one, and a refusal).
TEST(RegressionMethods, CruzIndexZeroIsFavourable) {
  auto m = FixtureMeans();
  TAnalysisParams p = FixtureParams();
  p.a = 4;
  const long double levels[] = {8, 10, 10, 12};  // environment means 10.5, 12.5, 12.5, 14.5
  for (int i = 1; i <= 4; ++i)
    for (int j = 1; j <= 4; ++j) m->Y(i, j) = levels[j - 1] + i;
  const auto cz = Lines(CruzMethod(), *m, p);
  EXPECT_EQ(Numbers(LineAfter(cz, "T(Ij)", "         2")).back(), -0.666667);
  EXPECT_EQ(Numbers(LineAfter(cz, "T(Ij)", "         1")).back(), 0.0);
}

// Degenerate input: the variable is refused before anything of it is written, with a cause
// that names the problem, and nothing that is not a number reaches the report.
TEST(RegressionMethods, DegenerateInputIsRefused) {
  struct Case {
    const char* what;
    int g, a, gle;
    double qme, r;
    std::vector<long double> envMeans;  // environment levels added to the fixture's genotypes
    bool linear, cruz;                  // which methods refuse it
    const char* cause;
  };
  const std::vector<long double> none;
  const Case cases[] = {
      {"a = 1", 4, 1, 30, 0.8, 3, none, true, true, "ambientes"},
      {"a = 2", 4, 2, 30, 0.8, 3, none, true, true, "ambientes"},
      {"a = 3", 4, 3, 30, 0.8, 3, none, false, true, "4 ambientes"},
      {"g = 1", 1, 5, 30, 0.8, 3, none, true, true, "2 genótipos"},
      {"QME = 0", 4, 5, 30, 0.0, 3, none, true, true, "quadrado médio"},
      {"gle = 0", 4, 5, 0, 0.8, 3, none, true, true, "graus de liberdade"},
      {"gle < 0", 4, 5, -2, 0.8, 3, none, true, true, "graus de liberdade"},
      {"r = 0", 4, 5, 30, 0.8, 0, none, true, true, "repetições"},
      {"SI2 = 0", 4, 5, 30, 0.8, 3, {7.1L, 7.1L, 7.1L, 7.1L, 7.1L}, true, true, "índice"},
      {"one favourable", 4, 5, 30, 0.8, 3, {10, 10, 10, 10, 14}, false, true, "apenas um ambiente"},
      {"equal favourable", 4, 5, 30, 0.8, 3, {8, 8, 8, 12, 12}, false, true, "mesmo índice"},
  };
  for (const auto& c : cases) {
    TAnalysisParams p = FixtureParams();
    p.g = c.g;
    p.a = c.a;
    p.gle = c.gle;
    p.QME = c.qme;
    p.r = c.r;
    const std::pair<TMethod, bool> methods[] = {
        {FinlayMethod(), c.linear}, {EberhartMethod(), c.linear}, {CruzMethod(), c.cruz}};
    for (const auto& [method, refuses] : methods) {
      auto m = FixtureMeans();
      if (!c.envMeans.empty()) {
        // Genotype i is i above every environment level: no interaction, and the environment
        // means are the levels plus 2.5.
        for (int i = 1; i <= 4; ++i)
          for (int j = 1; j <= 5; ++j) m->Y(i, j) = c.envMeans[j - 1] + i;
      }
      const testing::TStepRun r = testing::RunStep(method, *m, p);
      EXPECT_EQ(r.Refused(), refuses) << c.what << " " << method.name;
      EXPECT_FALSE(HasNonFinite(r.text)) << c.what << " " << method.name;
      if (refuses) {
        EXPECT_EQ(r.text, "") << c.what << " " << method.name;
        EXPECT_NE(r.Cause().find(c.cause), std::string::npos) << c.what << ": " << r.Cause();
        EXPECT_EQ(r.result.refusal->scope, TRefusal::TScope::Variable);
      }
    }
  }
}

}  // namespace
}  // namespace qv
