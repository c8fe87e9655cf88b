// Every analysis started from its menu item, end to end, with the file dialog, the parameters
// dialog and the message boxes answered through the real widgets; the report the window shows
// is the run's report, byte for byte.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>
#include <map>

#include "app_fixture.h"
#include "commands/commands.h"
#include "support/golden.h"
#include "support/scripted_host.h"
#include "support/tables.h"
#include "ui/paramsform.h"

namespace qv::testing {
namespace {

using Entries = std::map<std::string, std::string>;

const std::vector<std::string> k3x3 = {"10", "12", "14", "11", "15", "13", "9", "10", "16"};
const std::vector<std::string> k4x8 = {
    "4.5", "5",    "6",    "7.1",  "9.3",  "10.9", "12.4", "14.5", "5.9",  "7.3", "9.3",
    "11",  "12.8", "14.4", "14.5", "15.2", "3.4",  "5.2",  "6.4",  "7.4",  "8.3", "9.3",
    "9.9", "10.9", "9.5",  "10.3", "10.9", "11.7", "12.5", "13.2", "14.4", "16.4"};
// The fixture of the Silva and Toler golden report.
const std::vector<std::string> k4x8SilvaToler = {
    "8.2",  "8.7",  "9.7",  "10.7", "12.9", "14.5", "16.1", "18.1", "4.2",  "5.6",  "7.6",
    "9.3",  "11.2", "12.7", "12.8", "13.6", "6.3",  "8.1",  "9.3",  "10.2", "11.2", "12.1",
    "12.7", "13.8", "6.9",  "7.6",  "8.2",  "9.1",  "9.9",  "10.6", "11.8", "13.8"};

const char* const kPhase1 = "EditNum_gen,EditNum_amb,ListBoxgenot,ListBoxAmb";
const char* const kInform = "Para ver resultado da análise selecione o menu relatório";

enum class End { Window, Inform, Nothing };

const TAnalysisCommand& Command(const std::string& objectName) {
  for (const TAnalysisCommand& c : AnalysisCommands()) {
    if (c.objectName == objectName) return c;
  }
  throw std::runtime_error("no analysis " + objectName);
}

// The same analysis without windows: the run's own report for the same answers.
std::string ReportWithoutWindows(const std::string& objectName, const std::string& table,
                                 const Entries& entries) {
  auto session = std::make_unique<TSession>();
  ScriptedHost host;
  host.file = table;
  const std::map<std::string, Control> controls = {
      {"EditAlpha", Control::EditAlpha},     {"EditGLE", Control::EditGLE},
      {"EditQME", Control::EditQME},         {"EditNum_rep", Control::EditNum_rep},
      {"EditNum_gen", Control::EditNum_gen}, {"EditNum_amb", Control::EditNum_amb}};
  for (const auto& [name, text] : entries) host.form.entries[controls.at(name)] = text;
  RunCommand(Command(objectName), *session, host);
  return session->report.Text();
}

class Analyses : public ProgramTest {
 protected:
  Analyses() : ProgramTest(true) {}
};

TEST_F(Analyses, EveryMenuItemRunsItsAnalysisToTheReport) {
  struct Case {
    const char* item;
    int g, a;
    const std::vector<std::string>* cells;
    Entries phase1, phase2;
    const char* phase1Caption;
    const char* phase1Controls;
    const char* golden;  // the golden report after the title lines; nullptr: the run's report
                         // without windows
    End end;
  };
  const Entries residual = {{"EditGLE", "30"}, {"EditQME", "0.8"}, {"EditNum_rep", "3"}};
  const Entries residual4x8 = {{"EditGLE", "40"}, {"EditQME", "0.3"}, {"EditNum_rep", "3"}};
  const Case cases[] = {
      {"Plaisted1",
       2,
       2,
       &k2x2,
       {},
       {{"EditQME", "0"}, {"EditNum_rep", "1"}},
       "Parâmetros ",
       kPhase1,
       "plaisted_2x2_r1.txt",
       End::Inform},
      {"Wricke1",
       2,
       2,
       &k2x2,
       {{"EditNum_rep", "1"}},
       {},
       "Parâmetros",
       "EditNum_rep,EditNum_gen,EditNum_amb,ListBoxgenot,ListBoxAmb",
       "wricke_2x2_r1.txt",
       End::Window},
      {"LinBinns1",
       2,
       2,
       &k2x2,
       {},
       {{"EditGLE", "10"}, {"EditQME", "1.5"}, {"EditNum_rep", "1"}},
       "Parâmetros",
       kPhase1,
       "linbinns_2x2.txt",
       End::Window},
      {"Annicchiarico1",
       2,
       2,
       &k2x2,
       {{"EditAlpha", "0.05"}},
       {},
       "Parâmetros ",
       "EditAlpha,EditNum_gen,EditNum_amb,ListBoxgenot,ListBoxAmb",
       "annicchiarico_2x2.txt",
       End::Window},
      {"Finlay1", 4, 5, &k4x5, {}, residual, "Parâmetros", kPhase1, nullptr, End::Window},
      {"Eberhart1", 4, 5, &k4x5, {}, residual, "Parâmetros", kPhase1, nullptr, End::Window},
      {"Cruzetal1", 4, 5, &k4x5, {}, residual, "Parâmetros", kPhase1, nullptr, End::Window},
      {"Ammi1",
       3,
       3,
       &k3x3,
       {},
       {{"EditGLE", "10"}, {"EditQME", "1.5"}, {"EditNum_rep", "1"}},
       "Parâmetros",
       kPhase1,
       "ammi_3x3.txt",
       End::Window},
      {"Toler1", 4, 8, &k4x8, {}, residual4x8, "Parâmetros", kPhase1, nullptr, End::Window},
      {"JGCSilva1",
       4,
       8,
       &k4x8,
       {},
       residual4x8,
       "Parâmetros",
       kPhase1,
       "silva_4x8.txt",
       End::Nothing},
      {"Silvamodificado1",
       4,
       8,
       &k4x8,
       {},
       residual4x8,
       "Parâmetros",
       kPhase1,
       "silvamod_4x8.txt",
       End::Nothing},
      {"Silva1",
       4,
       8,
       &k4x8SilvaToler,
       {},
       residual4x8,
       "Parâmetros",
       kPhase1,
       "silvatoler_4x8.txt",
       End::Nothing},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.item);
    program = std::make_unique<ui::TQuorvandeliaApp>(ui::TStartOptions{true});
    const std::string table = Table(GxeCsv(c.g, c.a, *c.cells));
    Entries phase1 = c.phase1;
    phase1["EditNum_gen"] = std::to_string(c.g);
    phase1["EditNum_amb"] = std::to_string(c.a);
    ModalDriver run;
    run.File(table);
    run.Params(phase1, 0, 1);
    run.Box(kConfirmParams, QMessageBox::Yes);
    if (!c.phase2.empty()) {
      run.Params(c.phase2);
      run.Box(kConfirmParams, QMessageBox::Yes);
    }
    if (c.end == End::Inform) run.Box(kInform);
    Trigger(c.item);

    EXPECT_EQ(run.StepsLeft(), 0u);
    std::vector<std::string> dialogs = {std::string(c.phase1Caption) + ":" + c.phase1Controls};
    if (!c.phase2.empty()) {
      std::string shown;
      for (const char* name : {"EditGLE", "EditQME", "EditNum_rep"}) {
        if (c.phase2.count(name)) shown += (shown.empty() ? "" : ",") + std::string(name);
      }
      dialogs.push_back("Parâmetros para yield:" + shown);
    }
    EXPECT_EQ(run.Logged("params:"), dialogs);
    Entries all = phase1;
    all.insert(c.phase2.begin(), c.phase2.end());
    std::string expected = c.golden ? Golden(c.golden) : ReportWithoutWindows(c.item, table, all);
    // The AMMI golden report holds the block under the title and variable lines.
    if (std::string(c.item) == "Ammi1") {
      expected =
          "Análise de Quorvandelia de Acordo com o modelo AMMI (Crossa, 1990)\r\n"
          "Análise da variável yield\r\n" +
          expected;
    }
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(WindowReport(Report()), expected);
    EXPECT_TRUE(Report().IsModified());
    EXPECT_EQ(Report().isVisible(), c.end == End::Window);
    // The run leaves the dialog with every control visible and the cursor as it was.
    for (Control control : kAllControls) {
      EXPECT_TRUE(program->Form1().ControlWidget(control)->isVisibleTo(&program->Form1()));
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  }
}

TEST_F(Analyses, TolerGoesOnToTheSimpleLinearModel) {
  const std::string table = Table(GxeCsv(4, 8, k4x8));
  driver.File(table);
  driver.Params({{"EditNum_gen", "4"}, {"EditNum_amb", "8"}});
  driver.Box(kConfirmParams, QMessageBox::Yes);
  driver.Params({{"EditGLE", "40"}, {"EditQME", "0.3"}, {"EditNum_rep", "3"}});
  driver.Box(kConfirmParams, QMessageBox::Yes);
  Trigger("Toler1");
  EXPECT_EQ(driver.StepsLeft(), 0u);
  const std::string report = WindowReport(Report());
  // The bisegmented report of the variable, then the simple model's, in one report.
  const std::string title = "Análise de Quorvandelia de acordo com os modelos de Toler, 1990)\r\n";
  ASSERT_EQ(report.rfind(title, 0), 0u);
  const std::string simple =
      "segundo o modelo linear simples de Toler: Y(ij) = a(i) + b(i)*U(j)+ desvio(ij)";
  EXPECT_NE(report.find(simple), std::string::npos);
  EXPECT_EQ(report, ReportWithoutWindows("Toler1", table,
                                         {{"EditNum_gen", "4"},
                                          {"EditNum_amb", "8"},
                                          {"EditGLE", "40"},
                                          {"EditQME", "0.3"},
                                          {"EditNum_rep", "3"}}));
  EXPECT_TRUE(Report().isVisible());
}

TEST_F(Analyses, AFailedSizeCheckEndsTolerWithoutTheSimpleModelOrTheWindow) {
  // g a = 4 < 3 g + a = 8: the bisegmented model cannot be fitted.
  const std::string table = Table(GxeCsv(2, 2, k2x2));
  driver.File(table);
  driver.Params({{"EditNum_gen", "2"}, {"EditNum_amb", "2"}});
  driver.Box(kConfirmParams, QMessageBox::Yes);
  driver.Params({{"EditGLE", "10"}, {"EditQME", "1"}, {"EditNum_rep", "1"}});
  driver.Box(kConfirmParams, QMessageBox::Yes);
  driver.Box(
      "Impossível realizar essa análise, pois é preciso\r que g*a>3*g+a, o que não ocorreu "
      "nesse caso! Sinto muito!");
  Trigger("Toler1");
  EXPECT_EQ(driver.StepsLeft(), 0u);
  EXPECT_FALSE(Report().isVisible());
  EXPECT_EQ(WindowReport(Report()).find("modelo linear simples"), std::string::npos);
}

TEST_F(Analyses, RefusedEntriesAskAgainAndDeseJaContinuarDecides) {
  const std::string table = Table(GxeCsv(2, 2, k2x2));
  driver.File(table);
  // Phase 1: a g that is not an integer, then "go on editing".
  driver.Params({{"EditNum_gen", "2.5"}, {"EditNum_amb", "2"}, {"EditNum_rep", "1"}}, 0, 1);
  driver.Box(kConfirmParams, QMessageBox::Yes);
  driver.Box("< g >: O valor de g deve ser inteiro: ");
  driver.Box("Erros foram encontrados! Deseja Continuar", QMessageBox::Yes);
  // The lists are refilled and reselected; the entries keep what was typed.
  driver.Then([this](QWidget& dialog) {
    auto& form = program->Form1();
    EXPECT_EQ(&dialog, &form);
    EXPECT_EQ(form.EntryText(Control::EditNum_gen), "2.5");
    EXPECT_EQ(form.SelectedIndex(Control::ListBoxgenot), 0);
    EXPECT_EQ(form.SelectedIndex(Control::ListBoxAmb), 1);
    // The busy cursor stays on while the run's dialogs are up.
    ASSERT_TRUE(QApplication::overrideCursor());
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    auto* g = static_cast<QLineEdit*>(form.ControlWidget(Control::EditNum_gen));
    g->selectAll();
    QTest::keyClicks(g, "2");
    driver.Box(kConfirmParams, QMessageBox::Yes);
    QTest::mouseClick(form.OkButton(), Qt::LeftButton);
  });
  Trigger("Wricke1");
  EXPECT_EQ(driver.StepsLeft(), 0u);
  EXPECT_EQ(WindowReport(Report()), Golden("wricke_2x2_r1.txt"));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  // "No" to the confirmation shows the dialog again; "No" to Deseja Continuar gives up and
  // leaves the report (edited by the user meanwhile) as it was, in the window.
  Report().RichEdit1()->moveCursor(QTextCursor::End);
  Report().RichEdit1()->insertPlainText("nota do usuário");
  const std::string edited = WindowReport(Report());
  Report().hide();
  driver.File(table);
  driver.Params({{"EditNum_gen", "dois"}});
  driver.Box(kConfirmParams, QMessageBox::No);
  driver.Params({});
  driver.Box(kConfirmParams, QMessageBox::Yes);
  driver.Box("< g >: O valor de g deve ser inteiro: ");
  driver.Box("Erros foram encontrados! Deseja Continuar", QMessageBox::No);
  Trigger("Wricke1");
  EXPECT_EQ(driver.StepsLeft(), 0u);
  EXPECT_EQ(WindowReport(Report()), edited);
  EXPECT_TRUE(Report().isVisible());
}

TEST_F(Analyses, APhaseTwoEntryIsAskedForUntilItConverts) {
  const std::string table = Table(GxeCsv(2, 2, k2x2));
  driver.File(table);
  driver.Params({{"EditNum_gen", "2"}, {"EditNum_amb", "2"}});
  driver.Box(kConfirmParams, QMessageBox::Yes);
  driver.Params({{"EditQME", "0,5"}, {"EditNum_rep", "1"}});
  driver.Box(kConfirmParams, QMessageBox::Yes);
  driver.Box("< QME >: O valor de QME deve ser numérico: ");
  driver.Params({{"EditQME", "0"}});
  driver.Box(kConfirmParams, QMessageBox::Yes);
  driver.Box(kInform);
  Trigger("Plaisted1");
  EXPECT_EQ(driver.StepsLeft(), 0u);
  EXPECT_EQ(driver.Logged("params:").at(1), "Parâmetros para yield:EditQME,EditNum_rep");
  EXPECT_EQ(driver.Logged("params:").at(2), "Parâmetros para yield:EditQME,EditNum_rep");
  // Plaisted and Peterson leave the report for "&Mostrar".
  EXPECT_FALSE(Report().isVisible());
  Trigger("Visualizar1");
  EXPECT_TRUE(Report().isVisible());
  EXPECT_EQ(WindowReport(Report()), Golden("plaisted_2x2_r1.txt"));
}

TEST_F(Analyses, APaperTableThroughTheTableFileDialog) {
  const std::string table = std::string(QV_EXAMPLES_DIR) + "/onofri_winterwheat.db";
  driver.File(table);
  driver.Params({{"EditNum_gen", "8"}, {"EditNum_amb", "7"}, {"EditNum_rep", "3"}}, 0, 1);
  driver.Box(kConfirmParams, QMessageBox::Yes);
  Trigger("Wricke1");
  EXPECT_EQ(driver.StepsLeft(), 0u);
  // The file dialog shows its filters with their blanks simplified ("DB e DBF  files").
  EXPECT_EQ(driver.Logged("file:"),
            std::vector<std::string>{
                "Abrir:DB e DBF files (*.DB *.DBF *.db *.dbf)|Arquivos CSV (*.csv *.CSV)"});
  EXPECT_EQ(WindowReport(Report()), Golden("wricke_onofri_r3.txt"));
}

TEST_F(Analyses, NoTableClearsTheReportAndAnUnreadableOneSaysSo) {
  Report().SetReportText("relatório anterior\r\n");
  driver.File("");
  Trigger("Wricke1");
  EXPECT_EQ(driver.StepsLeft(), 0u);
  EXPECT_TRUE(Report().RichEdit1()->document()->isEmpty());
  EXPECT_TRUE(Report().isVisible());

  const std::string broken = folder.StdPath("estragada.db");
  WriteFile(folder.Path("estragada.db"), "isto não é uma tabela");
  driver.File(broken);
  driver.Box("Tente mudar o nome do diretório e arquivo para um nome sem acentos");
  Trigger("Finlay1");
  EXPECT_EQ(driver.StepsLeft(), 0u);
  EXPECT_EQ(driver.Logged("box:").back(),
            "Quorvandelia:Tente mudar o nome do diretório e arquivo para um nome sem acentos");
  // The table layer's cause follows the box's text: which file, and that it is no table.
  ASSERT_EQ(driver.Logged("details:").size(), 1u);
  EXPECT_NE(driver.Logged("details:")[0].find("estragada.db"), std::string::npos)
      << driver.Logged("details:")[0];
}

TEST_F(Analyses, ADataErrorIsReportedInTheBoxAndTheReport) {
  // Genotype 3 in a table of g = 2.
  const std::string table = Table("gen,env,yield\n1,1,10\n1,2,12\n3,1,14\n2,2,20\n");
  driver.File(table);
  driver.Params({{"EditNum_gen", "2"}, {"EditNum_amb", "2"}, {"EditNum_rep", "1"}});
  driver.Box(kConfirmParams, QMessageBox::Yes);
  driver.Box(
      "Erro no Banco de Dados Foram encontrados\rProvavelmente valores da coluna de ambiente ou "
      "de genótipos\rCom valores maiores que os limites definidos ou colunas foram\rtrocadas. "
      "Verifique o Banco de Dados para continuar!\rLinhas em branco podem também ser a causa de "
      "erro.");
  Trigger("Wricke1");
  EXPECT_EQ(driver.StepsLeft(), 0u);
  const std::string report = WindowReport(Report());
  EXPECT_NE(report.find("ERRO: Erros foram encontrados! Análise desta variável foi abortada\r\n"),
            std::string::npos);
  EXPECT_EQ(driver.Logged("box:").back().rfind("Aviso:", 0), 0u);
}

}  // namespace
}  // namespace qv::testing
