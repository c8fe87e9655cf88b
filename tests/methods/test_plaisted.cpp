// Plaisted & Peterson's pairwise variance components: complete reports of worked examples,
// the run's own dialog texts and closing message, and degenerate input.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "methods/plaisted.h"
#include "support/golden.h"
#include "support/scripted_host.h"
#include "support/steps.h"
#include "support/tables.h"
#include "support/text.h"

namespace qv {
namespace {

using testing::GxeCsv;
using testing::k2x2;
using testing::k4x5;
using testing::ScriptedForm;
using testing::ScriptedHost;

const char* const kInform = "Para ver resultado da análise selecione o menu relatório";

// Golden numbers of k2x2 and k4x5 (support/tables.h), checked outside this program (R 4.2,
// development only): each component is (r x residual mean square of anova(lm(y ~ G + E)) on
// the two genotypes' rows - QME) / r; Theta(i) is the mean of genotype i's g - 1 components,
// m the mean of the Theta(i).
//  - 2x2 (Plaisted & Peterson's worked example): with r = 1, QME = 0 the component is 4,
//    Theta = 4 and 4, 50 % each; with r = 2, QME = 1 it is 3.5.
//  - 4x5, r = 3, QME = 20 (some components negative): components -3.1576667, 1.4898333,
//    -1.7651667, 1.0968333, 0.0093333, 15.3008333; Theta = -1.144333, -0.683833, 5.962500,
//    4.515000; percentages -13.230307, -7.906197, 68.935949, 52.200555; m = 2.16233.

TEST(Plaisted, WorkedExamplesGiveTheGoldenReports) {
  struct Case {
    int g, a;
    const std::vector<std::string>& cells;
    const char *qme, *r, *golden;
  };
  const Case cases[] = {{2, 2, k2x2, "0", "1", "plaisted_2x2_r1.txt"},
                        {2, 2, k2x2, "1", "2", "plaisted_2x2_r2_qme1.txt"},
                        {4, 5, k4x5, "20", "3", "plaisted_4x5_r3_qme20.txt"}};
  for (const Case& c : cases) {
    auto session = std::make_unique<TSession>();
    ScriptedHost host;
    testing::TempTable table(GxeCsv(c.g, c.a, c.cells), host);
    host.form.entries = {{Control::EditNum_gen, std::to_string(c.g)},
                         {Control::EditNum_amb, std::to_string(c.a)},
                         {Control::EditQME, c.qme},
                         {Control::EditNum_rep, c.r}};
    std::map<Control, bool> phase2Visible;
    host.form.onShow = {[](ScriptedForm&) {}, [&](ScriptedForm& f) { phase2Visible = f.visible; }};
    const TRunOutcome out = RunCommand(*FindAnalysisCommand("plaisted"), *session, host);
    EXPECT_EQ(out.variablesAnalysed, 1) << c.golden;
    EXPECT_EQ(session->report.Text(), testing::Golden(c.golden)) << c.golden;
    EXPECT_EQ(host.Events("dialog:"),
              (std::vector<std::string>{"Parâmetros ", "Parâmetros para yield"}));
    EXPECT_TRUE(phase2Visible[Control::EditQME] && phase2Visible[Control::EditNum_rep]);
    EXPECT_FALSE(phase2Visible[Control::EditGLE]);
    // The run closes with its information box instead of the report window.
    EXPECT_EQ(host.Events("inform:"), std::vector<std::string>{kInform});
    EXPECT_EQ(host.reportShown, 0);
  }
}

TEST(Plaisted, NonNumericQmeBringsThePhase2DialogBack) {
  auto session = std::make_unique<TSession>();
  ScriptedHost host;
  testing::TempTable table(GxeCsv(2, 2, k2x2), host);
  host.form.entries = {{Control::EditNum_gen, "2"},
                       {Control::EditNum_amb, "2"},
                       {Control::EditQME, "0"},
                       {Control::EditNum_rep, "1"}};
  host.form.onShow = {[](ScriptedForm&) {},
                      [](ScriptedForm& f) { f.entries[Control::EditQME] = "zero"; },
                      [](ScriptedForm& f) { f.entries[Control::EditQME] = "0"; }};
  RunCommand(*FindAnalysisCommand("plaisted"), *session, host);
  EXPECT_EQ(host.Events("warn:"),
            std::vector<std::string>{"< QME >: O valor de QME deve ser numérico: "});
  EXPECT_EQ(host.Events("dialog:").size(), 3u);
  EXPECT_EQ(session->report.Text(), testing::Golden("plaisted_2x2_r1.txt"));
}

// Parallel genotypes with QME = 0: every component and their mean m are 0, and the shares
// Theta(i) / (g m) are undefined.
TEST(Plaisted, ZeroMeanComponentLeavesThePercentagesUndefined) {
  auto means = std::make_unique<TGxeMeans>();
  means->Y(1, 1) = 10, means->Y(1, 2) = 14, means->Y(2, 1) = 12, means->Y(2, 2) = 16;
  TAnalysisParams p;
  p.g = 2, p.a = 2, p.r = 1, p.QME = 0;
  const testing::TStepRun result = testing::RunStep(PlaistedMethod(), *means, p);
  EXPECT_FALSE(result.Refused());
  const std::string& text = result.text;
  for (const char* line :
       {"         1          2               0.0000000\r\n",
        "       1      12.000000       0.000000              -\r\n",
        "média                         0.00000           -\r\n",
        "Obs. Média dos Theta (i) igual a zero: percentagens indefinidas.\r\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
  }
  EXPECT_FALSE(testing::HasNonFinite(text)) << text;
}

TEST(Plaisted, DegenerateInputIsRefusedBeforeAnyLine) {
  struct Case {
    int g, a;
    double r, y11;
    std::string cause;
  };
  const Case cases[] = {
      {1, 2, 1, 10,
       "Plaisted & Peterson requer pelo menos 2 genótipos (g = 1): não há pares de genótipos"},
      {2, 1, 1, 10,
       "Plaisted & Peterson requer pelo menos 2 ambientes (a = 1): sem interação genótipo x "
       "ambiente"},
      {2, 2, 0, 10, "o número de repetições r deve ser maior que zero (r = 0)"},
      {2, 2, -2, 10, "o número de repetições r deve ser maior que zero (r = -2)"},
      {2, 2, 1, 1e200,
       "valores grandes demais: as somas de quadrados excedem a capacidade dos números reais"},
  };
  for (const Case& c : cases) {
    auto means = std::make_unique<TGxeMeans>();
    means->Y(1, 1) = c.y11, means->Y(1, 2) = 12, means->Y(2, 1) = 14, means->Y(2, 2) = 20;
    TAnalysisParams p;
    p.g = c.g, p.a = c.a, p.r = c.r, p.QME = 0;
    const testing::TStepRun result = testing::RunStep(PlaistedMethod(), *means, p);
    EXPECT_TRUE(result.Refused()) << c.cause;
    EXPECT_EQ(result.Cause(), c.cause);
    EXPECT_EQ(result.text, "");
  }
}

// Every component, formed pair by pair straight from its definition (each S rounded to 64 bits
// after every term), equals the method's bit for bit: with means that are 64-bit reals, as a
// table gives them, and with means that only an extended real holds. 21 genotypes take the
// blocks of eight pairs, of four and the single pairs.
TEST(Plaisted, ComponentsEqualTheirDefinitionBitForBit) {
  // 81 x 90: the rows of pairs shared by two threads.
  for (const auto& [g, a] : {std::pair{21, 7}, std::pair{81, 90}})
    for (const bool extended : {false, true}) {
      auto means = std::make_unique<TGxeMeans>();
      for (int i = 1; i <= g; ++i) {
        for (int j = 1; j <= a; ++j) {
          const double v = 3.0 + std::sin(1.3 * i + 0.7 * j * j) * (1 + 0.1 * i);
          means->Y(i, j) = extended ? v + std::ldexp(static_cast<long double>(i + j), -60) : v;
        }
      }
      TAnalysisParams p;
      p.g = g, p.a = a, p.r = 3, p.QME = 0.25;
      const auto computed = PlaistedCompute(*means, p);
      ASSERT_FALSE(computed.Refused());
      const TPlaistedResult& res = *computed;
      for (int i = 1; i < g; ++i) {
        for (int k = i + 1; k <= g; ++k) {
          double s = 0.0;
          for (int j = 1; j <= a; ++j) {
            const long double d = means->Y(i, j) - means->Y(k, j);
            s = static_cast<double>(s + d * d);
          }
          const long double dm = a * res.MedGen(i) - a * res.MedGen(k);
          const long double t = dm * dm * (1.0L / a);
          double th = static_cast<double>((s - t) * (p.r / 2) / (a - 1));
          th = static_cast<double>((static_cast<long double>(th) - p.QME) / p.r);
          ASSERT_EQ(res.Theta(i, k), th)
              << g << " x " << a << ": " << i << "-" << k << (extended ? " extended" : "");
        }
      }
    }
}

}  // namespace
}  // namespace qv
