// What a plot shows, in the units of the data: points with their labels, lines, reference
// lines, the axes' titles and the legend. A plot is built from a method's result value (the
// numbers the report prints, unrounded), never from the report's text; laying it out on a
// page (plots/layout.h) and painting it (plotrender/) come after, and know nothing of the
// methods.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv::plots {

using TColor = std::uint32_t;  // 0xRRGGBB

inline constexpr TColor kBlack = 0x000000;
inline constexpr TColor kGrey = 0x808080;
inline constexpr TColor kLightGrey = 0xC8C8C8;
inline constexpr TColor kGenotypeColor = 0x1F5FA8;
inline constexpr TColor kEnvironmentColor = 0xC0392B;

enum class TMarkerShape { Circle, Triangle, Square, Diamond };

struct TMarkerStyle {
  TMarkerShape shape = TMarkerShape::Circle;
  TColor fill = kGenotypeColor;
  TColor stroke = kGenotypeColor;
  double size = 6;  // the marker's width in pixels

  bool operator==(const TMarkerStyle&) const = default;
};

struct TLineStyle {
  TColor color = kBlack;
  double width = 1;  // pixels
  bool dashed = false;

  bool operator==(const TLineStyle&) const = default;
};

struct TDataPoint {
  double x = 0, y = 0;
};

// A point of the data: a genotype, an environment, a junction, an observed mean.
struct TPlotPoint {
  double x = 0, y = 0;
  std::string label;  // drawn beside the marker when there is room; "" for none
  std::string name;   // what the point is, for a reader who points at it (the window's tip)
};

// Points drawn with one marker.
struct TPointSeries {
  TMarkerStyle style;
  std::vector<TPlotPoint> points;
  // Labels of a series with a higher priority are placed first, so that they are the ones kept
  // where labels crowd.
  int labelPriority = 0;
};

// A line through data points: a genotype's fitted line, or its segments.
struct TPlotLine {
  std::vector<TDataPoint> points;
  TLineStyle style;
  std::string label;  // written at the line's right end, in the margin; "" for none
};

// A line across the whole plot at a value of one axis (b = 1, the grand mean, the index 0).
struct TReferenceLine {
  bool vertical = false;  // at x = value; else at y = value
  double value = 0;
  std::string label;
};

// One line of the legend: a marker or a line, and what it stands for.
struct TLegendEntry {
  std::string text;
  bool isLine = false;
  TMarkerStyle marker;
  TLineStyle line;
};

struct TPlotModel {
  std::string id;        // the plot's name in file names: "ammi1", "media-b1", ...
  std::string title;     // "AMMI2: escores dos dois primeiros componentes"
  std::string subtitle;  // the variable and the method
  std::string xTitle, yTitle;
  // Both axes on the same scale (a biplot, where distances and angles are read).
  bool equalScales = false;
  // One line per genotype, the highlighted ones in colour (plots/methodplots.h).
  bool genotypeLines = false;
  std::vector<TReferenceLine> references;
  std::vector<TPlotLine> lines;  // drawn in order, under the points
  std::vector<TPointSeries> series;
  std::vector<TLegendEntry> legend;
};

}  // namespace qv::plots
