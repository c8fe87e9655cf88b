// The Toler command through the host port: the bisegmented run over a CSV table, then the
// simple linear model on the last variable.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "segmented/toler.h"
#include "segmented/tolerlinear.h"

namespace qv {
namespace {

// Answers every question Yes, types the entries it is given, and records what it is shown.
class Form : public TParametersForm {
 public:
  void SetCaption(const std::string& c) override { caption = c; }
  void SetControlVisible(Control c, bool v) override { visible[c] = v; }
  void SetListItems(Control l, const std::vector<std::string>& items) override { lists[l] = items; }
  void SelectListItem(Control l, int index) override { selected[l] = index; }
  int SelectedIndex(Control l) const override { return selected.at(l); }
  std::string EntryText(Control c) const override {
    // Per-variable entries ("Parâmetros para <name>") override the common ones.
    const auto v = perVariable.find(caption);
    if (v != perVariable.end() && v->second.count(c)) return v->second.at(c);
    return entries.count(c) ? entries.at(c) : std::string();
  }
  void ShowModal() override {}

  std::string caption;
  std::map<Control, bool> visible;
  std::map<Control, std::vector<std::string>> lists;
  std::map<Control, int> selected;
  std::map<Control, std::string> entries;
  std::map<std::string, std::map<Control, std::string>> perVariable;
};

class Host : public THost {
 public:
  std::optional<std::string> ChooseTableFile() override { return file; }
  TParametersForm& Params() override { return form; }
  bool Confirm(const std::string&) override { return true; }
  bool WarnYesNo(const std::string& text) override {
    warnings.push_back(text);
    return false;
  }
  void Warn(const std::string& text) override { warnings.push_back(text); }
  void Inform(const std::string& text) override { warnings.push_back(text); }
  void ShowMessage(const std::string& text) override { warnings.push_back(text); }
  void SetBusyCursor(bool busy) override { busyCursor = busy; }

  std::optional<std::string> file;
  Form form;
  std::vector<std::string> warnings;
  bool busyCursor = false;
};

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

class TolerCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("qv_toler_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
    session_.report.SetShowHandler([this](const TReport&) { ++shown_; });
    host_.form.entries = {{Control::EditNum_gen, "4"},
                          {Control::EditNum_amb, "6"},
                          {Control::EditGLE, "36"},
                          {Control::EditQME, "0.35"},
                          {Control::EditNum_rep, "3"}};
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

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
  TSession session_;
  Host host_;
  int shown_ = 0;
};

TEST_F(TolerCommandTest, ThreeVariablesThenTheSimpleModelOfTheLast) {
  host_.file = WriteTable(4, 6);
  const TTolerOutcome out = TolerCommand(session_, host_);

  EXPECT_FALSE(out.abandon);
  EXPECT_TRUE(out.simpleReported);
  EXPECT_TRUE(host_.warnings.empty());
  EXPECT_EQ(shown_, 1);
  EXPECT_FALSE(host_.busyCursor);
  EXPECT_FALSE(session_.table.IsOpen());
  for (Control c : kAllControls) EXPECT_TRUE(host_.form.visible[c]);

  const std::string& text = session_.report.Text();
  EXPECT_EQ(Count(text, kTolerTitleLine), 3);
  EXPECT_EQ(Count(text, "segundo  o modelo de Toler, J.E.(1990)"), 3);
  EXPECT_EQ(Count(text, "segundo o modelo linear simples de Toler"), 1);

  // The report ends with the third variable's block and the simple model fitted to its means,
  // as the computation steps give them for a hand-filled means matrix.
  TGxeMeans means;
  TAnalysisParams p = session_.params;
  means.MediaGeral = 0;
  for (int i = 1; i <= 4; ++i) {
    for (int j = 1; j <= 6; ++j) {
      means.Y(i, j) = Value(3, i, j);
      means.MediaGeral = means.MediaGeral + Value(3, i, j) / (4.0 * 6.0);
    }
  }
  TReport expected;
  expected.Append(kTolerTitleLine);
  expected.Append("Análise da variável Y3\r\n");
  TTolerState state;
  ASSERT_FALSE(TolerCompute(means, p, expected, state).refused);
  TolerSimpleCompute(means, p, expected, state.fit, state.T);
  ASSERT_GE(text.size(), expected.Text().size());
  EXPECT_EQ(text.substr(text.size() - expected.Text().size()), expected.Text());
  EXPECT_EQ(out.T, state.T);
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
    TSession session;
    Host host;
    int shown = 0;
    session.report.SetShowHandler([&](const TReport&) { ++shown; });
    session.report.SetText("previous report\r\n");
    host.form.entries = host_.form.entries;
    host.form.entries[Control::EditNum_gen] = std::to_string(c.g);
    host.form.entries[Control::EditNum_amb] = std::to_string(c.a);
    host.form.perVariable["Parâmetros para Y3"][Control::EditQME] = c.qmeOfY3;
    if (!c.cancel) host.file = WriteTable(c.g, c.a);

    const TTolerOutcome out = TolerCommand(session, host);
    EXPECT_EQ(out.abandon, c.abandon);
    EXPECT_FALSE(out.simpleReported);
    EXPECT_EQ(shown, c.shown);
    EXPECT_EQ(host.warnings.empty() ? std::string() : host.warnings.front(), c.warning);
    EXPECT_EQ(Count(session.report.Text(), "modelo linear simples"), 0);
    EXPECT_FALSE(host.busyCursor);
    if (c.cancel) {
      EXPECT_EQ(session.report.Text(), "");
    }
  }
}

}  // namespace
}  // namespace qv
