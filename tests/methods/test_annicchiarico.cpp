// Annicchiarico's reliability index: complete reports of worked examples, the significance
// level taken from the dialog, and the refusal of degenerate input.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "methods/annicchiarico.h"
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

const char* const kAlphaWarning = "< Alpha >: O valor de Alpha deve ser real. Assumi 0.05";

// Golden numbers of k2x2 and k4x5 (support/tables.h), checked outside this program (R 4.2,
// development only): Z = 100 Y / column mean, MZ = rowMeans(Z), SD = apply(Z, 1, sd),
// I = MZ - qnorm(1 - alpha) SD.
//  - 2x2 (Annicchiarico's worked example, alpha = 0.05, z = 1.6448536): MZ = 79.166667 and
//    120.833333, SD = 5.892557 for both, I = 69.474274 and 111.140940.
//  - 4x5, alpha = 0.10 (z = 1.2815516): I = 96.613257, 95.654883, 91.028442, 93.418901;
//    SD = 2.427110, 2.972975, 6.710877, 6.058043; MZ = 99.723723, 99.464905, 99.628777,
//    101.182595; genotype means 53.2, 53.04, 53.06, 53.96.

struct AlphaRun {
  std::unique_ptr<TSession> session = std::make_unique<TSession>();
  ScriptedHost host;
  std::map<Control, bool> phase1Visible;
};

// Runs the method over one table with the given significance level typed in the dialog.
void RunWith(AlphaRun& run, const std::string& csv, int g, int a, const std::string& alpha) {
  testing::TempTable table(csv, run.host);
  run.host.form.entries = {{Control::EditNum_gen, std::to_string(g)},
                           {Control::EditNum_amb, std::to_string(a)},
                           {Control::EditAlpha, alpha}};
  run.host.form.onShow.push_back([&run](ScriptedForm& f) { run.phase1Visible = f.visible; });
  RunCommand(*FindAnalysisCommand("annicchiarico"), *run.session, run.host);
}

// An entry outside (0, 1) quietly means the usual 5 %; one that is not a number says so first.
TEST(Annicchiarico, WorkedExamplesGiveTheGoldenReports) {
  struct Case {
    int g, a;
    const std::vector<std::string>& cells;
    const char *alpha, *golden;
    bool warned;
  };
  const Case cases[] = {{2, 2, k2x2, "0.05", "annicchiarico_2x2.txt", false},
                        {2, 2, k2x2, "0", "annicchiarico_2x2.txt", false},
                        {2, 2, k2x2, "1", "annicchiarico_2x2.txt", false},
                        {2, 2, k2x2, "0,05", "annicchiarico_2x2.txt", true},
                        {4, 5, k4x5, "0.10", "annicchiarico_4x5_a10.txt", false}};
  for (const Case& c : cases) {
    AlphaRun run;
    RunWith(run, GxeCsv(c.g, c.a, c.cells), c.g, c.a, c.alpha);
    const std::string label = std::string(c.golden) + " alpha " + c.alpha;
    EXPECT_EQ(run.session->report.Text(), testing::Golden(c.golden)) << label;
    EXPECT_EQ(run.host.Events("warn:"),
              c.warned ? std::vector<std::string>{kAlphaWarning} : std::vector<std::string>{})
        << label;
    // One dialog only (no phase 2), with its caption's trailing blank and the level shown.
    EXPECT_EQ(run.host.Events("dialog:"), std::vector<std::string>{"Parâmetros "}) << label;
    EXPECT_TRUE(run.phase1Visible[Control::EditAlpha]);
    EXPECT_FALSE(run.phase1Visible[Control::EditGLE] || run.phase1Visible[Control::EditQME] ||
                 run.phase1Visible[Control::EditNum_rep]);
    EXPECT_EQ(run.host.reportShown, 1);
  }
}

// A genotype equal to the environment mean everywhere is 100 % in every environment.
TEST(Annicchiarico, GenotypeAtTheEnvironmentMeansHasIndex100) {
  auto means = std::make_unique<TGxeMeans>();
  const long double y[3][2] = {{10, 20}, {12, 16}, {14, 12}};  // environment means 12 and 16
  for (int i = 1; i <= 3; ++i)
    for (int j = 1; j <= 2; ++j) means->Y(i, j) = y[i - 1][j - 1];
  TAnalysisParams p;
  p.g = 3, p.a = 2, p.Alpha = 0.95;
  const testing::TStepRun result = testing::RunStep(AnnicchiaricoMethod(), *means, p);
  EXPECT_FALSE(result.Refused());
  EXPECT_NE(result.text.find(
                "       2      14.000000       100.000000        0.000000       100.000000\r\n"),
            std::string::npos)
      << result.text;
}

TEST(Annicchiarico, DegenerateInputIsRefusedBeforeAnyLine) {
  struct Case {
    int a;
    long double y12, y22;
    std::string cause;
  };
  const Case cases[] = {
      {1, 12, 20,
       "Annicchiarico requer pelo menos 2 ambientes (a = 1): o desvio padrão das percentagens "
       "não existe"},
      {2, 5, -5,
       "a média do ambiente 2 é zero: as médias não podem ser expressas em percentagem da "
       "média do ambiente"},
  };
  for (const Case& c : cases) {
    auto means = std::make_unique<TGxeMeans>();
    means->Y(1, 1) = 10, means->Y(1, 2) = c.y12, means->Y(2, 1) = 14, means->Y(2, 2) = c.y22;
    TAnalysisParams p;
    p.g = 2, p.a = c.a, p.Alpha = 0.95;
    const testing::TStepRun result = testing::RunStep(AnnicchiaricoMethod(), *means, p);
    EXPECT_TRUE(result.Refused()) << c.cause;
    EXPECT_EQ(result.Cause(), c.cause);
    EXPECT_EQ(result.text, "");
  }
}

// A refused variable costs one warning and one report line; the next variable is analysed.
TEST(Annicchiarico, RunGoesOnAfterARefusedVariable) {
  AlphaRun run;
  const std::string csv = GxeCsv(2, 2, {"10,10", "5,12", "14,14", "-5,20"}, "gen,env,y0,yield");
  RunWith(run, csv, 2, 2, "0.05");
  const std::string cause =
      "a média do ambiente 2 é zero: as médias não podem ser expressas em percentagem da média "
      "do ambiente";
  EXPECT_EQ(run.session->report.Text(),
            "Análise de Quorvandelia de Acordo com o modelo de Annicchiarico(1992, 1995)\r\n"
            "Análise da variável y0\r\n"
            "Variável não analisada: " +
                cause + "\r\n" + testing::Golden("annicchiarico_2x2.txt"));
  EXPECT_EQ(run.host.Events("warn:"), std::vector<std::string>{cause});
  EXPECT_FALSE(testing::HasNonFinite(run.session->report.Text()));
}

}  // namespace
}  // namespace qv
