// The Toler command through the host port: the bisegmented run over a CSV table, then the
// simple linear model on the last variable, then the report window.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "segmented/toler.h"
#include "segmented/tolerlinear.h"
#include "support/scripted_host.h"

namespace qv {
namespace {

using testing::ScriptedHost;

int Count(const std::string& text, const std::string& piece) {
  int n = 0;
  for (std::size_t pos = text.find(piece); pos != std::string::npos;
       pos = text.find(piece, pos + 1)) {
    ++n;
  }
  return n;
}

const double kBase[4][6] = {{6.1, 8.3, 9.0, 11.2, 12.9, 14.8},
                            {7.5, 8.4, 9.3, 10.1, 12.6, 14.0},
                            {3.9, 6.8, 7.9, 10.6, 11.4, 12.1},
                            {5.2, 7.9, 8.4, 10.9, 13.8, 15.6}};

// The three variables of the table: the base means, a rescaled copy and a perturbed copy.
double Value(int variable, int i, int j) {
  const double y = kBase[i - 1][j - 1];
  if (variable == 1) return y;
  if (variable == 2) return 2 * y + 1;
  return y + 0.25 * ((i * j) % 3);
}

const TAnalysisCommand& Toler() {
  return *FindAnalysisCommand("toler");
}

class TolerCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("qv_toler_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  static void TypeEntries(ScriptedHost& host, int g, int a) {
    host.form.entries = {{Control::EditNum_gen, std::to_string(g)},
                         {Control::EditNum_amb, std::to_string(a)},
                         {Control::EditGLE, "36"},
                         {Control::EditQME, "0.35"},
                         {Control::EditNum_rep, "3"}};
  }

  // gen, amb, Y1, Y2, Y3 for g genotypes in a environments (values of the base table repeated).
  std::string WriteTable(int g, int a) {
    const std::string path = (dir_ / "means.csv").string();
    std::ofstream out(path, std::ios::binary);
    out << "gen,amb,Y1,Y2,Y3\n";
    char buf[64];
    for (int i = 1; i <= g; ++i) {
      for (int j = 1; j <= a; ++j) {
        out << i << ',' << j;
        for (int v = 1; v <= 3; ++v) {
          std::snprintf(buf, sizeof buf, ",%.17g", Value(v, (i - 1) % 4 + 1, (j - 1) % 6 + 1));
          out << buf;
        }
        out << '\n';
      }
    }
    return path;
  }

  std::filesystem::path dir_;
};

TEST_F(TolerCommandTest, ThreeVariablesThenTheSimpleModelOfTheLast) {
  auto session = std::make_unique<TSession>();
  ScriptedHost host;
  TypeEntries(host, 4, 6);
  host.file = WriteTable(4, 6);
  const TRunOutcome out = RunCommand(Toler(), *session, host);

  EXPECT_FALSE(out.abandoned || out.aborted);
  ASSERT_EQ(out.variables.size(), 3u);
  EXPECT_FALSE(out.variables.back().continuation.Empty());
  EXPECT_TRUE(host.Events("warn:").empty());
  EXPECT_EQ(host.reportShown, 1);
  EXPECT_EQ(host.log.front(), "busy:on");
  EXPECT_EQ(host.log.back(), "busy:off");
  EXPECT_FALSE(session->table.IsOpen());
  for (Control c : kAllControls) EXPECT_TRUE(host.form.visible[c]);

  const std::string& text = session->report.Text();
  EXPECT_EQ(host.shownReport, text);
  EXPECT_EQ(Count(text, kTolerTitleLine), 3);
  EXPECT_EQ(Count(text, "segundo  o modelo de Toler, J.E.(1990)"), 3);
  EXPECT_EQ(Count(text, "segundo o modelo linear simples de Toler"), 1);

  // The report ends with the third variable's block and the simple model fitted to its means,
  // as the computations give them for a hand-filled means matrix.
  auto means = std::make_unique<TGxeMeans>();
  TAnalysisParams p = session->params;
  means->MediaGeral = 0;
  for (int i = 1; i <= 4; ++i) {
    for (int j = 1; j <= 6; ++j) {
      means->Y(i, j) = Value(3, i, j);
      means->MediaGeral = means->MediaGeral + Value(3, i, j) / (4.0 * 6.0);
    }
  }
  TFitStorage storage;
  const TComputed<TTolerResult> bisegmented = TolerCompute(*means, p, storage);
  ASSERT_FALSE(bisegmented.Refused());
  TReport expected;
  expected.Append(kTolerTitleLine);
  expected.Append("Análise da variável Y3\r\n");
  AppendTolerReport(expected, *bisegmented, '.');
  const TComputed<TTolerLinearResult> linear =
      TolerLinearCompute(*means, bisegmented->means.margins, bisegmented->T, p, storage);
  ASSERT_FALSE(linear.Refused());
  AppendTolerLinearReport(expected, *linear, '.');
  ASSERT_GE(text.size(), expected.Text().size());
  EXPECT_EQ(text.substr(text.size() - expected.Text().size()), expected.Text());
  EXPECT_EQ(out.variables.back().result.As<TTolerResult>()->T, bisegmented->T);
}

// Runs that end without the simple model.
TEST_F(TolerCommandTest, NoSimpleModelWithoutAnAnalysedLastVariable) {
  const std::string tooFew =
      "Impossível realizar essa análise, pois é preciso\r que g*a>3*g+a, o que não ocorreu nesse "
      "caso! Sinto muito!";
  struct Case {
    const char* name;
    int g, a;
    bool cancel;          // no table chosen
    const char* qmeOfY3;  // QME typed for the last variable
    bool abandon;
    int shown;
    std::string warning;  // the first warning shown
  };
  const Case cases[] = {
      // The size check abandons the run: no simple model, no report window.
      {"size", 2, 3, false, "0.35", true, 0, tooFew},
      // No table: nothing analysed, the report cleared and shown.
      {"cancel", 4, 6, true, "0.35", false, 1, ""},
      // The last variable refused: its means are not those of an analysed variable.
      {"refused", 4, 6, false, "0", false, 1,
       "o quadrado médio do resíduo deve ser maior que zero (QME = 0)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto session = std::make_unique<TSession>();
    ScriptedHost host;
    session->report.SetText("previous report\r\n");
    TypeEntries(host, c.g, c.a);
    host.form.variableEntries["Y3"][Control::EditQME] = c.qmeOfY3;
    if (!c.cancel) host.file = WriteTable(c.g, c.a);

    const TRunOutcome out = RunCommand(Toler(), *session, host);
    EXPECT_EQ(out.abandoned, c.abandon);
    for (const TVariableRecord& v : out.variables) EXPECT_TRUE(v.continuation.Empty());
    EXPECT_EQ(host.reportShown, c.shown);
    const auto warnings = host.Events("warn:");
    EXPECT_EQ(warnings.empty() ? std::string() : warnings.front(), c.warning);
    EXPECT_EQ(Count(session->report.Text(), "modelo linear simples"), 0);
    EXPECT_FALSE(host.busy);
    if (c.cancel) {
      EXPECT_EQ(session->report.Text(), "");
    }
  }
}

}  // namespace
}  // namespace qv
