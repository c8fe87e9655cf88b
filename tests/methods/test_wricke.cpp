// Wricke's computation step on hand-filled means, without dialogs or files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analysis/layout.h"
#include "methods/wricke.h"
#include "support/steps.h"

namespace qv {
namespace {

void Fill(TGxeMeans& m, TAnalysisParams& p, const std::vector<std::vector<double>>& y, double r) {
  p.g = static_cast<int>(y.size());
  p.a = static_cast<int>(y[0].size());
  p.r = r;
  m.MediaGeral = 0;
  for (int i = 1; i <= p.g; ++i) {
    for (int j = 1; j <= p.a; ++j) {
      m.Y(i, j) = y[i - 1][j - 1];
      m.MediaGeral += y[i - 1][j - 1] / (p.g * p.a);
    }
  }
}

// Fractional r multiplies every W(i) (worked example: W = 2r, total 4r), shares unchanged.
TEST(Wricke, FractionalReplicatesScaleEveryEcovalence) {
  TGxeMeans m;
  TAnalysisParams p;
  Fill(m, p, {{10, 12}, {14, 20}}, 2.5);
  const testing::TStepRun run = testing::RunStep(WrickeMethod(), m, p);
  EXPECT_NE(run.text.find("       1      11.000000       5.000000      50.000000\r\n"),
            std::string::npos);
  EXPECT_NE(
      run.text.find(std::string("média                 ") + "       10.00000" + "      100.00\r\n"),
      std::string::npos);
}

// Purely additive data: every W(i) is 0 up to rounding, and the shares of a zero total are
// undefined; the report says so instead of printing "Nan" or shares of rounding noise.
TEST(Wricke, NoInteractionLeavesTheSharesUndefined) {
  TGxeMeans m;
  TAnalysisParams p;
  Fill(m, p, {{1, 2, 4}, {3, 4, 6}}, 1);
  const testing::TStepRun run = testing::RunStep(WrickeMethod(), m, p);
  const std::string& t = run.text;
  EXPECT_EQ(t.find("Nan"), std::string::npos);
  EXPECT_NE(t.find(std::string("       1") + "       2.333333" + "       0.000000" +
                   "              -\r\n"),
            std::string::npos);
  EXPECT_NE(t.find(std::string("média                 ") + "        0.00000" + "           -\r\n"),
            std::string::npos);
  EXPECT_NE(t.find("Obs. Soma dos W(i) igual a zero (dados sem interação): percentagens "
                   "indefinidas.\r\n"),
            std::string::npos);
}

}  // namespace
}  // namespace qv
