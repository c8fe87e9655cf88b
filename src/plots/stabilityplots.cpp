// The methods that rate each genotype by one statistic: the genotypes placed by their mean and
// that statistic, so that a breeder sees at once which of the productive genotypes are also
// stable (Wricke's W, Plaisted and Peterson's theta: small is stable; Lin and Binns' P: small is
// close to the best everywhere; Annicchiarico's I: large is reliably above the average).
#include "plots/builders.h"
#include "plots/methodplots.h"

namespace qv::plots {

std::vector<TPlotModel> WrickePlots(const TWrickeResult& result, const TPlotContext& context) {
  detail::TStatisticPlot plot;
  plot.id = "media-w";
  plot.title = "Wricke (1965): médias e ecovalências";
  plot.yTitle = "Ecovalência W(i)";
  plot.meanLabel = "W médio";
  plot.means = detail::Values(result.MedGen);
  plot.statistic = detail::Values(result.W);
  plot.statisticMean = detail::Mean(plot.statistic);
  return {detail::StatisticPlot(plot, context)};
}

std::vector<TPlotModel> PlaistedPlots(const TPlaistedResult& result, const TPlotContext& context) {
  detail::TStatisticPlot plot;
  plot.id = "media-theta";
  plot.title = "Plaisted e Peterson (1959): médias e componentes de variância";
  plot.yTitle = "θ(i), componente médio da interação";
  plot.meanLabel = "θ médio";
  plot.means = detail::Values(result.MedGen);
  plot.statistic = detail::Values(result.thetaMean);
  plot.statisticMean = result.mean;
  return {detail::StatisticPlot(plot, context)};
}

std::vector<TPlotModel> LinBinnsPlots(const TLinBinnsResult& result, const TPlotContext& context) {
  detail::TStatisticPlot plot;
  plot.id = "media-p";
  plot.title = "Lin e Binns (1988): médias e medida de superioridade";
  plot.yTitle = "P(i), distância ao máximo";
  plot.meanLabel = "P médio";
  plot.means = detail::Values(result.MedGen);
  plot.statistic = detail::Values(result.P);
  plot.statisticMean = static_cast<double>(result.meanP);
  return {detail::StatisticPlot(plot, context)};
}

std::vector<TPlotModel> AnnicchiaricoPlots(const TAnnicchiaricoResult& result,
                                           const TPlotContext& context) {
  detail::TStatisticPlot plot;
  plot.id = "media-i";
  plot.title = "Annicchiarico (1992): médias e índice de confiança";
  plot.yTitle = "I(i), índice de confiança (%)";
  plot.meanLabel = "I médio";
  plot.means = detail::Values(result.MedGen);
  plot.statistic = detail::Values(result.index);
  plot.statisticMean = detail::Mean(plot.statistic);
  return {detail::StatisticPlot(plot, context)};
}

}  // namespace qv::plots
