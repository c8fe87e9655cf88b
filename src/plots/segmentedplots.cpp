// The segmented models: each genotype's fitted response over the range of the index, two
// straight segments that meet where its slope changes, with the junction marked and the
// observed means beside them.
//
//   Toler (1990):        index U(j) estimated; slope b1(i) for U <= 0, b2(i) for U > 0, so every
//                        genotype's junction is at U = 0, at height a(i).
//   Silva (1998):        the classic index X(j); the junction X0(i) is the genotype's own.
//                        Segmented form: a + b1 X up to X0, then a + b1 X0 + b2 (X - X0);
//                        modified form: a + b1 (X - X0) up to X0, then a + b2 (X - X0).
//   Silva and Toler:     index U(j) estimated, junction U0(i) the genotype's own:
//                        a + b1 (U - U0) up to U0, then a + b2 (U - U0).
//   Toler's simple linear model: a + b U, one line per genotype.
#include "plots/builders.h"
#include "plots/methodplots.h"

namespace qv::plots {

namespace {

struct TSegmentedFit {
  std::string id, title, xTitle, junctionText;
  std::vector<double> index;  // the x of environment j at [j - 1]
  std::vector<double> a, b1, b2, junction;
  std::vector<double> genotypeMeans;  // for the genotypes highlighted by default
  // The response of genotype k (0-based) at x.
  double (*response)(const TSegmentedFit&, std::size_t k, double x) = nullptr;
  const TFittedMeans* fitted = nullptr;  // the observed means
  bool markZero = false;                 // a reference line at index 0 (Toler's junction)
};

TPlotModel SegmentedPlot(const TSegmentedFit& fit, const TPlotContext& context) {
  TPlotModel plot;
  plot.id = fit.id;
  plot.title = fit.title;
  plot.subtitle = detail::Subtitle(context);
  plot.xTitle = fit.xTitle;
  plot.yTitle = "Média";
  if (fit.markZero) plot.references.push_back({true, 0.0, ""});
  const auto [lo, hi] = detail::Range(fit.index);
  detail::TGenotypeLines lines;
  lines.g = static_cast<int>(fit.a.size());
  lines.index = fit.index;
  lines.curve = [&fit, lo = lo, hi = hi](int i) {
    const std::size_t k = static_cast<std::size_t>(i - 1);
    const auto f = [&](double x) { return fit.response(fit, k, x); };
    detail::TGenotypeCurve curve;
    if (fit.junction.empty()) {
      curve.pieces.push_back({{lo, f(lo)}, {hi, f(hi)}});
      return curve;
    }
    const double x0 = fit.junction[k];
    curve.pieces.push_back(detail::BrokenLine(lo, hi, x0, f));
    curve.hasJunction = x0 >= lo && x0 <= hi;
    curve.junction = {x0, f(x0)};
    return curve;
  };
  if (fit.fitted && fit.fitted->g == lines.g &&
      fit.fitted->a == static_cast<int>(fit.index.size())) {
    const TFittedMeans* fitted = fit.fitted;
    lines.observed = [fitted](int i, int j) { return static_cast<double>(fitted->Observed(i, j)); };
  }
  lines.means = fit.genotypeMeans;
  lines.slopes = fit.b2.empty() ? fit.b1 : fit.b2;
  lines.junctionText = fit.junctionText;
  detail::AddGenotypeLines(plot, lines, context);
  return plot;
}

double TolerResponse(const TSegmentedFit& f, std::size_t k, double u) {
  return f.a[k] + (u <= 0 ? f.b1[k] : f.b2[k]) * u;
}
double LinearResponse(const TSegmentedFit& f, std::size_t k, double u) {
  return f.a[k] + f.b1[k] * u;
}
double SilvaResponse(const TSegmentedFit& f, std::size_t k, double x) {
  const double x0 = f.junction[k];
  return x <= x0 ? f.a[k] + f.b1[k] * x : f.a[k] + f.b1[k] * x0 + f.b2[k] * (x - x0);
}
// Silva's modified form and the Silva and Toler model: both lines written about the junction.
double AboutJunctionResponse(const TSegmentedFit& f, std::size_t k, double x) {
  const double x0 = f.junction[k];
  return f.a[k] + (x <= x0 ? f.b1[k] : f.b2[k]) * (x - x0);
}

}  // namespace

std::vector<TPlotModel> TolerPlots(const TTolerResult& result, const TPlotContext& context) {
  TSegmentedFit fit;
  fit.id = "segmentos";
  fit.title = "Toler (1990): modelo bissegmentado";
  fit.xTitle = "Índice ambiental estimado U(j)";
  fit.junctionText = "junção (U = 0)";
  fit.index = detail::Values(result.U);
  fit.a = detail::Values(result.a);
  fit.b1 = detail::Values(result.b1);
  fit.b2 = detail::Values(result.b2);
  fit.junction.assign(fit.a.size(), 0.0);
  fit.response = TolerResponse;
  fit.fitted = &result.fit.fitted;
  fit.genotypeMeans = detail::Values(result.means.margins.MedGen);
  fit.markZero = true;
  return {SegmentedPlot(fit, context)};
}

std::vector<TPlotModel> TolerLinearPlots(const TTolerLinearResult& result,
                                         const TPlotContext& context) {
  TSegmentedFit fit;
  fit.id = "linear";
  fit.title = "Toler (1990): modelo linear simples";
  fit.xTitle = "Índice ambiental estimado U(j)";
  fit.index = detail::Values(result.U);
  fit.a = detail::Values(result.a);
  fit.b1 = detail::Values(result.b);
  fit.response = LinearResponse;
  fit.fitted = &result.fit.fitted;
  fit.genotypeMeans = detail::Values(result.margins.MedGen);
  return {SegmentedPlot(fit, context)};
}

std::vector<TPlotModel> SilvaPlots(const TSilvaResult& result, const TPlotContext& context) {
  const bool modified = result.variant == TSilvaVariant::Modified;
  TSegmentedFit fit;
  fit.id = "segmentos";
  fit.title = modified ? "Silva (1998), forma modificada: regressão segmentada com junção"
                       : "Silva (1998): regressão segmentada com junção estimada";
  fit.xTitle = "Índice ambiental X(j)";
  fit.junctionText = "junção X0(i)";
  for (int j = 1; j <= result.means.margins.MedAmb.Size(); ++j) {
    fit.index.push_back(static_cast<double>(result.means.margins.Index(j)));
  }
  fit.a = detail::Values(result.a);
  fit.b1 = detail::Values(result.b1);
  fit.b2 = detail::Values(result.b2);
  fit.junction = detail::Values(result.X0);
  fit.response = modified ? AboutJunctionResponse : SilvaResponse;
  fit.fitted = &result.fit.fitted;
  fit.genotypeMeans = detail::Values(result.means.margins.MedGen);
  return {SegmentedPlot(fit, context)};
}

std::vector<TPlotModel> SilvaTolerPlots(const TSilvaTolerResult& result,
                                        const TPlotContext& context) {
  TSegmentedFit fit;
  fit.id = "segmentos";
  fit.title = "Silva e Toler: modelo bissegmentado com junção por genótipo";
  fit.xTitle = "Índice ambiental estimado U(j)";
  fit.junctionText = "junção U0(i)";
  fit.index = detail::Values(result.U);
  fit.a = detail::Values(result.a);
  fit.b1 = detail::Values(result.b1);
  fit.b2 = detail::Values(result.b2);
  fit.junction = detail::Values(result.U0);
  fit.response = AboutJunctionResponse;
  fit.fitted = &result.fit.fitted;
  fit.genotypeMeans = detail::Values(result.means.margins.MedGen);
  return {SegmentedPlot(fit, context)};
}

}  // namespace qv::plots
