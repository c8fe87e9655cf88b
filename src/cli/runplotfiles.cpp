// The writer of the plot files, built into the plots module (plotsmodule.cpp) and into the tests;
// the command line itself reaches it only through the module.
#include "cli/runplots.h"
#include "plotrender/plotfiles.h"

namespace qv {

std::vector<std::string> WriteRunPlotFiles(const TRunOutcome& outcome,
                                           const plots::TPlotLabels& labels,
                                           const std::string& directory, const std::string& format,
                                           const plots::TPlotOptions& options) {
  const auto named = plotrender::PlotFormatNamed(format);
  return plotrender::WriteRunPlots(outcome, labels, directory,
                                   named.value_or(plotrender::TPlotFormat::Svg), options)
      .errors;
}

}  // namespace qv
