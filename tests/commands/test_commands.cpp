// The catalogue of analyses and RunCommand: what both front ends rely on.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "support/scripted_host.h"
#include "support/tables.h"

namespace qv {
namespace {

using testing::ScriptedForm;
using testing::ScriptedHost;

// The items of the analyses menu, in its order, with the component names the windows and their
// tests find them by.
TEST(AnalysisCommands, AreTheAnalysesMenuInItsOrder) {
  std::vector<std::string> objectNames;
  for (const TAnalysisCommand& c : AnalysisCommands()) objectNames.push_back(c.objectName);
  EXPECT_EQ(objectNames,
            (std::vector<std::string>{"Plaisted1", "Wricke1", "LinBinns1", "Annicchiarico1",
                                      "Finlay1", "Eberhart1", "Cruzetal1", "Ammi1", "Toler1",
                                      "JGCSilva1", "Silvamodificado1", "Silva1"}));
  std::set<std::string> names;
  for (const TAnalysisCommand& c : AnalysisCommands()) {
    SCOPED_TRACE(c.objectName);
    EXPECT_TRUE(names.insert(c.name).second) << "two commands named " << c.name;
    EXPECT_EQ(FindAnalysisCommand(c.name), &c);
    // One access key per caption.
    const auto amp = c.caption.find('&');
    ASSERT_NE(amp, std::string::npos);
    EXPECT_EQ(c.caption.find('&', amp + 1), std::string::npos);
    EXPECT_EQ(c.method().name, c.name);
    // The hidden items are the three Silva models, which have no hint; so has Toler.
    const bool silva = c.name.rfind("silva", 0) == 0;
    EXPECT_EQ(c.visibleByDefault, !silva);
    EXPECT_EQ(c.hint.empty(), silva || c.name == "toler");
  }
  EXPECT_EQ(FindAnalysisCommand("nope"), nullptr);
  EXPECT_EQ(FindAnalysisCommand("Wricke1"), nullptr);  // the command-line name, not the item's
  EXPECT_EQ(FindAnalysisCommand("eberhart")->hint, "Eberhart  & Russell (1966) - Regressão linear");
}

// The busy cursor is on for the whole command, dialogs included, and off at its end whatever
// ended it: a finished run, an abandoned one, or an exception from the host.
TEST(RunCommand, BusyCursorForTheWholeCommand) {
  for (const char* name : {"wricke", "plaisted", "toler", "silva"}) {
    SCOPED_TRACE(name);
    auto session = std::make_unique<TSession>();
    ScriptedHost host;
    host.file.reset();  // no table: the run ends at once
    RunCommand(*FindAnalysisCommand(name), *session, host);
    ASSERT_FALSE(host.log.empty());
    EXPECT_EQ(host.log.front(), "busy:on");
    EXPECT_EQ(host.Events("busy:").size(), 2u);
    EXPECT_FALSE(host.busy);
  }

  auto session = std::make_unique<TSession>();
  ScriptedHost host;
  testing::TempTable table(testing::GxeCsv(2, 2, testing::k2x2), host);
  bool busyInDialog = false;
  host.form.onShow.push_back([&](ScriptedForm&) {
    busyInDialog = host.busy;
    throw std::runtime_error("the window system went away");
  });
  EXPECT_THROW(RunCommand(*FindAnalysisCommand("wricke"), *session, host), std::runtime_error);
  EXPECT_TRUE(busyInDialog);
  EXPECT_FALSE(host.busy);
}

// How each kind of command ends: after a completed run and after one given up in the dialog.
TEST(RunCommand, EndOfTheCommand) {
  struct Case {
    const char* name;
    bool abandon;  // No to "Erros foram encontrados! Deseja Continuar"
    int reportShown;
    bool informed;
  };
  const Case cases[] = {
      {"wricke", false, 1, false},  {"wricke", true, 1, false},    // the report, always
      {"plaisted", false, 0, true}, {"plaisted", true, 0, false},  // the message, if completed
      {"toler", false, 1, false},   {"toler", true, 0, false},     // the report, if completed
      {"silva", false, 0, false},   {"silva", true, 0, false},     // nothing
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + (c.abandon ? " abandoned" : ""));
    auto session = std::make_unique<TSession>();
    ScriptedHost host;
    // Two genotypes in six environments: large enough for every model's size checks.
    testing::TempTable table(
        testing::GxeCsv(2, 6,
                        {"10", "12", "9", "15", "13", "11", "14", "20", "11", "18", "16", "15"}),
        host);
    host.form.entries = {{Control::EditNum_gen, c.abandon ? "dois" : "2"},
                         {Control::EditNum_amb, "6"},
                         {Control::EditNum_rep, "1"},
                         {Control::EditGLE, "10"},
                         {Control::EditQME, "1"}};
    const TRunOutcome out = RunCommand(*FindAnalysisCommand(c.name), *session, host);
    EXPECT_EQ(out.abandoned, c.abandon);
    EXPECT_EQ(host.reportShown, c.reportShown);
    EXPECT_EQ(host.Events("inform:").size(), c.informed ? 1u : 0u);
    // Whatever the end, the dialog is left with every control visible and the table closed.
    for (Control k : kAllControls) EXPECT_TRUE(host.form.visible[k]);
    EXPECT_FALSE(session->table.IsOpen());
  }
}

// The dialog is told its phase and the variable, and shown in the order of the run.
TEST(RunCommand, ParametersDialogIsToldItsPhase) {
  auto session = std::make_unique<TSession>();
  ScriptedHost host;
  testing::TempTable table(testing::GxeCsv(2, 2, {"10,1", "12,2", "14,3", "20,5"}, "gen,env,y1,y2"),
                           host);
  host.form.entries = {{Control::EditNum_gen, "2"},
                       {Control::EditNum_amb, "2"},
                       {Control::EditGLE, "10"},
                       {Control::EditQME, "1"},
                       {Control::EditNum_rep, "1"}};
  std::vector<std::pair<TParamsPhase, std::string>> shown;
  for (int k = 0; k < 3; ++k) {
    host.form.onShow.push_back(
        [&](ScriptedForm& f) { shown.emplace_back(f.phase, f.variableName); });
  }
  RunCommand(*FindAnalysisCommand("linbinns"), *session, host);
  EXPECT_EQ(shown,
            (std::vector<std::pair<TParamsPhase, std::string>>{{TParamsPhase::Table, ""},
                                                               {TParamsPhase::Variable, "y1"},
                                                               {TParamsPhase::Variable, "y2"}}));
}

}  // namespace
}  // namespace qv
