// Paints a laid-out plot (plots/layout.h) with Qt's painter: in the plot window, and into SVG,
// PNG and PDF files. The same scene on every device, so that a file saved from the window is
// the plot the window shows.
#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <optional>
#include <string>
#include <vector>

#include "plots/layout.h"

namespace qv::plotrender {

// The font of each role, at its pixel size (plots::FontPixelSize).
QFont PlotFont(plots::TTextRole role);

// Text sizes as the painter draws them.
class TQtTextMeasure : public plots::TTextMeasure {
 public:
  TQtTextMeasure();
  double Width(const std::string& text, plots::TTextRole role) const override;
  double Ascent(plots::TTextRole role) const override;
  double Descent(plots::TTextRole role) const override;

 private:
  std::vector<QFontMetricsF> metrics_;  // by role
};

// Paints the scene, in its pixels, onto a painter already scaled to the device.
void PaintScene(QPainter& painter, const plots::TPlotScene& scene);

// Lays the plot out on a page of width x height pixels (showing `view`, or all of its data)
// and paints it.
plots::TPlotScene PaintPlot(QPainter& painter, const plots::TPlotModel& plot, double width,
                            double height, const std::optional<plots::TView>& view = std::nullopt);

}  // namespace qv::plotrender
