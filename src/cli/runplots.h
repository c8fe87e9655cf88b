// The plots of a run as files (analyze --plots). They are drawn by Qt's painter, and Qt's
// libraries take longer to load than a closed-form analysis of a large table takes to run, so
// the command line does not link them: the drawing lives in a module of its own
// (quorvandelia-plots.so), loaded the first time a run asks for plots.
#pragma once

#include <string>
#include <vector>

#include "analysis/run.h"
#include "plots/labels.h"
#include "plots/methodplots.h"

namespace qv {

// Writes every plot of every analysed variable of the run into `directory` (created when
// missing) in the format named ("svg", "png" or "pdf"); returns the errors, one line each,
// none when every plot was written.
using TRunPlotsWriter = std::vector<std::string> (*)(const TRunOutcome& outcome,
                                                     const plots::TPlotLabels& labels,
                                                     const std::string& directory,
                                                     const std::string& format,
                                                     const plots::TPlotOptions& options);

// Finds the writer, or says why there is none (Portuguese, for the user) and returns nullptr.
using TRunPlotsLoader = TRunPlotsWriter (*)(std::string& why);

// How RunCli gets the writer when --plots is given. Without a loader (a build without Qt),
// --plots is refused with a message.
void SetRunPlotsLoader(TRunPlotsLoader loader);

// The writer itself, for the module and for programs that link the drawing (the tests).
std::vector<std::string> WriteRunPlotFiles(const TRunOutcome& outcome,
                                           const plots::TPlotLabels& labels,
                                           const std::string& directory, const std::string& format,
                                           const plots::TPlotOptions& options);

}  // namespace qv
