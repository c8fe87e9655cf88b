// AMMI: the decomposition of the interaction into principal components, its tables and its
// refusals.
//
// Independent checks. Every number of the golden reports below was compared with R 4.x
// (development only; CI has no R): Z = Y - row means - column means + grand mean, s = svd(Z);
// eigenvalues s$d^2 and their shares, genotype and environment vectors s$u and s$v (equal up to
// the sign of each component), scores s$u * sqrt(s$d) and s$v * sqrt(s$d), the predictions
// additive + sum_k d_k u_k v_k', the mean squares of the joint analysis and of the components
// r * d_k^2 / (g + a - 1 - 2k). Every printed digit agreed to within half a unit of its last
// place. The p-values of the rows with Fc >= 1 agree with R's 1 - pf() to within the series
// tolerance of ProbF (1.2e-5 at most here); those with Fc < 1 come from Peizer and Pratt's
// approximation (e.g. 0.409218 for the 3 x 3 genotype row, where pf gives 0.414514).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "analysis/layout.h"
#include "analysis/means.h"
#include "analysis/params.h"
#include "analysis/session.h"
#include "commands/commands.h"
#include "methods/ammi.h"
#include "support/golden.h"
#include "support/scripted_host.h"
#include "support/steps.h"
#include "support/tables.h"
#include "support/text.h"

namespace {

using qv::TAnalysisParams;
using qv::TGxeMeans;
using qv::TStepResult;

struct TTable {
  int g, a;
  double r;
  int gle;
  double qme;
  std::vector<long double> y;  // row by row: genotype i, environments 1..a
};

using TRun = qv::testing::TStepRun;

TRun RunAmmi(const TTable& t) {
  auto m = std::make_unique<TGxeMeans>();
  for (int i = 1; i <= t.g; ++i)
    for (int j = 1; j <= t.a; ++j)
      m->Y(i, j) = t.y[static_cast<std::size_t>((i - 1) * t.a + (j - 1))];
  TAnalysisParams p;
  p.g = t.g;
  p.a = t.a;
  p.r = t.r;
  p.gle = t.gle;
  p.QME = t.qme;
  return qv::testing::RunStep(qv::AmmiMethod(), *m, p);
}

// The numbers of the `count` table rows that follow the header line starting with `header`
// and its separator (words of a row label are skipped).
std::vector<std::vector<double>> TableRows(const std::string& text, const std::string& header,
                                           int count) {
  const std::vector<std::string> lines = qv::testing::Lines(text);
  std::vector<std::vector<double>> rows;
  for (std::size_t k = 0; k < lines.size(); ++k) {
    if (lines[k].rfind(header, 0) != 0) continue;
    for (int n = 0; n < count && k + 2 + n < lines.size(); ++n) {
      rows.push_back(qv::testing::Numbers(lines[k + 2 + n]));
    }
    break;
  }
  EXPECT_EQ(static_cast<int>(rows.size()), count) << "table " << header;
  return rows;
}

// A worked example small enough to check by hand: means (10, 12, 14), (11, 15, 13),
// (9, 10, 16). Row means 12, 13, 11.666667, column means 10, 12.333333, 14.333333, grand mean
// 12.222222; the interaction effects Z = Y - row mean - column mean + grand mean sum to 148/9
// in squares, which the two eigenvalues of Z Z' share (16.3356 + 0.1088 = 16.4444).
const TTable kExample3x3{3, 3, 1, 10, 1.5, {10, 12, 14, 11, 15, 13, 9, 10, 16}};

TEST(Ammi, GoldenReports) {
  struct TCase {
    const char* golden;
    TTable table;
  };
  const TCase cases[] = {
      // K4 = KE = 2, two component rows (df 3 and 1), no deviations row.
      {"ammi_3x3.txt", kExample3x3},
      // K4 = KE = 4, K3 = 3: component df 10, 8, 6; deviations S = lambda4 + lambda5 on
      // (g - 1)(a - 1) - 24 = 4 df.
      {"ammi_5x8.txt",
       {5, 8, 4, 60, 2.5, {36.1L, 44.2L, 54.2L, 59.5L, 53.1L, 47.7L, 45.2L, 38.4L, 39.8L, 49.5L,
                           51.9L, 60.6L, 53.9L, 52.6L, 48.6L, 42.4L, 44.1L, 53.8L, 55.6L, 66.2L,
                           58.0L, 54.6L, 47.7L, 44.6L, 36.0L, 46.6L, 47.3L, 54.1L, 53.7L, 48.0L,
                           43.3L, 38.8L, 38.4L, 44.0L, 48.3L, 58.3L, 55.1L, 46.6L, 39.2L, 38.7L}}},
      // Component df 5, 3, 1 use up the interaction: the deviations row has 0 df and prints
      // zero mean square, zero F and probability 1.
      {"ammi_4x4.txt",
       {4,
        4,
        3,
        24,
        1.2,
        {15.3L, 16.2L, 26.5L, 20.9L, 15.2L, 15.0L, 20.7L, 20.2L, 13.2L, 11.8L, 23.6L, 14.4L, 15.7L,
         15.9L, 24.3L, 18.3L}}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.golden);
    const TRun run = RunAmmi(c.table);
    EXPECT_FALSE(run.Refused());
    EXPECT_EQ(run.text, qv::testing::Golden(c.golden));
  }
}

TEST(Ammi, RunOfTheWorkedExample) {
  // The whole run: one variable, its residual entries asked for in the second dialog, the
  // block under the method's title and variable lines.
  auto session = std::make_unique<qv::TSession>();
  qv::testing::ScriptedHost host;
  qv::testing::TempTable table(
      qv::testing::GxeCsv(3, 3, {"10", "12", "14", "11", "15", "13", "9", "10", "16"}), host);
  host.form.entries = {{qv::Control::EditNum_gen, "3"},
                       {qv::Control::EditNum_amb, "3"},
                       {qv::Control::EditGLE, "10"},
                       {qv::Control::EditQME, "1.5"},
                       {qv::Control::EditNum_rep, "1"}};
  const qv::TRunOutcome out = qv::RunCommand(*qv::FindAnalysisCommand("ammi"), *session, host);
  EXPECT_EQ(out.variablesAnalysed, 1);
  EXPECT_EQ(session->report.Text(),
            "Análise de Quorvandelia de Acordo com o modelo AMMI (Crossa, 1990)\r\n"
            "Análise da variável yield\r\n" +
                qv::testing::Golden("ammi_3x3.txt"));
  EXPECT_EQ(host.Events("dialog:"),
            (std::vector<std::string>{"Parâmetros", "Parâmetros para yield"}));
  EXPECT_TRUE(host.Events("warn:").empty());
  EXPECT_EQ(host.reportShown, 1);
}

TEST(Ammi, WorkedExampleFigures) {
  // The figures of the hand computation, independently of the golden file: the eigenvalues of
  // Z Z' (its characteristic polynomial is cubic with a zero root) and the first eigenvector.
  const std::string text = RunAmmi(kExample3x3).text;
  const auto eigen = TableRows(text, " CP   Autovalores", 2);
  ASSERT_EQ(eigen.size(), 2u);
  EXPECT_EQ(eigen[0], (std::vector<double>{1, 16.3356, 99.3382, 99.3382}));
  EXPECT_EQ(eigen[1], (std::vector<double>{2, 0.1088, 0.6618, 100.0}));
  EXPECT_NEAR(eigen[0][1] + eigen[1][1], 148.0 / 9, 1e-4);
  const auto u = TableRows(text, "Genót. Auto Vetor", 3);
  ASSERT_EQ(u.size(), 3u);
  EXPECT_EQ(u[0][1], 0.009684);
  EXPECT_EQ(u[1][1], 0.702215);
  EXPECT_EQ(u[2][1], -0.711899);
  EXPECT_NE(text.find("  CP          1      3 "), std::string::npos);
  EXPECT_NE(text.find("  CP          2      1 "), std::string::npos);
  EXPECT_EQ(text.find("Desvios"), std::string::npos);
}

TEST(Ammi, RealSizeTableAgainstSvd) {
  // 20 genotypes x 12 environments of whole numbers, Y(i, j) = 50 + (7 i^2 + 3 j^2 + 11 i j)
  // mod 23, r = 2, gle = 200, QME = 3.5. Reference: R, Y <- outer(1:20, 1:12, function(i, j)
  // 50 + (7*i*i + 3*j*j + 11*i*j) %% 23); Z as above; svd(Z)$d^2.
  TTable t{20, 12, 2, 200, 3.5, {}};
  for (int i = 1; i <= t.g; ++i)
    for (int j = 1; j <= t.a; ++j) t.y.push_back(50 + (7 * i * i + 3 * j * j + 11 * i * j) % 23);
  const double lambda[] = {1752.07684072, 1396.24425335, 1108.76406778, 1069.43642368,
                           789.66682442,  591.47684444,  482.49976903,  440.18687724,
                           407.29618662,  263.08420179,  94.06771092};
  const double percent[] = {20.870977757, 16.632251553, 13.207748461, 12.739272212,
                            9.406618674,  7.045752662,  5.747602909,  5.243565984,
                            4.851767602,  3.133894813,  1.120547374};
  const TRun run = RunAmmi(t);
  ASSERT_FALSE(run.Refused());
  const auto eigen = TableRows(run.text, " CP   Autovalores", 11);
  ASSERT_EQ(eigen.size(), 11u);
  for (int k = 0; k < 11; ++k) {
    EXPECT_NEAR(eigen[k][1], lambda[k], 5.1e-5) << "component " << k + 1;
    EXPECT_NEAR(eigen[k][2], percent[k], 5.1e-5) << "component " << k + 1;
  }
  // Component rows: r * lambda / df with df 29, 27, 25; deviations r * (lambda4 + ... +
  // lambda12) / 128 (R: 120.83288557, 103.42550025, 88.70112542, 64.65179435).
  const auto rows = TableRows(run.text, " FV                 GL", 8);
  ASSERT_EQ(rows.size(), 8u);
  const double ms[] = {120.83288557, 103.42550025, 88.70112542};
  for (int v = 0; v < 3; ++v) {
    ASSERT_EQ(rows[3 + v].size(), 5u);
    EXPECT_EQ(rows[3 + v][1], 29 - 2 * v);
    EXPECT_NEAR(rows[3 + v][2], ms[v], 5.1e-7);
  }
  EXPECT_NE(run.text.find("  Desvios          128 "), std::string::npos);
  ASSERT_EQ(rows[6].size(), 4u);
  EXPECT_NEAR(rows[6][1], 64.65179435, 5.1e-7);
}

// From 65,536 lines on two threads write the predictions, each half of the genotypes: every
// line is there once, in its order, with the figures of the result's data.
TEST(Ammi, PredictionLinesOfALargeTableInOrder) {
  const int g = 257, a = 256;
  auto m = std::make_unique<TGxeMeans>();
  for (int i = 1; i <= g; ++i)
    for (int j = 1; j <= a; ++j) m->Y(i, j) = 50 + (7 * i * i + 3 * j * j + 11 * i * j) % 23;
  TAnalysisParams p;
  p.g = g;
  p.a = a;
  p.r = 2;
  p.gle = 200000;
  p.QME = 3.5;
  const qv::TComputed<qv::TAmmiResult> computed = qv::AmmiCompute(*m, p);
  ASSERT_FALSE(computed.Refused());
  qv::TReport report;
  qv::AppendAmmiReport(report, computed.Value());
  const std::string& text = report.Text();
  const qv::TResultData data = qv::ResultData(computed.Value());
  const qv::TResultTable& predicted = data.tables.back();
  ASSERT_EQ(predicted.rows.size(), static_cast<std::size_t>(g * a));
  std::string expected;
  for (const auto& row : predicted.rows) {
    expected +=
        qv::Int(std::get<long long>(row[0]), 3) + " " + qv::Int(std::get<long long>(row[1]), 3);
    for (std::size_t c = 2; c < row.size(); ++c) {
      expected += qv::Fixed(std::get<long double>(row[c]), 14, 3);
    }
    expected += "\r\n";
  }
  EXPECT_NE(text.find("\r\n" + expected + std::string(78, '_')), std::string::npos);
}

// A result is finite only when every prediction is: one term too large for the doubles, in any
// component or in the margins, makes a prediction infinite although every vector and mean is
// finite.
TEST(Ammi, FiniteOnlyWhenEveryPredictionIs) {
  auto m = std::make_unique<TGxeMeans>();
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 3; ++j)
      m->Y(i, j) = kExample3x3.y[static_cast<std::size_t>((i - 1) * 3 + (j - 1))];
  TAnalysisParams p;
  p.g = p.a = 3;
  p.r = 1;
  p.gle = 10;
  p.QME = 1.5;
  const qv::TComputed<qv::TAmmiResult> computed = qv::AmmiCompute(*m, p);
  ASSERT_FALSE(computed.Refused());
  ASSERT_EQ(computed.Value().firstWithoutAxis, 3);
  EXPECT_TRUE(qv::FiniteResult(computed.Value()));
  struct TCase {
    const char* what;
    long double u, v;  // genotype 2's and environment 3's entries of the component
    int component;
    long double genMean, envMean;  // genotype 1's and environment 2's means (0: as they are)
    bool finite;
  };
  const TCase cases[] = {
      {"large, finite products", 1e140L, 1e140L, 1, 0, 0, true},
      {"first component overflows", 1e200L, 1e200L, 1, 0, 0, false},
      {"second component overflows", -1e200L, 1e200L, 2, 0, 0, false},
      {"large margins", 0, 0, 1, 1e307L, 1e307L, true},
      {"margins overflow", 0, 0, 1, 1.7e308L, 1.7e308L, false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    qv::TAmmiResult res = computed.Value();
    if (c.u != 0) {
      res.genotypeVectors(2, c.component) = c.u;
      res.environmentVectors(3, c.component) = c.v;
    }
    if (c.genMean != 0) {
      res.anova.MedGen(1) = c.genMean;
      res.anova.MedAmb(2) = c.envMean;
    }
    EXPECT_EQ(qv::FiniteResult(res), c.finite);
  }
}

// Tables whose interaction has fewer components than the tables show. The eigenvalues beyond
// the rank come out as rounding noise of either sign; no number may come from dividing by one
// (no "Nan", no noise blown up into a vector), and the predictions must still be the additive
// model plus the components that exist.
TEST(Ammi, InteractionWithoutComponents) {
  struct TCase {
    const char* what;
    TTable table;
    int firstWithout;  // first component without interaction
    const char* note;
  };
  TTable rank1{5, 5, 3, 30, 0.8, {}};
  for (int i = 1; i <= 5; ++i)
    for (int j = 1; j <= 5; ++j) rank1.y.push_back(0.1L * i * j + 0.37L * i * i + j);
  const TCase cases[] = {
      {"purely additive data",
       {4, 5, 3, 30, 0.8, {10,   12,    9,    15,    13,    11, 13, 10, 16, 14,
                           9.5L, 11.5L, 8.5L, 14.5L, 12.5L, 12, 14, 11, 17, 15}},
       1,
       "Nota: A interação genótipos x ambientes é nula (dados aditivos) e não tem"},
      // Main effects 0.37 i^2 and j, interaction 0.1 (i - 3)(j - 3): one component.
      {"an interaction of rank 1", rank1, 2,
       "Nota: A partir do CP 2 os autovalores são nulos (componentes sem interação):"},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    const int g = c.table.g, a = c.table.a, shown = std::min(std::min(g, a) - 1, 4);
    const TRun run = RunAmmi(c.table);
    ASSERT_FALSE(run.Refused());
    EXPECT_FALSE(qv::testing::HasNonFinite(run.text));
    EXPECT_NE(run.text.find(c.note), std::string::npos);
    // Vectors and scores of the missing components are zero; their eigenvalues print as zero.
    const struct {
      const char* header;
      int rows;
    } tables[] = {{"Genót. Auto Vetor", g},
                  {"Amb.     Escore", a},
                  {"Amb.   Auto Vetor", a},
                  {"Genót.   Escore", g}};
    for (const auto& t : tables) {
      for (const auto& row : TableRows(run.text, t.header, t.rows)) {
        ASSERT_EQ(static_cast<int>(row.size()), 1 + shown) << t.header;
        for (int k = c.firstWithout; k <= shown; ++k) EXPECT_EQ(row[k], 0.0) << t.header;
      }
    }
    const std::string eigenRows = run.text.substr(run.text.find(" CP   Autovalores"));
    EXPECT_EQ(eigenRows.find("-0.0000"), std::string::npos);
    // Both tables are fitted exactly by the components they have, so every prediction shown
    // is the mean itself.
    const auto predicted = TableRows(run.text, "Gen Amb", g * a);
    ASSERT_EQ(static_cast<int>(predicted.size()), g * a);
    for (const auto& row : predicted) {
      ASSERT_EQ(static_cast<int>(row.size()), 2 + shown);
      const long double y = c.table.y[static_cast<std::size_t>((row[0] - 1) * a + row[1] - 1)];
      for (int k = 2; k < 2 + shown; ++k) EXPECT_NEAR(row[k], y, 5e-4) << row[0] << " " << row[1];
    }
    // In the analysis of variance a missing component has a zero mean square and p = 1.
    EXPECT_NE(run.text.find("  CP          3      " + std::to_string(g + a - 7) +
                            "               0.000000         0.000000    1.000000"),
              std::string::npos);
  }
}

TEST(Ammi, ManyDegreesOfFreedomAreTested) {
  // 40 x 40 table: the deviations row has (40 - 4)^2 = 1296 df; against a pooled residual of
  // 358801 df and an F of about 170 the series of the F distribution leaves the extended
  // range. The test must still be made (by the normal approximation), not the variable
  // refused.
  TTable t{40, 40, 3, 358801, 0.5, {}};
  for (int i = 1; i <= t.g; ++i)
    for (int j = 1; j <= t.a; ++j) t.y.push_back(50 + (7 * i * i + 3 * j * j + 11 * i * j) % 23);
  const TRun run = RunAmmi(t);
  ASSERT_FALSE(run.Refused()) << run.Cause();
  const auto rows = TableRows(run.text, " FV                 GL", 7);
  ASSERT_EQ(rows.size(), 7u);
  ASSERT_EQ(rows[6].size(), 4u);
  EXPECT_EQ(rows[6][0], 1296);
  EXPECT_EQ(rows[6][3], 0.0);
}

TEST(Ammi, RefusesWhatCannotBeTested) {
  struct TCase {
    const char* what;
    TTable table;
  };
  const long double nan = std::numeric_limits<long double>::quiet_NaN();
  const TCase cases[] = {
      {"one genotype", {1, 3, 1, 10, 1.5, {10, 12, 14}}},
      {"one environment", {3, 1, 1, 10, 1.5, {10, 11, 9}}},
      {"QME = 0", {3, 3, 1, 10, 0.0, kExample3x3.y}},
      {"gle = 0", {3, 3, 1, 0, 1.5, kExample3x3.y}},
      {"a mean that is not a number", {3, 3, 1, 10, 1.5, {10, 12, 14, 11, nan, 13, 9, 10, 16}}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.what);
    const TRun run = RunAmmi(c.table);
    EXPECT_TRUE(run.Refused());
    EXPECT_FALSE(run.Cause().empty());
    EXPECT_EQ(run.text, "") << "nothing of the variable may be written before a refusal";
  }
}

}  // namespace
