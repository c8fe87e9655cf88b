// The catalogue of analyses, in the order of the main menu, and the one way to run them.
//
// Both front ends reach the analyses only through this layer: the desktop program builds its
// "&Análises" menu from AnalysisCommands() (caption, component name, status-bar hint, whether
// the item is shown) and calls RunCommand from the item's handler; the command line finds a
// command by its name and calls RunCommand with a host that answers from its options. So a
// menu item and a command-line run do the same thing, byte for byte.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "analysis/host.h"
#include "analysis/method.h"
#include "analysis/run.h"
#include "analysis/session.h"

namespace qv {

// What a command does once its run is over.
enum class TCommandEnd {
  ShowReport,             // show the report window, whatever the run's outcome
  ShowReportIfCompleted,  // show it unless the run was abandoned (the Toler command)
  Inform,                 // the closing message, unless the run was abandoned (Plaisted)
  Nothing,                // nothing: the user opens the report from its menu (Silva's models)
};

// A step a command takes after a run that was not abandoned (Toler's simple linear model):
// it may append to the report and fills the outcome's record of the last variable.
using TContinuation = void (*)(TRunOutcome& outcome, TSession& session, THost& host);

struct TAnalysisCommand {
  std::string name;         // command-line name: "plaisted", "wricke", ..., "silva-toler"
  std::string objectName;   // the menu item's component name: "Plaisted1", "Wricke1", ...
  std::string caption;      // menu caption with its access key, exactly: "&Plaisted e Peterson"
  std::string hint;         // status-bar hint, exactly; "" for none
  bool visibleByDefault;    // false for the three Silva items
  std::string description;  // one line for --help
  TMethod (*method)();      // the run's description
  TCommandEnd end = TCommandEnd::ShowReport;
  std::string endMessage = {};  // the information box of TCommandEnd::Inform
  TContinuation continuation = nullptr;
};

// Every analysis, in the order of the main menu: Plaisted1, Wricke1, LinBinns1,
// Annicchiarico1, Finlay1, Eberhart1, Cruzetal1, Ammi1, Toler1, JGCSilva1,
// Silvamodificado1, Silva1.
const std::vector<TAnalysisCommand>& AnalysisCommands();
const TAnalysisCommand* FindAnalysisCommand(std::string_view name);  // nullptr if unknown

// The command: the busy cursor (set before, restored after, whatever happens), the run, the
// command's continuation, and the end of the command (the report window or the closing
// message).
TRunOutcome RunCommand(const TAnalysisCommand& command, TSession& session, THost& host);

}  // namespace qv
