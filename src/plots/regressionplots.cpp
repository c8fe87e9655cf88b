// The regressions on the classic environmental index I(j) = environment mean - grand mean:
// Finlay and Wilkinson (1963) and Eberhart and Russell (1966), one straight line per genotype,
// B0(i) + B1(i) I; Cruz, Torres and Vencovsky (1989), two segments per genotype,
// B0(i) + B1(i) I + B2(i) T(I), with T(I) = 0 for I < 0 and I - (mean of the non-negative
// indices) for I >= 0. The two segments of that model do not meet at I = 0 unless B2(i) is 0
// (the dummy regressor jumps there), so they are drawn as they are, with the index 0 marked.
#include <cmath>

#include "plots/builders.h"
#include "plots/methodplots.h"

namespace qv::plots {

namespace {

std::function<double(int, int)> Observed(const TPlotContext& context, int g, int a) {
  const TObservedMeans* means = context.means;
  if (!means || means->Empty() || means->g != g || means->a != a) return {};
  return [means](int i, int j) { return (*means)(i, j); };
}

std::vector<TPlotModel> LinearRegressionPlots(const std::string& method, const TJointAnova& anova,
                                              const TSlopeTable& slopes,
                                              const TPlotContext& context) {
  const int g = static_cast<int>(slopes.rows.size());
  const std::vector<double> index = detail::Values(anova.IndAmb);
  const auto [lo, hi] = detail::Range(index);
  std::vector<double> b0, b1;
  for (const TSlopeRow& row : slopes.rows) {
    b0.push_back(static_cast<double>(row.b0));
    b1.push_back(static_cast<double>(row.b1));
  }

  TPlotModel lines;
  lines.id = "retas";
  lines.title = method + ": retas de regressão no índice ambiental";
  lines.subtitle = detail::Subtitle(context);
  lines.xTitle = "Índice ambiental I(j)";
  lines.yTitle = "Média";
  detail::TGenotypeLines genotypes;
  genotypes.g = g;
  genotypes.index = index;
  genotypes.curve = [&, lo = lo, hi = hi](int i) {
    const double a = b0[static_cast<std::size_t>(i - 1)], b = b1[static_cast<std::size_t>(i - 1)];
    return detail::TGenotypeCurve{{{{lo, a + b * lo}, {hi, a + b * hi}}}, false, {}};
  };
  genotypes.observed = Observed(context, g, anova.IndAmb.Size());
  genotypes.means = b0;
  genotypes.slopes = b1;
  detail::AddGenotypeLines(lines, genotypes, context);
  // The environment means themselves lie on the line of slope 1 through the grand mean: the
  // average response that a slope is compared with.
  const TLineStyle average{kBlack, 1, true};
  lines.lines.push_back(
      {{{lo, anova.MediaGeral + lo}, {hi, anova.MediaGeral + hi}}, average, "b = 1"});
  lines.legend.push_back({"b = 1 (média dos ambientes)", true, {}, average});

  TPlotModel plane;
  plane.id = "media-b1";
  plane.title = method + ": médias e coeficientes de regressão";
  plane.subtitle = detail::Subtitle(context);
  plane.xTitle = "Média do genótipo B0(i)";
  plane.yTitle = "Coeficiente de regressão B1(i)";
  plane.references = {{false, 1.0, "b = 1"}, {true, anova.MediaGeral, "média geral"}};
  TPointSeries points;
  points.style = {TMarkerShape::Circle, kGenotypeColor, kGenotypeColor, 6};
  for (int i = 1; i <= g; ++i) {
    const double x = b0[static_cast<std::size_t>(i - 1)], y = b1[static_cast<std::size_t>(i - 1)];
    if (!std::isfinite(x) || !std::isfinite(y)) continue;
    points.points.push_back(
        {x, y, context.labels.Genotype(i), detail::GenotypeName(context.labels, i)});
  }
  plane.series.push_back(std::move(points));
  return {std::move(lines), std::move(plane)};
}

}  // namespace

std::vector<TPlotModel> FinlayPlots(const TFinlayResult& result, const TPlotContext& context) {
  return LinearRegressionPlots("Finlay e Wilkinson (1963)", result.anova, result.slopes, context);
}

std::vector<TPlotModel> EberhartPlots(const TEberhartResult& result, const TPlotContext& context) {
  return LinearRegressionPlots("Eberhart e Russell (1966)", result.anova, result.slopes, context);
}

std::vector<TPlotModel> CruzPlots(const TCruzResult& result, const TPlotContext& context) {
  const int g = static_cast<int>(result.genotypes.size());
  const int a = result.anova.IndAmb.Size();
  const std::vector<double> index = detail::Values(result.anova.IndAmb);
  const auto [lo, hi] = detail::Range(index);
  // The mean of the non-negative indices, which T(j) = I(j) - mean takes off.
  double positiveMean = 0;
  int positives = 0;
  for (int j = 1; j <= a; ++j) {
    if (result.anova.IndAmb(j) < 0) continue;
    positiveMean += static_cast<double>(result.anova.IndAmb(j) - result.segment.T(j));
    ++positives;
  }
  if (positives > 0) positiveMean /= positives;

  std::vector<double> b0, b1, b2, favourable;
  for (const TCruzGenotype& c : result.genotypes) {
    b0.push_back(static_cast<double>(c.b0));
    b1.push_back(static_cast<double>(c.b1Zero.estimate));
    b2.push_back(static_cast<double>(c.b2Zero.estimate));
    favourable.push_back(b1.back() + b2.back());
  }

  TPlotModel plot;
  plot.id = "segmentos";
  plot.title = "Cruz, Torres e Vencovsky (1989): regressões bissegmentadas";
  plot.subtitle = detail::Subtitle(context);
  plot.xTitle = "Índice ambiental I(j)";
  plot.yTitle = "Média";
  plot.references = {{true, 0.0, "I(j) = 0"}};
  detail::TGenotypeLines genotypes;
  genotypes.g = g;
  genotypes.index = index;
  genotypes.curve = [&, lo = lo, hi = hi](int i) {
    const std::size_t k = static_cast<std::size_t>(i - 1);
    const auto f = [&](double x) {
      return b0[k] + b1[k] * x + (x >= 0 ? b2[k] * (x - positiveMean) : 0.0);
    };
    detail::TGenotypeCurve curve;
    if (lo < 0)
      curve.pieces.push_back({{lo, f(lo)}, {std::min(0.0, hi), b0[k] + b1[k] * std::min(0.0, hi)}});
    if (hi >= 0) curve.pieces.push_back({{std::max(0.0, lo), f(std::max(0.0, lo))}, {hi, f(hi)}});
    return curve;
  };
  genotypes.observed = Observed(context, g, a);
  genotypes.means = b0;
  genotypes.slopes = favourable;
  detail::AddGenotypeLines(plot, genotypes, context);
  return {std::move(plot)};
}

}  // namespace qv::plots
