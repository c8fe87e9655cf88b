// Lin & Binns' superiority measure: complete reports of worked examples, the contribution
// column of data without interaction, and the refusal of degenerate input.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "methods/linbinns.h"
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
using testing::ScriptedHost;

// Golden numbers of k2x2 and k4x5 (support/tables.h), checked outside this program (R 4.2,
// development only):
//  - genotype means, P(i), G1, G2 and the contributions from the closed form
//    P(i) = r [a (Ybar(i.) - Mbar)^2 + sum_j (Y(i,j) - Ybar(i.) - M(j) + Mbar)^2] / (2a), with
//    M(j) the environment maxima; QMGxA as r times the residual mean square of
//    anova(lm(y ~ G + E)).
//  - 2x2 (Lin & Binns' worked example, r = 1): P = 20 and 0, G1 = 18 and 0, G2 = 2 and 0,
//    contributions 100 and 0, média 10, QMGxA = 4.
//  - 4x5, r = 3, a tie for the maximum of environment 3: P = 19.719, 14.871, 34.662, 19.275,
//    média 22.13175, G1 = 12.615, 14.0454, 13.8624, 6.8694, G2 = 7.104, 0.8256, 20.7996,
//    12.4056, contributions 17.2700, 2.0071, 50.5645, 30.1584, QMGxA = 26.487.
//  - Cut-off points: R's qf gives 4.9646027 x 1.5 = 7.446904 and 2.7762893 x 2.5 = 6.940723.
//    The program prints 7.446910 and 6.940679, the values of its Hill (1970) t quantile and
//    its series-and-secant F quantile; an R transcription of those published approximations
//    gives the same 7.446910 and 6.940679.

TEST(LinBinns, WorkedExamplesGiveTheGoldenReports) {
  struct Case {
    int g, a;
    const std::vector<std::string>& cells;
    const char *gle, *qme, *r, *golden;
  };
  const Case cases[] = {{2, 2, k2x2, "10", "1.5", "1", "linbinns_2x2.txt"},
                        {4, 5, k4x5, "24", "2.5", "3", "linbinns_4x5_r3.txt"}};
  for (const Case& c : cases) {
    auto session = std::make_unique<TSession>();
    ScriptedHost host;
    testing::TempTable table(GxeCsv(c.g, c.a, c.cells), host);
    host.form.entries = {{Control::EditNum_gen, std::to_string(c.g)},
                         {Control::EditNum_amb, std::to_string(c.a)},
                         {Control::EditGLE, c.gle},
                         {Control::EditQME, c.qme},
                         {Control::EditNum_rep, c.r}};
    const TRunOutcome out = RunCommand(*FindAnalysisCommand("linbinns"), *session, host);
    EXPECT_EQ(out.variablesAnalysed, 1) << c.golden;
    EXPECT_EQ(session->report.Text(), testing::Golden(c.golden)) << c.golden;
    EXPECT_EQ(host.Events("dialog:"),
              (std::vector<std::string>{"Parâmetros", "Parâmetros para yield"}));
    EXPECT_TRUE(host.Events("warn:").empty());
    EXPECT_EQ(host.reportShown, 1);
  }
}

// Additive data (Y = genotype + environment) run parallel to the envelope of the maxima:
// every D(i,j) is 0, so P(i) is all genetic (G1 = (12 - 14)^2 / 2 = 2 for genotype 1) and
// the shares of a zero interaction are undefined.
TEST(LinBinns, NoInteractionLeavesTheContributionsUndefined) {
  auto means = std::make_unique<TGxeMeans>();
  means->Y(1, 1) = 10, means->Y(1, 2) = 14, means->Y(2, 1) = 12, means->Y(2, 2) = 16;
  TAnalysisParams p;
  p.g = 2, p.a = 2, p.r = 1, p.gle = 10, p.QME = 1.5;
  const testing::TStepRun result = testing::RunStep(LinBinnsMethod(), *means, p);
  EXPECT_FALSE(result.Refused());
  const std::string& text = result.text;
  for (const char* line :
       {"       1         2.000000           0.000000                  -\r\n",
        "       2         0.000000           0.000000                  -\r\n",
        "Obs. Soma dos desvios da interação igual a zero (dados sem interação): percentagens "
        "indefinidas.\r\n",
        "Obs. QMGxA =                     0.000000\r\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
  }
  EXPECT_FALSE(testing::HasNonFinite(text)) << text;
}

TEST(LinBinns, DegenerateInputIsRefusedBeforeAnyLine) {
  struct Case {
    int g, a;
    double r;
    int gle;
    double y11;
    std::string cause;
  };
  const Case cases[] = {
      {1, 2, 1, 10, 10,
       "Lin & Binns requer pelo menos 2 genótipos (g = 1): sem interação genótipo x ambiente"},
      {2, 1, 1, 10, 10,
       "Lin & Binns requer pelo menos 2 ambientes (a = 1): sem interação genótipo x ambiente"},
      {2, 2, 0, 10, 10, "o número de repetições r deve ser maior que zero (r = 0)"},
      {2, 2, 1, 0, 10,
       "os graus de liberdade do resíduo devem ser maiores que zero (gle = 0): o ponto de corte "
       "F não existe"},
      {2, 2, 1, 10, 1e200,
       "valores grandes demais: as somas de quadrados excedem a capacidade dos números reais"},
  };
  for (const Case& c : cases) {
    auto means = std::make_unique<TGxeMeans>();
    means->Y(1, 1) = c.y11, means->Y(1, 2) = 12, means->Y(2, 1) = 14, means->Y(2, 2) = 20;
    TAnalysisParams p;
    p.g = c.g, p.a = c.a, p.r = c.r, p.gle = c.gle, p.QME = 1.5;
    const testing::TStepRun result = testing::RunStep(LinBinnsMethod(), *means, p);
    EXPECT_TRUE(result.Refused()) << c.cause;
    EXPECT_EQ(result.Cause(), c.cause);
    EXPECT_EQ(result.text, "");
  }
}

}  // namespace
}  // namespace qv
