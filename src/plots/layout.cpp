#include "plots/layout.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "plots/ticks.h"

namespace qv::plots {

namespace {

constexpr double kPad = 8;         // pixels between the blocks of the page
constexpr double kTickLength = 5;  // the ticks, outside the data area
constexpr double kLabelGap = 3;    // between a marker and its label
// The names written at the right ends of lines may take this much of the page's width.
constexpr double kLineLabelShare = 0.18;

int CodePoints(const std::string& text) {
  int n = 0;
  for (const unsigned char c : text) n += (c & 0xC0) != 0x80;
  return n;
}

// Liang and Barsky (1984): the part of the segment p-q inside the view, if any.
bool ClipSegment(TDataPoint& p, TDataPoint& q, const TView& v) {
  const double dx = q.x - p.x, dy = q.y - p.y;
  double t0 = 0, t1 = 1;
  const double edges[4][2] = {
      {-dx, p.x - v.xmin}, {dx, v.xmax - p.x}, {-dy, p.y - v.ymin}, {dy, v.ymax - p.y}};
  for (const auto& [d, room] : edges) {
    if (d == 0) {
      if (room < 0) return false;
      continue;
    }
    const double t = room / d;
    if (d < 0) {
      if (t > t1) return false;
      t0 = std::max(t0, t);
    } else {
      if (t < t0) return false;
      t1 = std::min(t1, t);
    }
  }
  const TDataPoint a{p.x + t0 * dx, p.y + t0 * dy}, b{p.x + t1 * dx, p.y + t1 * dy};
  p = a;
  q = b;
  return true;
}

bool Finite(const TDataPoint& p) {
  return std::isfinite(p.x) && std::isfinite(p.y);
}

// The label boxes placed so far, in a grid of cells, so that a new box is tested only against
// its neighbours: with 600 genotypes and 600 environments the labels are placed in a few
// milliseconds.
class TLabelGrid {
 public:
  explicit TLabelGrid(double cell) : cell_(cell) {}

  bool Free(const TRect& r) const {
    bool free = true;
    Visit(r, [&](long long key) {
      const auto it = cells_.find(key);
      if (it == cells_.end()) return;
      for (const std::size_t k : it->second) {
        if (boxes_[k].Intersects(r)) free = false;
      }
    });
    return free;
  }
  void Add(const TRect& r) {
    boxes_.push_back(r);
    Visit(r, [&](long long key) { cells_[key].push_back(boxes_.size() - 1); });
  }

 private:
  template <typename F>
  void Visit(const TRect& r, F f) const {
    const long long x0 = static_cast<long long>(std::floor(r.left / cell_));
    const long long x1 = static_cast<long long>(std::floor(r.Right() / cell_));
    const long long y0 = static_cast<long long>(std::floor(r.top / cell_));
    const long long y1 = static_cast<long long>(std::floor(r.Bottom() / cell_));
    for (long long x = x0; x <= x1; ++x)
      for (long long y = y0; y <= y1; ++y) f(x * 1000003LL + y);
  }

  double cell_;
  std::vector<TRect> boxes_;
  std::unordered_map<long long, std::vector<std::size_t>> cells_;
};

// Widens one range of the view so that a unit of x spans as many pixels as a unit of y.
TView EqualScales(TView v, double width, double height) {
  const double sx = width / (v.xmax - v.xmin), sy = height / (v.ymax - v.ymin);
  if (sx > sy) {
    const double half = width / sy / 2, mid = (v.xmin + v.xmax) / 2;
    v.xmin = mid - half;
    v.xmax = mid + half;
  } else {
    const double half = height / sx / 2, mid = (v.ymin + v.ymax) / 2;
    v.ymin = mid - half;
    v.ymax = mid + half;
  }
  return v;
}

// An empty or unusable range opened around its value.
void Open(double& lo, double& hi) {
  if (!std::isfinite(lo) || !std::isfinite(hi)) {
    lo = 0;
    hi = 1;
  }
  if (hi > lo) return;
  const double d = lo != 0 ? std::fabs(lo) * 0.1 : 1.0;
  lo -= d;
  hi += d;
}

}  // namespace

double FontPixelSize(TTextRole role) {
  switch (role) {
    case TTextRole::Title:
      return 16;
    case TTextRole::Subtitle:
    case TTextRole::AxisTitle:
      return 13;
    case TTextRole::Tick:
    case TTextRole::Legend:
      return 11;
    case TTextRole::Label:
      return 10;
  }
  return 11;
}

double TApproximateTextMeasure::Width(const std::string& text, TTextRole role) const {
  return 0.6 * FontPixelSize(role) * CodePoints(text);
}

double TPlotScene::PixelX(double x) const {
  return plotArea.left + (x - view.xmin) / (view.xmax - view.xmin) * plotArea.width;
}
double TPlotScene::PixelY(double y) const {
  return plotArea.Bottom() - (y - view.ymin) / (view.ymax - view.ymin) * plotArea.height;
}
double TPlotScene::DataX(double px) const {
  return view.xmin + (px - plotArea.left) / plotArea.width * (view.xmax - view.xmin);
}
double TPlotScene::DataY(double py) const {
  return view.ymin + (plotArea.Bottom() - py) / plotArea.height * (view.ymax - view.ymin);
}

TView DataView(const TPlotModel& model) {
  double xmin = INFINITY, xmax = -INFINITY, ymin = INFINITY, ymax = -INFINITY;
  const auto take = [&](double x, double y) {
    if (!std::isfinite(x) || !std::isfinite(y)) return;
    xmin = std::min(xmin, x);
    xmax = std::max(xmax, x);
    ymin = std::min(ymin, y);
    ymax = std::max(ymax, y);
  };
  for (const TPointSeries& s : model.series)
    for (const TPlotPoint& p : s.points) take(p.x, p.y);
  for (const TPlotLine& l : model.lines)
    for (const TDataPoint& p : l.points) take(p.x, p.y);
  // A reference line is shown when it falls near the data; one far away (b = 1 beside slopes
  // that all lie near 0.2, say) would squeeze the data into a strip.
  for (const TReferenceLine& r : model.references) {
    if (!std::isfinite(r.value)) continue;
    double& lo = r.vertical ? xmin : ymin;
    double& hi = r.vertical ? xmax : ymax;
    if (!(hi >= lo)) {
      lo = hi = r.value;
    } else {
      const double span = std::max(hi - lo, std::fabs(r.value) * 1e-3);
      if (r.value >= lo - span && r.value <= hi + span) {
        lo = std::min(lo, r.value);
        hi = std::max(hi, r.value);
      }
    }
  }
  if (!(xmax >= xmin)) xmin = xmax = 0;
  if (!(ymax >= ymin)) ymin = ymax = 0;
  Open(xmin, xmax);
  Open(ymin, ymax);
  const double mx = 0.05 * (xmax - xmin), my = 0.05 * (ymax - ymin);
  return {xmin - mx, xmax + mx, ymin - my, ymax + my};
}

TPlotScene LayoutPlot(const TPlotModel& model, double width, double height,
                      const TTextMeasure& measure, const std::optional<TView>& requested) {
  TPlotScene scene;
  scene.width = width;
  scene.height = height;
  TView view = requested ? *requested : DataView(model);
  Open(view.xmin, view.xmax);
  Open(view.ymin, view.ymax);

  // The blocks around the data area: title and subtitle above; the x ticks, the x title and
  // the legend below; the y title and the y ticks on the left; the lines' names on the right.
  double top = kPad + measure.Height(TTextRole::Title);
  if (!model.subtitle.empty()) top += 2 + measure.Height(TTextRole::Subtitle);
  top += kPad;

  // The legend, in rows of entries under the x title.
  struct TLegendItem {
    const TLegendEntry* entry;
    double width;
  };
  const double swatch = 22;
  std::vector<std::vector<TLegendItem>> legendRows;
  {
    double rowWidth = 0;
    for (const TLegendEntry& e : model.legend) {
      const double w = swatch + 4 + measure.Width(e.text, TTextRole::Legend) + 16;
      if (legendRows.empty() || rowWidth + w > width - 2 * kPad) {
        legendRows.emplace_back();
        rowWidth = 0;
      }
      legendRows.back().push_back({&e, w});
      rowWidth += w;
    }
  }
  const double legendRowHeight = measure.Height(TTextRole::Legend) + 4;
  double bottom = kPad + kTickLength + 2 + measure.Height(TTextRole::Tick) + kPad +
                  measure.Height(TTextRole::AxisTitle);
  if (!legendRows.empty()) bottom += kPad + legendRowHeight * legendRows.size();

  double lineLabelWidth = 0;
  for (const TPlotLine& l : model.lines) {
    if (!l.label.empty())
      lineLabelWidth = std::max(lineLabelWidth, measure.Width(l.label, TTextRole::Label));
  }
  const double right =
      kPad + (lineLabelWidth > 0 ? std::min(lineLabelWidth + 4, kLineLabelShare * width) : 8);

  // The left margin holds the widest y tick, which depends on the view, which (equal scales)
  // depends on the margins: measured on the view asked for, then the final ticks are taken.
  const auto yTickWidth = [&](const TView& v, double plotHeight) {
    const TTicks t = NiceTicks(v.ymin, v.ymax, std::max(2, static_cast<int>(plotHeight / 45)));
    double w = 0;
    for (const double y : t.values) w = std::max(w, measure.Width(TickText(y, t), TTextRole::Tick));
    return w;
  };
  const double yTitleWidth = measure.Height(TTextRole::AxisTitle);
  double left =
      kPad + yTitleWidth + kPad + yTickWidth(view, height - top - bottom) + 4 + kTickLength;
  TRect area{left, top, std::max(10.0, width - left - right),
             std::max(10.0, height - top - bottom)};
  if (model.equalScales) {
    view = EqualScales(view, area.width, area.height);
    const double newLeft =
        kPad + yTitleWidth + kPad + yTickWidth(view, area.height) + 4 + kTickLength;
    if (newLeft > left) {
      area.left = newLeft;
      area.width = std::max(10.0, width - newLeft - right);
      view = EqualScales(view, area.width, area.height);
    }
  }
  scene.plotArea = area;
  scene.view = view;

  // Frame, grid and ticks.
  const TTicks xt = NiceTicks(view.xmin, view.xmax, std::max(2, static_cast<int>(area.width / 70)));
  const TTicks yt =
      NiceTicks(view.ymin, view.ymax, std::max(2, static_cast<int>(area.height / 45)));
  const TLineStyle grid{0xEBEBEB, 1, false}, axis{kBlack, 1, false};
  for (const double x : xt.values) {
    const double px = scene.PixelX(x);
    scene.paths.push_back({{{px, area.top}, {px, area.Bottom()}}, grid});
  }
  for (const double y : yt.values) {
    const double py = scene.PixelY(y);
    scene.paths.push_back({{{area.left, py}, {area.Right(), py}}, grid});
  }
  const double tickAscent = measure.Ascent(TTextRole::Tick);
  for (const double x : xt.values) {
    const double px = scene.PixelX(x);
    scene.paths.push_back({{{px, area.Bottom()}, {px, area.Bottom() + kTickLength}}, axis});
    scene.texts.push_back({px, area.Bottom() + kTickLength + 2 + tickAscent, TickText(x, xt),
                           TTextRole::Tick, TAlign::Center, false, kBlack});
  }
  for (const double y : yt.values) {
    const double py = scene.PixelY(y);
    scene.paths.push_back({{{area.left - kTickLength, py}, {area.left, py}}, axis});
    scene.texts.push_back({area.left - kTickLength - 4,
                           py + tickAscent / 2 - measure.Descent(TTextRole::Tick) / 2,
                           TickText(y, yt), TTextRole::Tick, TAlign::Right, false, kBlack});
  }

  // Reference lines, dashed, their names inside the area at their top or right end.
  const TLineStyle reference{kGrey, 1, true};
  std::vector<TRect> referenceLabels;
  for (const TReferenceLine& r : model.references) {
    if (r.vertical ? (r.value < view.xmin || r.value > view.xmax)
                   : (r.value < view.ymin || r.value > view.ymax)) {
      continue;
    }
    if (r.vertical) {
      const double px = scene.PixelX(r.value);
      scene.paths.push_back({{{px, area.top}, {px, area.Bottom()}}, reference});
      if (!r.label.empty()) {
        const double y = area.top + 3 + measure.Ascent(TTextRole::Label);
        scene.texts.push_back({px + 3, y, r.label, TTextRole::Label, TAlign::Left, false, kGrey});
        referenceLabels.push_back({px + 3, area.top + 3, measure.Width(r.label, TTextRole::Label),
                                   measure.Height(TTextRole::Label)});
      }
    } else {
      const double py = scene.PixelY(r.value);
      scene.paths.push_back({{{area.left, py}, {area.Right(), py}}, reference});
      if (!r.label.empty()) {
        const double w = measure.Width(r.label, TTextRole::Label);
        scene.texts.push_back(
            {area.Right() - 3, py - 3, r.label, TTextRole::Label, TAlign::Right, false, kGrey});
        referenceLabels.push_back({area.Right() - 3 - w, py - 3 - measure.Ascent(TTextRole::Label),
                                   w, measure.Height(TTextRole::Label)});
      }
    }
  }

  // The data's lines, clipped to the view; their names in the right margin.
  struct TLineLabel {
    double y;
    const TPlotLine* line;
  };
  std::vector<TLineLabel> lineLabels;
  for (const TPlotLine& line : model.lines) {
    TScenePath path{{}, line.style};
    const auto flush = [&] {
      if (path.points.size() >= 2) scene.paths.push_back(path);
      path.points.clear();
    };
    for (std::size_t k = 1; k < line.points.size(); ++k) {
      TDataPoint p = line.points[k - 1], q = line.points[k];
      if (!Finite(p) || !Finite(q) || !ClipSegment(p, q, view)) {
        flush();
        continue;
      }
      const TDataPoint pp{scene.PixelX(p.x), scene.PixelY(p.y)};
      const TDataPoint pq{scene.PixelX(q.x), scene.PixelY(q.y)};
      if (path.points.empty() || std::fabs(path.points.back().x - pp.x) > 1e-9 ||
          std::fabs(path.points.back().y - pp.y) > 1e-9) {
        flush();
        path.points.push_back(pp);
      }
      path.points.push_back(pq);
    }
    // A name goes beside the line's right end, when that end is in view.
    if (!line.label.empty() && path.points.size() >= 2 && Finite(line.points.back()) &&
        line.points.back().x >= view.xmin && line.points.back().x <= view.xmax &&
        line.points.back().y >= view.ymin && line.points.back().y <= view.ymax) {
      lineLabels.push_back({path.points.back().y, &line});
    }
    flush();
  }

  // The markers of the points inside the view.
  struct TCandidate {
    int series, point, priority;
    double x, y, distance;
  };
  std::vector<TCandidate> candidates;
  const double cx = area.left + area.width / 2, cy = area.top + area.height / 2;
  for (int s = 0; s < static_cast<int>(model.series.size()); ++s) {
    const TPointSeries& series = model.series[static_cast<std::size_t>(s)];
    for (int k = 0; k < static_cast<int>(series.points.size()); ++k) {
      const TPlotPoint& p = series.points[static_cast<std::size_t>(k)];
      if (!std::isfinite(p.x) || !std::isfinite(p.y) || p.x < view.xmin || p.x > view.xmax ||
          p.y < view.ymin || p.y > view.ymax) {
        continue;
      }
      const double px = scene.PixelX(p.x), py = scene.PixelY(p.y);
      scene.markers.push_back({px, py, series.style, s, k});
      if (!p.label.empty()) {
        candidates.push_back({s, k, series.labelPriority, px, py, std::hypot(px - cx, (py - cy))});
      }
    }
  }

  // Labels: the most telling first, each beside its marker on the right, else on the left,
  // else above or below; one that fits nowhere free is left out (its marker stays).
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const TCandidate& a, const TCandidate& b) {
                     if (a.priority != b.priority) return a.priority > b.priority;
                     return a.distance > b.distance;
                   });
  TLabelGrid placed(40);
  for (const TRect& r : referenceLabels) placed.Add(r);
  // A label covers no marker: where markers crowd, their labels go to the free space around.
  TLabelGrid markers(40);
  for (const TSceneMarker& m : scene.markers) {
    markers.Add({m.x - m.style.size / 2, m.y - m.style.size / 2, m.style.size, m.style.size});
  }
  const double ascent = measure.Ascent(TTextRole::Label),
               textHeight = measure.Height(TTextRole::Label);
  for (const TCandidate& c : candidates) {
    const TPointSeries& series = model.series[static_cast<std::size_t>(c.series)];
    const std::string& text = series.points[static_cast<std::size_t>(c.point)].label;
    const double w = measure.Width(text, TTextRole::Label);
    const double half = series.style.size / 2 + kLabelGap;
    const TRect options[] = {
        {c.x + half, c.y - textHeight / 2, w, textHeight},
        {c.x - half - w, c.y - textHeight / 2, w, textHeight},
        {c.x - w / 2, c.y - half - textHeight, w, textHeight},
        {c.x - w / 2, c.y + half, w, textHeight},
    };
    bool done = false;
    for (const TRect& r : options) {
      if (r.left < area.left || r.Right() > area.Right() || r.top < area.top ||
          r.Bottom() > area.Bottom() || !placed.Free(r) || !markers.Free(r)) {
        continue;
      }
      placed.Add(r);
      scene.texts.push_back({r.left, r.top + ascent, text, TTextRole::Label, TAlign::Left, false,
                             series.style.stroke});
      done = true;
      break;
    }
    ++(done ? scene.labelsPlaced : scene.labelsDropped);
  }

  // The lines' names, in the margin at their right ends, thinned like the labels.
  std::sort(lineLabels.begin(), lineLabels.end(),
            [](const TLineLabel& a, const TLineLabel& b) { return a.y < b.y; });
  double lastBottom = -INFINITY;
  for (const TLineLabel& l : lineLabels) {
    const double topY = l.y - textHeight / 2;
    if (topY < lastBottom) {
      ++scene.labelsDropped;
      continue;
    }
    lastBottom = topY + textHeight;
    scene.texts.push_back({area.Right() + 4, topY + ascent, l.line->label, TTextRole::Label,
                           TAlign::Left, false, l.line->style.color});
    ++scene.labelsPlaced;
  }

  // The frame over the grid, then the titles.
  scene.paths.push_back({{{area.left, area.top},
                          {area.Right(), area.top},
                          {area.Right(), area.Bottom()},
                          {area.left, area.Bottom()},
                          {area.left, area.top}},
                         axis});
  scene.texts.push_back({width / 2, kPad + measure.Ascent(TTextRole::Title), model.title,
                         TTextRole::Title, TAlign::Center, false, kBlack});
  if (!model.subtitle.empty()) {
    scene.texts.push_back(
        {width / 2,
         kPad + measure.Height(TTextRole::Title) + 2 + measure.Ascent(TTextRole::Subtitle),
         model.subtitle, TTextRole::Subtitle, TAlign::Center, false, kGrey});
  }
  const double xTitleBaseline = area.Bottom() + kTickLength + 2 + measure.Height(TTextRole::Tick) +
                                kPad + measure.Ascent(TTextRole::AxisTitle);
  scene.texts.push_back({area.left + area.width / 2, xTitleBaseline, model.xTitle,
                         TTextRole::AxisTitle, TAlign::Center, false, kBlack});
  scene.texts.push_back({kPad + measure.Ascent(TTextRole::AxisTitle), area.top + area.height / 2,
                         model.yTitle, TTextRole::AxisTitle, TAlign::Center, true, kBlack});

  // The legend's rows, centred.
  double rowTop = xTitleBaseline + measure.Descent(TTextRole::AxisTitle) + kPad;
  for (const auto& row : legendRows) {
    double rowWidth = 0;
    for (const TLegendItem& item : row) rowWidth += item.width;
    double x = std::max(kPad, (width - rowWidth) / 2);
    const double mid = rowTop + legendRowHeight / 2;
    for (const TLegendItem& item : row) {
      const TLegendEntry& e = *item.entry;
      if (e.isLine) {
        scene.paths.push_back({{{x, mid}, {x + swatch, mid}}, e.line});
      } else {
        scene.markers.push_back({x + swatch / 2, mid, e.marker, -1, -1});
      }
      scene.texts.push_back(
          {x + swatch + 4,
           mid + measure.Ascent(TTextRole::Legend) / 2 - measure.Descent(TTextRole::Legend) / 2,
           e.text, TTextRole::Legend, TAlign::Left, false, kBlack});
      x += item.width;
    }
    rowTop += legendRowHeight;
  }
  return scene;
}

}  // namespace qv::plots
