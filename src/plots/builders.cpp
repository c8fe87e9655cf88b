#include "plots/builders.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

namespace qv::plots {

namespace {

// The index of the largest (or smallest) finite value, the first of ties; -1 when none is.
int Extreme(const std::vector<double>& v, bool largest) {
  int best = -1;
  for (int k = 0; k < static_cast<int>(v.size()); ++k) {
    const double x = v[static_cast<std::size_t>(k)];
    if (!std::isfinite(x)) continue;
    if (best < 0 ||
        (largest ? x > v[static_cast<std::size_t>(best)] : x < v[static_cast<std::size_t>(best)])) {
      best = k;
    }
  }
  return best;
}

}  // namespace

std::vector<int> DefaultHighlighted(const std::vector<double>& means,
                                    const std::vector<double>& slopes) {
  const int g = static_cast<int>(means.size());
  std::vector<int> chosen;
  if (g <= kAllHighlighted) {
    for (int i = 1; i <= g; ++i) chosen.push_back(i);
    return chosen;
  }
  for (int k : {Extreme(means, true), Extreme(means, false), Extreme(slopes, true),
                Extreme(slopes, false)}) {
    if (k >= 0 && std::find(chosen.begin(), chosen.end(), k + 1) == chosen.end()) {
      chosen.push_back(k + 1);
    }
  }
  return chosen;
}

std::optional<TPlotOptions> ReadHighlighted(const std::string& text, std::string& error) {
  TPlotOptions options;
  std::string items = text;
  for (char& c : items) {
    if (c == ',' || c == ';' || c == '\t') c = ' ';
  }
  std::vector<int> codes;
  std::size_t k = 0;
  while (k < items.size()) {
    const std::size_t start = items.find_first_not_of(' ', k);
    if (start == std::string::npos) break;
    const std::size_t end = std::min(items.find(' ', start), items.size());
    const std::string item = items.substr(start, end - start);
    k = end;
    if (item == "todos") {
      // Every genotype the program can hold; a plot keeps those it has.
      for (int i = 1; i <= 600; ++i) codes.push_back(i);
      continue;
    }
    int code = 0;
    bool digits = !item.empty() && item.size() <= 6;
    for (const char c : item) digits = digits && c >= '0' && c <= '9';
    if (digits) code = std::stoi(item);
    if (code < 1) {
      error = "genótipo a destacar inválido: \"" + item + "\" (códigos 1, 2, ... ou \"todos\")";
      return std::nullopt;
    }
    codes.push_back(code);
  }
  if (!codes.empty()) options.highlighted = std::move(codes);
  return options;
}

namespace detail {

std::string GenotypeName(const TPlotLabels& labels, int i) {
  std::string name = "Genótipo " + std::to_string(i);
  if (labels.genotypes.count(i) && !labels.genotypes.at(i).empty()) {
    name += ": " + labels.genotypes.at(i);
  }
  return name;
}

std::string EnvironmentName(const TPlotLabels& labels, int j) {
  std::string name = "Ambiente " + std::to_string(j);
  if (labels.environments.count(j) && !labels.environments.at(j).empty()) {
    name += ": " + labels.environments.at(j);
  }
  return name;
}

std::string Subtitle(const TPlotContext& context) {
  return "Variável " + context.variable;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

std::vector<double> Values(const TIndexed<>& v) {
  std::vector<double> out;
  out.reserve(static_cast<std::size_t>(v.Size()));
  for (const long double x : v.Values()) out.push_back(static_cast<double>(x));
  return out;
}

double Mean(const std::vector<double>& v) {
  double sum = 0;
  int n = 0;
  for (const double x : v) {
    if (!std::isfinite(x)) continue;
    sum += x;
    ++n;
  }
  return n > 0 ? sum / n : 0.0;
}

std::pair<double, double> Range(const std::vector<double>& v) {
  double lo = 0, hi = 0;
  bool any = false;
  for (const double x : v) {
    if (!std::isfinite(x)) continue;
    if (!any || x < lo) lo = x;
    if (!any || x > hi) hi = x;
    any = true;
  }
  return {lo, hi};
}

std::vector<int> Highlighted(const TPlotContext& context, int g, const std::vector<double>& means,
                             const std::vector<double>& slopes) {
  if (!context.options.highlighted) return DefaultHighlighted(means, slopes);
  std::vector<int> chosen;
  std::set<int> seen;
  for (const int i : *context.options.highlighted) {
    if (i >= 1 && i <= g && seen.insert(i).second) chosen.push_back(i);
  }
  return chosen;
}

TColor HighlightColor(int k) {
  // Tableau's ten colours, with its grey replaced: grey is the colour of the other genotypes.
  static constexpr TColor kPalette[] = {0x1F77B4, 0xFF7F0E, 0x2CA02C, 0xD62728, 0x9467BD,
                                        0x8C564B, 0xE377C2, 0x393B79, 0xBCBD22, 0x17BECF};
  return kPalette[static_cast<std::size_t>(k) % std::size(kPalette)];
}

TPlotModel StatisticPlot(const TStatisticPlot& plot, const TPlotContext& context) {
  TPlotModel model;
  model.id = plot.id;
  model.title = plot.title;
  model.subtitle = Subtitle(context);
  model.xTitle = "Média do genótipo";
  model.yTitle = plot.yTitle;
  model.references = {{true, Mean(plot.means), "média geral"},
                      {false, plot.statisticMean, plot.meanLabel}};
  TPointSeries genotypes;
  genotypes.style = {TMarkerShape::Circle, kGenotypeColor, kGenotypeColor, 6};
  const std::size_t g = std::min(plot.means.size(), plot.statistic.size());
  for (std::size_t k = 0; k < g; ++k) {
    const double x = plot.means[k], y = plot.statistic[k];
    if (!std::isfinite(x) || !std::isfinite(y)) continue;
    const int i = static_cast<int>(k) + 1;
    genotypes.points.push_back({x, y, context.labels.Genotype(i), GenotypeName(context.labels, i)});
  }
  model.series.push_back(std::move(genotypes));
  return model;
}

std::vector<TDataPoint> BrokenLine(double xmin, double xmax, double x0,
                                   const std::function<double(double)>& f) {
  std::vector<TDataPoint> points{{xmin, f(xmin)}};
  if (x0 > xmin && x0 < xmax) points.push_back({x0, f(x0)});
  points.push_back({xmax, f(xmax)});
  return points;
}

void AddGenotypeLines(TPlotModel& plot, const TGenotypeLines& lines, const TPlotContext& context) {
  plot.genotypeLines = true;
  const std::vector<int> highlighted = Highlighted(context, lines.g, lines.means, lines.slopes);
  std::vector<int> colorOf(static_cast<std::size_t>(lines.g) + 1, -1);
  for (std::size_t k = 0; k < highlighted.size(); ++k) {
    colorOf[static_cast<std::size_t>(highlighted[k])] = static_cast<int>(k);
  }
  const auto finite = [](const TDataPoint& p) { return std::isfinite(p.x) && std::isfinite(p.y); };
  const auto addPieces = [&](const TGenotypeCurve& curve, const TLineStyle& style,
                             const std::string& label) {
    for (std::size_t k = 0; k < curve.pieces.size(); ++k) {
      const auto& piece = curve.pieces[k];
      if (piece.size() < 2 || !std::all_of(piece.begin(), piece.end(), finite)) continue;
      // The name goes at the right end of the last piece.
      plot.lines.push_back({piece, style, k + 1 == curve.pieces.size() ? label : std::string()});
    }
  };

  // The grey lines first, under the coloured ones.
  for (int i = 1; i <= lines.g; ++i) {
    if (colorOf[static_cast<std::size_t>(i)] >= 0) continue;
    addPieces(lines.curve(i), {kLightGrey, 1, false}, "");
  }
  for (const int i : highlighted) {
    const TColor color = HighlightColor(colorOf[static_cast<std::size_t>(i)]);
    const TGenotypeCurve curve = lines.curve(i);
    addPieces(curve, {color, 2, false}, context.labels.Genotype(i));
    if (lines.observed) {
      TPointSeries observed;
      observed.style = {TMarkerShape::Circle, color, color, 5};
      for (int j = 1; j <= static_cast<int>(lines.index.size()); ++j) {
        const double x = lines.index[static_cast<std::size_t>(j - 1)], y = lines.observed(i, j);
        if (!std::isfinite(x) || !std::isfinite(y)) continue;
        observed.points.push_back(
            {x, y, "",
             GenotypeName(context.labels, i) + ", " + EnvironmentName(context.labels, j)});
      }
      plot.series.push_back(std::move(observed));
    }
    if (curve.hasJunction && finite(curve.junction)) {
      TPointSeries junction;
      junction.style = {TMarkerShape::Diamond, 0xFFFFFF, color, 9};
      junction.points.push_back(
          {curve.junction.x, curve.junction.y, "", "Junção do " + GenotypeName(context.labels, i)});
      plot.series.push_back(std::move(junction));
    }
  }
  if (lines.observed && !highlighted.empty()) {
    plot.legend.push_back(
        {"médias observadas", false, {TMarkerShape::Circle, kGrey, kGrey, 5}, {}});
  }
  if (!lines.junctionText.empty()) {
    plot.legend.push_back(
        {lines.junctionText, false, {TMarkerShape::Diamond, 0xFFFFFF, kBlack, 9}, {}});
  }
  if (static_cast<int>(highlighted.size()) < lines.g) {
    plot.legend.push_back({"demais genótipos", true, {}, {kLightGrey, 1, false}});
  }
}

}  // namespace detail
}  // namespace qv::plots
