// The analysis run through a scripted host, with Wricke's command as the method: the dialog
// flows with their exact texts, the reading of the records, and complete reports.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <tuple>

#include "analysis/run.h"
#include "commands/commands.h"
#include "support/golden.h"
#include "support/scripted_host.h"
#include "support/text.h"

namespace qv {
namespace {

namespace fs = std::filesystem;
using testing::Golden;
using testing::ScriptedForm;
using testing::ScriptedHost;

TRunOutcome WrickeRun(TSession& session, ScriptedHost& host) {
  return RunCommand(*FindAnalysisCommand("wricke"), session, host);
}

class RunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("qv_run_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string Table(const std::string& csv, const std::string& name = "t.csv") {
    const fs::path p = dir / name;
    std::ofstream(p, std::ios::binary) << csv;
    host.file = p.string();
    return p.string();
  }
  void Entries(const std::string& g, const std::string& a, const std::string& r = "1") {
    host.form.entries[Control::EditNum_gen] = g;
    host.form.entries[Control::EditNum_amb] = a;
    host.form.entries[Control::EditNum_rep] = r;
  }

  fs::path dir;
  TSession session;
  ScriptedHost host;
};

const char* const kWricke2x2 = "gen,env,yield\n1,1,10\n1,2,12\n2,1,14\n2,2,20\n";
const char* const kWrickeTitle =
    "Análise de Quorvandelia de Acordo com o modelo de Wricke (1965)\r\n";
const char* const kWrickeNote =
    "Obs. Ômega (W) é o parâmetro de quorvandelia do método de Wricke (1965)\r\n";

// The worked example of the method, checked by hand: genotype means 11 and 17, environment
// means 12 and 16, grand mean 14, every interaction effect +-1, so W(i) = 2r and the shares
// are 50 % each.
TEST_F(RunTest, WrickeWorkedExamples) {
  for (const auto& [r, golden] :
       {std::pair{"1", "wricke_2x2_r1.txt"}, {"4", "wricke_2x2_r4.txt"}}) {
    Table(kWricke2x2);
    Entries("2", "2", r);
    const TRunOutcome out = WrickeRun(session, host);
    EXPECT_TRUE(out.tableOpened && !out.abandoned && !out.dataError);
    EXPECT_EQ(out.variablesAnalysed, 1);
    EXPECT_EQ(session.report.Text(), Golden(golden)) << golden;
  }
  EXPECT_EQ(host.reportShown, 2);
  EXPECT_FALSE(session.table.IsOpen());
}

TEST_F(RunTest, PhaseOneShowsTheMethodsControlsAndRestoresThemAll) {
  Table(kWricke2x2);
  Entries("2", "2");
  std::map<Control, bool> seen;
  host.form.onShow.push_back([&](ScriptedForm& f) { seen = f.visible; });
  WrickeRun(session, host);
  EXPECT_EQ(host.Events("dialog:"), std::vector<std::string>{"Parâmetros"});
  EXPECT_TRUE(seen[Control::EditNum_rep] && seen[Control::EditNum_gen] &&
              seen[Control::EditNum_amb] && seen[Control::ListBoxgenot] &&
              seen[Control::ListBoxAmb]);
  EXPECT_FALSE(seen[Control::EditAlpha] || seen[Control::EditGLE] || seen[Control::EditQME]);
  for (Control c : kAllControls) EXPECT_TRUE(host.form.visible[c]);
}

// "No" to the confirmation shows the dialog again with both lists reset to the first and
// second field, while the typed entries keep their text.
TEST_F(RunTest, NoToTheConfirmationAsksAgainWithListsReset) {
  Table("a,gen,env,yield\n1,1,1,10\n1,1,2,12\n1,2,1,14\n1,2,2,20\n");
  Entries("2", "2");
  host.confirmAnswers = {false, true};
  int genotSelectedAtSecondShow = -1, ambSelectedAtSecondShow = -1;
  host.form.onShow.push_back([](ScriptedForm& f) {
    f.SelectListItem(Control::ListBoxgenot, 1);
    f.SelectListItem(Control::ListBoxAmb, 2);
  });
  host.form.onShow.push_back([&](ScriptedForm& f) {
    genotSelectedAtSecondShow = f.SelectedIndex(Control::ListBoxgenot);
    ambSelectedAtSecondShow = f.SelectedIndex(Control::ListBoxAmb);
    f.SelectListItem(Control::ListBoxgenot, 1);
    f.SelectListItem(Control::ListBoxAmb, 2);
  });
  WrickeRun(session, host);
  EXPECT_EQ(host.Events("dialog:").size(), 2u);
  EXPECT_EQ(host.Events("confirm:"),
            (std::vector<std::string>{text::kConfirmParams, text::kConfirmParams}));
  EXPECT_EQ(genotSelectedAtSecondShow, 0);
  EXPECT_EQ(ambSelectedAtSecondShow, 1);
  EXPECT_EQ(host.form.entries[Control::EditNum_gen], "2");
  // Field "a" (all ones) is analysed too: it is neither code column nor text.
  EXPECT_NE(session.report.Text().find("Análise da variável a\r\n"), std::string::npos);
  EXPECT_NE(session.report.Text().find("Análise da variável yield\r\n"), std::string::npos);
}

// Phase-1 checks: only the first failing check of a pass is reported, then the question.
TEST_F(RunTest, PhaseOneChecksInOrder) {
  const struct {
    const char *g, *a, *r;
    int genot, amb;
    const char* message;
  } cases[] = {
      {"x", "x", "x", 0, 0, "< r >: O valor de r deve ser inteiro: "},
      {"2.0", "2", "1", 0, 1, "< g >: O valor de g deve ser inteiro: "},
      {"2", "2,0", "1", 0, 1, "< a >: O valor de a deve ser inteiro: "},
      {"601", "2", "1", 0, 1,
       "< g >: O número de genótipos não pode passar de 600 (capacidade do programa)"},
      {"2", "601", "1", 0, 1,
       "< a >: O número de ambientes não pode passar de 600 (capacidade do programa)"},
      {"2", "2", "1", 1, 1, "O valor da coluna dos ambientes deve ser diferente da\r de genótipos"},
  };
  for (const auto& c : cases) {
    host.Reset();
    Table(kWricke2x2);
    Entries(c.g, c.a, c.r);
    host.form.onShow.push_back([&](ScriptedForm& f) {
      f.SelectListItem(Control::ListBoxgenot, c.genot);
      f.SelectListItem(Control::ListBoxAmb, c.amb);
    });
    session.report.SetText("previous report");
    const TRunOutcome out = WrickeRun(session, host);
    EXPECT_EQ(host.Events("warn:"), std::vector<std::string>{c.message});
    EXPECT_EQ(host.Events("warn-yes-no:"), std::vector<std::string>{text::kErrorsContinue});
    EXPECT_TRUE(out.abandoned && out.parametersRefused);
    EXPECT_EQ(session.report.Text(), "previous report");  // No leaves the report as it was
    EXPECT_EQ(host.reportShown, 1);  // Wricke still shows its window after an abandoned run
  }
}

TEST_F(RunTest, YesToErrorsFoundGoesBackToTheWholeFirstPhase) {
  Table(kWricke2x2);
  Entries("dois", "2");
  host.warnYesNoAnswers = {true};
  host.form.onShow.push_back([](ScriptedForm&) {});
  host.form.onShow.push_back([](ScriptedForm& f) { f.entries[Control::EditNum_gen] = "2"; });
  const TRunOutcome out = WrickeRun(session, host);
  EXPECT_EQ(host.Events("dialog:"), (std::vector<std::string>{"Parâmetros", "Parâmetros"}));
  EXPECT_EQ(out.variablesAnalysed, 1);
  EXPECT_EQ(session.report.Text(), Golden("wricke_2x2_r1.txt"));
}

TEST_F(RunTest, CancelledFileDialogClearsAndShowsTheReport) {
  session.report.SetText("previous report");
  host.file.reset();
  const TRunOutcome out = WrickeRun(session, host);
  EXPECT_FALSE(out.tableOpened);
  EXPECT_TRUE(host.Events("dialog:").empty());
  EXPECT_EQ(session.report.Text(), "");
  EXPECT_EQ(host.reportShown, 1);
}

// The box keeps the program's advice; the table layer's precise cause goes with it, for the
// hosts that can show both (the command line prints it on the next line).
TEST_F(RunTest, UnreadableTableShowsTheOpenMessageAndItsCause) {
  const std::string missing = Table("", "missing-dir/none.db");
  session.report.SetText("previous report");
  const TRunOutcome out = WrickeRun(session, host);
  EXPECT_EQ(host.Events("message:"), std::vector<std::string>{text::kOpenFailed});
  EXPECT_EQ(out.openError, "Tabela \"" + missing + "\": o arquivo não existe.");
  EXPECT_EQ(session.report.Text(), "");
}

// A table has at least one genotype and one environment: g or a of 0 or less is a parameter
// error of the dialog, not a database error of every record.
TEST_F(RunTest, NoGenotypesOrEnvironmentsIsRefusedInTheDialog) {
  for (const auto& [g, a, message] :
       {std::tuple{"0", "2", "< g >: O número de genótipos deve ser maior que zero"},
        {"2", "-1", "< a >: O número de ambientes deve ser maior que zero"}}) {
    host.Reset();
    Table(kWricke2x2);
    Entries(g, a);
    const TRunOutcome out = WrickeRun(session, host);
    EXPECT_EQ(host.Events("warn:"), std::vector<std::string>{message});
    EXPECT_TRUE(out.parametersRefused);
    EXPECT_TRUE(out.variables.empty());
  }
}

// The report keeps one line per line whatever a field name holds.
TEST_F(RunTest, ControlCharactersOfAFieldNameNeverReachTheReport) {
  Table("gen,env,\"y\r\nAnálise da variável forjada\x1b[0m\"\n1,1,10\n1,2,12\n2,1,14\n2,2,20\n");
  Entries("2", "2");
  WrickeRun(session, host);
  EXPECT_NE(
      session.report.Text().find("Análise da variável y??Análise da variável forjada?[0m\r\n"),
      std::string::npos);
  EXPECT_EQ(testing::LinesStartingWith(session.report.Text(), "Análise da variável").size(), 1u);
}

TEST_F(RunTest, TableWithOnlyCodeColumnsLeavesAnEmptyReport) {
  Table("gen,env\n1,1\n");
  Entries("1", "1");
  session.report.SetText("previous report");
  const TRunOutcome out = WrickeRun(session, host);
  EXPECT_EQ(session.report.Text(), "");
  EXPECT_EQ(out.variablesAnalysed, 0);
}

// A one-field table leaves the environment list without a selection: that is refused like a
// column beyond the last field, and no record is read with a column that does not exist.
TEST_F(RunTest, SingleFieldTableIsRefusedInTheDialog) {
  Table("gen\n1\n");
  Entries("1", "1");
  const TRunOutcome out = WrickeRun(session, host);
  EXPECT_EQ(host.Events("warn:"),
            std::vector<std::string>{"O valor da coluna dos ambientes deve ser deve ser inteiro "
                                     "\rou inferior ao número de colunas do arquivo!"});
  EXPECT_TRUE(out.parametersRefused);
}

// Reading errors: the first bad record stops the variable; the box text names the cause.
TEST_F(RunTest, ReadingErrors) {
  const struct {
    const char* name;
    const char* csv;
    std::string box;  // empty: the reading succeeds
  } cases[] = {
      {"codes truncated toward zero", "gen,env,y\n1.9,1,10\n1,2.9,12\n2,1,14\n2.5,2,20\n", ""},
      {"blank value", "gen,env,y\n1,1,10\n1,2,\n2,1,14\n2,2,20\n", text::kDatabaseError},
      {"blank code", "gen,env,y\n1,1,10\n,2,12\n2,1,14\n2,2,20\n", text::kDatabaseError},
      {"genotype beyond g", "gen,env,y\n1,1,10\n1,2,12\n3,1,14\n2,2,20\n", text::kDatabaseError},
      {"code 0.5 is 0", "gen,env,y\n1,1,10\n1,0.5,12\n2,1,14\n2,2,20\n", text::kDatabaseError},
      {"missing cell", "gen,env,y\n1,1,10\n2,1,14\n2,2,20\n",
       "Falta no Banco de Dados o registro do genótipo 1 no ambiente 2.\rA tabela deve ter um "
       "registro de cada genótipo em cada ambiente."},
      {"duplicate cell", "gen,env,y\n1,1,10\n1,2,12\n2,1,14\n2,2,20\n1,2,13\n",
       "Registro duplicado no Banco de Dados: o genótipo 1 no ambiente 2 aparece mais de uma vez "
       "(registro 5).\rCada genótipo deve ter um só registro em cada ambiente."},
      // A bad cell of the variable makes the reading go value by value: what comes before it
      // is refused as it would be otherwise.
      {"duplicate cell before a bad cell", "gen,env,y\n1,1,10\n1,2,12\n2,1,14\n1,2,13\n2,2,NA\n",
       "Registro duplicado no Banco de Dados: o genótipo 1 no ambiente 2 aparece mais de uma vez "
       "(registro 4).\rCada genótipo deve ter um só registro em cada ambiente."},
      {"blank value before a bad cell", "gen,env,y\n1,1,10\n1,2,\n2,1,NA\n2,2,20\n",
       text::kDatabaseError},
      {"text in a code column", "gen,env,y\nG1,1,10\n1,2,12\n2,1,14\n2,2,20\n",
       "Valor não numérico no Banco de Dados: o campo \"gen\" do registro 1 (linha 2 do arquivo) "
       "contém \"G1\".\rAs colunas de genótipos e de ambientes e as variáveis analisadas devem "
       "ser numéricas."},
      // A column of numbers with a bad cell is still a column of numbers: the first bad cell
      // is named, with the line of the file (blank lines and quoted line breaks counted).
      {"a missing-value mark", "gen,env,y\n1,1,10\n\n1,2,NA\n2,1,14\n2,2,20\n",
       "Valor não numérico no Banco de Dados: o campo \"y\" do registro 2 (linha 4 do arquivo) "
       "contém \"NA\".\rAs colunas de genótipos e de ambientes e as variáveis analisadas devem "
       "ser numéricas.\rUm valor ausente não pode ser analisado: a tabela deve ter a média de "
       "cada genótipo em cada ambiente."},
      {"a decimal comma", "gen;env;y\n1;1;10\n1;2;12,5\n2;1;14\n2;2;20\n",
       "Valor não numérico no Banco de Dados: o campo \"y\" do registro 2 (linha 3 do arquivo) "
       "contém \"12,5\".\rAs colunas de genótipos e de ambientes e as variáveis analisadas "
       "devem ser numéricas.\rO valor tem vírgula decimal: os números devem usar ponto (1.5, não "
       "1,5)."},
      {"beyond a double", "gen,env,y\n1,1,10\n1,2,12\n2,1,1e309\n2,2,20\n",
       "Valor não numérico no Banco de Dados: o campo \"y\" do registro 3 (linha 4 do arquivo) "
       "contém \"1e309\".\rAs colunas de genótipos e de ambientes e as variáveis analisadas "
       "devem ser numéricas.\rO número está fora do alcance do programa (de 1e-308 a 1e308, em "
       "valor absoluto)."},
      // A field name or cell with control characters cannot forge lines or drive a terminal.
      {"control characters", "gen,env,\"y\r\nz\"\n1,1,10\n1,2,\"\x1b[2J\"\n2,1,14\n2,2,20\n",
       "Valor não numérico no Banco de Dados: o campo \"y??z\" do registro 2 (linha 4 do arquivo) "
       "contém \"?[2J\".\rAs colunas de genótipos e de ambientes e as variáveis analisadas devem "
       "ser numéricas."},
  };
  for (const auto& c : cases) {
    host.Reset();
    Table(c.csv);
    Entries("2", "2");
    session.params.g = 2;
    session.params.a = 2;
    session.params.colGenot = 1;
    session.params.colAmb = 2;
    session.table.SetName(*host.file);
    session.table.Open();
    const std::optional<TReadError> error = ReadVariable(session, 3, true);
    session.table.Close();
    EXPECT_EQ(error ? error->message : "", c.box) << c.name;
    if (c.box.empty()) {
      // 1.9 -> genotype 1, 2.9 -> environment 2, 2.5 -> genotype 2.
      EXPECT_EQ(session.means.Y(1, 1), 10);
      EXPECT_EQ(session.means.Y(1, 2), 12);
      EXPECT_EQ(session.means.Y(2, 2), 20);
      EXPECT_DOUBLE_EQ(session.means.MediaGeral, 14.0);
    }
  }
}

// Once a variable fails, every later variable gets its title lines, the box and the ERRO line
// without its records being read again.
TEST_F(RunTest, AFailedVariableStopsTheRestOfTheRun) {
  Table("gen,env,y1,label,y2\n1,1,10,a,1\n1,2,,b,2\n2,1,14,c,3\n2,2,20,d,4\n");
  Entries("2", "2");
  const TRunOutcome out = WrickeRun(session, host);
  EXPECT_TRUE(out.dataError);
  EXPECT_EQ(out.variablesAnalysed, 0);
  const std::string expected = std::string(kWrickeTitle) + "Análise da variável y1\r\n" +
                               kWrickeNote + text::kErrorLine + kWrickeTitle +
                               "Análise da variável y2\r\n" + kWrickeNote + text::kErrorLine;
  EXPECT_EQ(session.report.Text(), expected);
  EXPECT_EQ(host.Events("warn:"),
            (std::vector<std::string>{text::kDatabaseError, text::kDatabaseError}));
}

// A step learns whether a numeric variable follows it: the Toler command starts on the last
// variable's continuation beside its step. Text fields are no variables.
TEST_F(RunTest, TheLastNumericVariableIsToldSo) {
  Table("gen,env,y1,label,y2,tag\n1,1,1,p,5,x\n1,2,2,q,6,y\n2,1,3,r,7,z\n2,2,4,s,8,w\n");
  Entries("2", "2");
  TMethod m;
  std::vector<bool> last;
  m.compute = [&](const TComputeContext& c) {
    last.push_back(c.lastVariable);
    return TStepResult::Done({});
  };
  const TRunOutcome out = RunAnalysis(m, session, host);
  ASSERT_EQ(out.variablesAnalysed, 2) << session.report.Text();
  EXPECT_EQ(last, (std::vector<bool>{false, true}));
}

// A method with a second phase: the dialog comes back until every entry converts (and, for a
// method that asks for it, is positive), with no other way out.
TEST_F(RunTest, PhaseTwoLoopsUntilTheEntriesAreValid) {
  Table(kWricke2x2);
  Entries("2", "2");
  TMethod m;
  m.phase2Entries = {Entry::GLE, Entry::QME, Entry::NumRep};
  m.phase2RequirePositive = true;
  m.repMessage = "< r >: O valor de r deve ser inteiro (ou real): ";
  m.titleLine = "T\r\n";
  TAnalysisParams seen;
  m.compute = [&](const TComputeContext& c) {
    seen = c.params;
    return TStepResult::Done({});
  };
  auto set = [](const char* gle, const char* qme, const char* r) {
    return [=](ScriptedForm& f) {
      f.entries[Control::EditGLE] = gle;
      f.entries[Control::EditQME] = qme;
      f.entries[Control::EditNum_rep] = r;
    };
  };
  host.form.onShow = {[](ScriptedForm&) {},  set("1.5", "2", "3"), set("10", "x", "3"),
                      set("10", "2", "3,5"), set("10", "0", "3"),  set("10", "2.5", "3")};
  const TRunOutcome out = RunAnalysis(m, session, host);
  EXPECT_EQ(host.Events("warn:"),
            (std::vector<std::string>{"< gle >: O valor de gle deve ser real ",
                                      "< QME >: O valor de QME deve ser inteiro: ",
                                      "< r >: O valor de r deve ser inteiro (ou real): "}));
  EXPECT_EQ(host.Events("dialog:"),
            (std::vector<std::string>{"Parâmetros", "Parâmetros para yield",
                                      "Parâmetros para yield", "Parâmetros para yield",
                                      "Parâmetros para yield", "Parâmetros para yield"}));
  EXPECT_EQ(out.variablesAnalysed, 1);
  EXPECT_EQ(seen.gle, 10);
  EXPECT_EQ(seen.QME, 2.5);
  EXPECT_EQ(seen.r, 3.0);
  EXPECT_EQ(session.report.Text(), "T\r\nAnálise da variável yield\r\n");
}

// Two fields of the same name are two variables: the dialog learns which field it is asked
// about by its position, so that one's answers are never taken for the other's.
TEST_F(RunTest, PhaseTwoTellsFieldsOfTheSameNameApart) {
  Table("gen,env,y,y\n1,1,1,5\n1,2,2,6\n2,1,3,7\n2,2,4,8\n");
  Entries("2", "2");
  struct TForm : ScriptedForm {
    using ScriptedForm::ScriptedForm;
    void VariableStarted(int field, const std::string& name) override {
      started.push_back(std::to_string(field) + ":" + name);
    }
    std::vector<std::string> started;
  };
  std::vector<std::string> log;
  TForm form(log);
  struct THostWithForm : ScriptedHost {
    TParametersForm* f = nullptr;
    TParametersForm& Params() override { return *f; }
  } h;
  h.f = &form;
  h.file = host.file;
  form.entries = host.form.entries;
  form.entries[Control::EditGLE] = "10";
  form.entries[Control::EditQME] = "1";
  TMethod m;
  m.phase2Entries = {Entry::GLE, Entry::QME, Entry::NumRep};
  m.compute = [](const TComputeContext&) { return TStepResult::Done({}); };
  const TRunOutcome out = RunAnalysis(m, session, h);
  EXPECT_EQ(form.started, (std::vector<std::string>{"3:y", "4:y"}));
  EXPECT_EQ(out.variablesAnalysed, 2);
}

TEST_F(RunTest, AlphaEntry) {
  const struct {
    const char* entry;
    double alpha;
    bool warned;
  } cases[] = {{"0.05", 0.95, false}, {"0.10", 0.90, false}, {"0,05", 0.95, true},
               {"1.5", 0.95, false},  {"0", 0.95, false},    {"", 0.95, true}};
  TMethod m;
  m.phase1Caption = "Parâmetros ";
  m.phase1Extras = {Entry::Alpha};
  m.compute = [](const TComputeContext&) { return TStepResult::Done({}); };
  for (const auto& c : cases) {
    host.Reset();
    Table(kWricke2x2);
    Entries("2", "2");
    host.form.entries[Control::EditAlpha] = c.entry;
    session.params.Alpha = 0.0;
    const TRunOutcome out = RunAnalysis(m, session, host);
    EXPECT_DOUBLE_EQ(session.params.Alpha, c.alpha) << c.entry;
    EXPECT_EQ(host.Events("warn:").size(), c.warned ? 1u : 0u) << c.entry;
    EXPECT_EQ(out.variablesAnalysed, 1) << c.entry;  // never an error of the run
    EXPECT_EQ(host.Events("dialog:"), std::vector<std::string>{"Parâmetros "});
  }
}

// A refusal for a parameter outside the method's domain is counted apart (the command line
// exits as for bad parameters); the run goes on as for any refusal.
TEST_F(RunTest, RefusalsOfBadParametersAreCounted) {
  Table("gen,env,y1,y2\n1,1,1,5\n1,2,2,6\n2,1,3,7\n2,2,4,8\n");
  Entries("2", "2");
  TMethod m;
  int calls = 0;
  m.compute = [&](const TComputeContext&) {
    if (calls++ == 0) return TStepResult::Refuse(TRefusal::BadParameter("r deve ser positivo"));
    return TStepResult::Refuse(TRefusal::OfVariable("dados ruins"));
  };
  const TRunOutcome out = RunAnalysis(m, session, host);
  EXPECT_EQ(out.variablesRefused, 2);
  EXPECT_EQ(out.parameterRefusals, 1);
}

// A refusal by the method: its warning, one report line, and the run goes on.
TEST_F(RunTest, RefusedVariableDoesNotStopTheRun) {
  Table("gen,env,y1,y2\n1,1,1,5\n1,2,2,6\n2,1,3,7\n2,2,4,8\n");
  Entries("2", "2");
  TMethod m;
  m.titleLine = "T\r\n";
  int calls = 0;
  m.compute = [&](const TComputeContext& c) {
    if (calls++ == 0) return TStepResult::Refuse(TRefusal::OfVariable("QME igual a zero"));
    c.report.AppendLine("ok");
    return TStepResult::Done({});
  };
  const TRunOutcome out = RunAnalysis(m, session, host);
  EXPECT_EQ(out.variablesRefused, 1);
  EXPECT_EQ(out.variablesAnalysed, 1);
  EXPECT_EQ(session.report.Text(),
            "T\r\nAnálise da variável y1\r\nVariável não analisada: QME igual a zero\r\n"
            "T\r\nAnálise da variável y2\r\nok\r\n");
  EXPECT_EQ(host.Events("warn:"), std::vector<std::string>{"QME igual a zero"});
  ASSERT_EQ(out.variables.size(), 2u);
  EXPECT_EQ(out.variables[0].status, TVariableStatus::Refused);
  EXPECT_EQ(out.variables[0].cause, "QME igual a zero");
  EXPECT_EQ(out.variables[1].status, TVariableStatus::Analysed);
}

}  // namespace
}  // namespace qv
