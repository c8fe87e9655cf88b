#include "plots/methodplots.h"

namespace qv::plots {

namespace {

std::vector<TPlotModel> PlotsOf(const TAnyResult& r, const TPlotContext& c) {
  if (const auto* x = r.As<TWrickeResult>()) return WrickePlots(*x, c);
  if (const auto* x = r.As<TPlaistedResult>()) return PlaistedPlots(*x, c);
  if (const auto* x = r.As<TLinBinnsResult>()) return LinBinnsPlots(*x, c);
  if (const auto* x = r.As<TAnnicchiaricoResult>()) return AnnicchiaricoPlots(*x, c);
  if (const auto* x = r.As<TFinlayResult>()) return FinlayPlots(*x, c);
  if (const auto* x = r.As<TEberhartResult>()) return EberhartPlots(*x, c);
  if (const auto* x = r.As<TCruzResult>()) return CruzPlots(*x, c);
  if (const auto* x = r.As<TAmmiResult>()) return AmmiPlots(*x, c);
  if (const auto* x = r.As<TTolerResult>()) return TolerPlots(*x, c);
  if (const auto* x = r.As<TTolerLinearResult>()) return TolerLinearPlots(*x, c);
  if (const auto* x = r.As<TSilvaResult>()) return SilvaPlots(*x, c);
  if (const auto* x = r.As<TSilvaTolerResult>()) return SilvaTolerPlots(*x, c);
  return {};
}

}  // namespace

std::vector<TPlotModel> VariablePlots(const TVariableRecord& variable, const TPlotLabels& labels,
                                      const TPlotOptions& options) {
  if (variable.status != TVariableStatus::Analysed) return {};
  TPlotContext context;
  context.variable = variable.name;
  context.labels = labels;
  context.means = &variable.means;
  context.options = options;
  std::vector<TPlotModel> plots = PlotsOf(variable.result, context);
  for (TPlotModel& plot : PlotsOf(variable.continuation, context)) plots.push_back(std::move(plot));
  return plots;
}

}  // namespace qv::plots
