// A plot laid out on a page: everything it draws in page pixels, ready for a painter. The data
// area maps the view's ranges linearly onto its pixels (y upwards); the ticks fall on nice
// numbers; lines are clipped to the view and points outside it left out; labels that would
// overlap another label or cover a marker are thinned (their markers stay), the most telling
// first: the series of higher priority, then the points farthest from the middle of the plot.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "plots/model.h"

namespace qv::plots {

enum class TTextRole { Title, Subtitle, AxisTitle, Tick, Label, Legend };

// The pixel size of each role's font.
double FontPixelSize(TTextRole role);

// The size of a text as the painter will draw it.
class TTextMeasure {
 public:
  virtual ~TTextMeasure() = default;
  virtual double Width(const std::string& text, TTextRole role) const = 0;
  virtual double Ascent(TTextRole role) const = 0;
  virtual double Descent(TTextRole role) const = 0;
  double Height(TTextRole role) const { return Ascent(role) + Descent(role); }
};

// Without fonts: every character (UTF-8 code point) 0.6 of the font's size wide.
class TApproximateTextMeasure : public TTextMeasure {
 public:
  double Width(const std::string& text, TTextRole role) const override;
  double Ascent(TTextRole role) const override { return 0.8 * FontPixelSize(role); }
  double Descent(TTextRole role) const override { return 0.2 * FontPixelSize(role); }
};

// The ranges of the data shown.
struct TView {
  double xmin = 0, xmax = 1, ymin = 0, ymax = 1;
  bool operator==(const TView&) const = default;
};

struct TRect {
  double left = 0, top = 0, width = 0, height = 0;
  double Right() const { return left + width; }
  double Bottom() const { return top + height; }
  bool Contains(double x, double y) const {
    return x >= left && x <= Right() && y >= top && y <= Bottom();
  }
  bool Intersects(const TRect& o) const {
    return left < o.Right() && o.left < Right() && top < o.Bottom() && o.top < Bottom();
  }
};

enum class TAlign { Left, Center, Right };

struct TSceneText {
  double x = 0, y = 0;  // the anchor on the text's baseline
  std::string text;
  TTextRole role = TTextRole::Label;
  TAlign align = TAlign::Left;
  bool vertical = false;  // turned a quarter counterclockwise about the anchor
  TColor color = kBlack;
};

// A polyline in pixels.
struct TScenePath {
  std::vector<TDataPoint> points;
  TLineStyle style;
};

struct TSceneMarker {
  double x = 0, y = 0;
  TMarkerStyle style;
  int series = -1, point = -1;  // the model's point it draws; -1 for a legend's marker
};

struct TPlotScene {
  double width = 0, height = 0;
  TRect plotArea;
  TView view;
  std::vector<TScenePath> paths;  // painted first, in order
  std::vector<TSceneMarker> markers;
  std::vector<TSceneText> texts;  // painted last
  int labelsPlaced = 0, labelsDropped = 0;

  double PixelX(double x) const;
  double PixelY(double y) const;
  double DataX(double px) const;
  double DataY(double py) const;
};

// The data's whole range with a margin of 5% on each side (a range of one value opened
// around it).
TView DataView(const TPlotModel& model);

// Lays the plot out on a page of width x height pixels, showing `view` (DataView when unset).
// A plot of equal scales widens one range of the view so that a unit spans as many pixels
// across as up.
TPlotScene LayoutPlot(const TPlotModel& model, double width, double height,
                      const TTextMeasure& measure, const std::optional<TView>& view = std::nullopt);

}  // namespace qv::plots
