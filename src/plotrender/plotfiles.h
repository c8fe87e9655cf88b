// The plots of a run as files, for the command line: every plot of every analysed variable as
// DIR/<variable>-<plot>.<format>. Needs no display: without one, Qt's offscreen platform is
// used.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/run.h"
#include "plots/labels.h"
#include "plots/layout.h"
#include "plots/methodplots.h"
#include "plots/model.h"

namespace qv::plotrender {

enum class TPlotFormat { Svg, Png, Pdf };

// "svg", "png" or "pdf" (any case); nothing for another name.
std::optional<TPlotFormat> PlotFormatNamed(std::string_view name);
const char* Extension(TPlotFormat format);  // "svg", ...

// The page of a plot file, in pixels (96 per inch).
inline constexpr int kPlotWidth = 900, kPlotHeight = 650;

// The file name of a plot of a variable: "<variable>-<plot>.<ext>", with the characters a file
// name cannot hold ("/", "\", ":", control characters...) replaced by "_".
std::string PlotFileName(const std::string& variable, const std::string& plotId,
                         TPlotFormat format);

// Makes sure a Qt GUI application exists (the painter's fonts need one), on the offscreen
// platform when there is no display. Lives until the program ends.
void EnsureGuiApplication();

// Writes one plot; on failure returns the reason (Portuguese, for the user), else "".
// `view` is the part of the data shown (all of it when unset).
std::string WritePlotFile(const plots::TPlotModel& plot, const std::string& path,
                          TPlotFormat format, int width = kPlotWidth, int height = kPlotHeight,
                          const std::optional<plots::TView>& view = std::nullopt);

// The format of a file by its extension (".svg", ".PNG", ...); nothing for another.
std::optional<TPlotFormat> PlotFormatOfFile(const std::string& path);

struct TPlotFilesWritten {
  std::vector<std::string> files;   // in the order written
  std::vector<std::string> errors;  // one line each
};
// Every plot of every analysed variable of the run into `directory` (created when missing).
TPlotFilesWritten WriteRunPlots(const TRunOutcome& outcome, const plots::TPlotLabels& labels,
                                const std::string& directory, TPlotFormat format,
                                const plots::TPlotOptions& options = {});

}  // namespace qv::plotrender
