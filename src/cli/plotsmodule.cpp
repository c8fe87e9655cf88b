// quorvandelia-plots.so: the plot files for the command line, with Qt's libraries behind them.
// The one symbol the command line looks up is the writer (runplots.h), under a C name.
#include "cli/runplots.h"

extern "C" __attribute__((visibility("default"))) std::vector<std::string> QvWriteRunPlots(
    const qv::TRunOutcome& outcome, const qv::plots::TPlotLabels& labels,
    const std::string& directory, const std::string& format,
    const qv::plots::TPlotOptions& options) {
  return qv::WriteRunPlotFiles(outcome, labels, directory, format, options);
}
