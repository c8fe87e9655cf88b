// The plots of each method, built from its result value:
//
//   Wricke, Plaisted and Peterson, Lin and Binns, Annicchiarico: the genotypes placed by their
//     mean and by the method's statistic (W, theta, P, I), with the grand mean and the mean of
//     the statistic as reference lines ("media-w", "media-theta", "media-p", "media-i").
//   Finlay and Wilkinson, Eberhart and Russell: each genotype's fitted line against the
//     environmental index with its observed means ("retas"), and the plane of the genotype
//     mean and the slope, with reference lines at b = 1 and at the grand mean ("media-b1").
//   Cruz, Torres and Vencovsky, Toler, Silva (both forms), Silva and Toler: each genotype's
//     fitted segments against the index, the junction marked, with its observed means
//     ("segmentos"); Toler's simple linear model, fitted to the last variable of a Toler run,
//     as lines ("linear").
//   AMMI: AMMI1, the means against the scores of the first principal component, and AMMI2, the
//     scores of the first two components, genotypes and environments with two kinds of marker,
//     each component's axis naming its share of the interaction sum of squares ("ammi1",
//     "ammi2").
//
// In the plots of lines, the genotypes of TPlotOptions::highlighted are drawn in colour with
// their observed means and their names; the others as thin grey lines.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "analysis/means.h"
#include "analysis/run.h"
#include "methods/ammi.h"
#include "methods/annicchiarico.h"
#include "methods/cruz.h"
#include "methods/eberhart.h"
#include "methods/finlay.h"
#include "methods/linbinns.h"
#include "methods/plaisted.h"
#include "methods/wricke.h"
#include "plots/labels.h"
#include "plots/model.h"
#include "segmented/silva.h"
#include "segmented/silvatoler.h"
#include "segmented/toler.h"
#include "segmented/tolerlinear.h"

namespace qv::plots {

struct TPlotOptions {
  // Genotype codes highlighted in the plots of lines; unset: DefaultHighlighted.
  std::optional<std::vector<int>> highlighted;
};

// What every plot of a variable needs besides the method's result.
struct TPlotContext {
  std::string variable;  // the variable's name
  TPlotLabels labels;
  const TObservedMeans* means = nullptr;  // the variable's means; null when not at hand
  TPlotOptions options;
};

// The genotypes a user asks to highlight: codes separated by commas or blanks ("1, 5 7"), or
// "todos" for every one; "" for the default choice. Nothing, and `error` (Portuguese) set, for
// a text that is neither.
std::optional<TPlotOptions> ReadHighlighted(const std::string& text, std::string& error);

// Up to this many genotypes, every line is highlighted by default.
inline constexpr int kAllHighlighted = 8;

// The genotypes highlighted by default: all of them up to kAllHighlighted; beyond, the
// genotypes at the ends of the two scales a breeder reads such a plot by: the highest and the
// lowest mean, the steepest and the flattest response (ties to the first). `means` and
// `slopes` hold genotype i at [i - 1].
std::vector<int> DefaultHighlighted(const std::vector<double>& means,
                                    const std::vector<double>& slopes);

std::vector<TPlotModel> WrickePlots(const TWrickeResult& result, const TPlotContext& context);
std::vector<TPlotModel> PlaistedPlots(const TPlaistedResult& result, const TPlotContext& context);
std::vector<TPlotModel> LinBinnsPlots(const TLinBinnsResult& result, const TPlotContext& context);
std::vector<TPlotModel> AnnicchiaricoPlots(const TAnnicchiaricoResult& result,
                                           const TPlotContext& context);
std::vector<TPlotModel> FinlayPlots(const TFinlayResult& result, const TPlotContext& context);
std::vector<TPlotModel> EberhartPlots(const TEberhartResult& result, const TPlotContext& context);
std::vector<TPlotModel> CruzPlots(const TCruzResult& result, const TPlotContext& context);
std::vector<TPlotModel> AmmiPlots(const TAmmiResult& result, const TPlotContext& context);
std::vector<TPlotModel> TolerPlots(const TTolerResult& result, const TPlotContext& context);
std::vector<TPlotModel> TolerLinearPlots(const TTolerLinearResult& result,
                                         const TPlotContext& context);
std::vector<TPlotModel> SilvaPlots(const TSilvaResult& result, const TPlotContext& context);
std::vector<TPlotModel> SilvaTolerPlots(const TSilvaTolerResult& result,
                                        const TPlotContext& context);

// Every plot of one variable of a run, in a fixed order: its method's plots, then those of
// the Toler command's continuation when the variable has it. None for a variable that was not
// analysed.
std::vector<TPlotModel> VariablePlots(const TVariableRecord& variable, const TPlotLabels& labels,
                                      const TPlotOptions& options = {});

}  // namespace qv::plots
