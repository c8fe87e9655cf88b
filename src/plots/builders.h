// Pieces the plots of several methods share: the names of genotypes and environments, the plot
// of a statistic against the genotype means, and the plot of one fitted line (or pair of
// segments) per genotype against an environmental index.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "analysis/means.h"
#include "plots/methodplots.h"
#include "plots/model.h"

namespace qv::plots::detail {

// "Genótipo 3", or "Genótipo 3: BRS 264" when the legend names it; likewise environments.
std::string GenotypeName(const TPlotLabels& labels, int i);
std::string EnvironmentName(const TPlotLabels& labels, int j);
// "Variável PROD".
std::string Subtitle(const TPlotContext& context);
// A value for a reader, to 6 significant digits.
std::string Number(double value);

std::vector<double> Values(const TIndexed<>& v);
double Mean(const std::vector<double>& v);

// The genotypes the context highlights (its choice, or DefaultHighlighted), each 1..g once.
std::vector<int> Highlighted(const TPlotContext& context, int g, const std::vector<double>& means,
                             const std::vector<double>& slopes);

// The colour of the k-th highlighted genotype (k = 0, 1, ...).
TColor HighlightColor(int k);

// The genotypes by their mean (x) and a statistic (y), labelled, with reference lines at the
// grand mean and at the mean of the statistic. Non-finite values are left out.
struct TStatisticPlot {
  std::string id, title, yTitle, meanLabel;
  std::vector<double> means, statistic;  // genotype i at [i - 1]
  double statisticMean = 0;
};
TPlotModel StatisticPlot(const TStatisticPlot& plot, const TPlotContext& context);

// A genotype's fitted response over the range of the index: its pieces (one for a straight
// line, one per segment when they do not meet) and the junction where its slope changes.
struct TGenotypeCurve {
  std::vector<std::vector<TDataPoint>> pieces;
  bool hasJunction = false;
  TDataPoint junction;
};

// The polyline from xmin to xmax of a response that changes slope at x0 (continuous there):
// three points when x0 lies inside the range, two otherwise.
std::vector<TDataPoint> BrokenLine(double xmin, double xmax, double x0,
                                   const std::function<double(double)>& f);

struct TGenotypeLines {
  int g = 0;
  std::vector<double> index;                 // environment j's index at [j - 1]
  std::function<TGenotypeCurve(int)> curve;  // genotype i's fitted response
  std::function<double(int, int)> observed;  // Y(i, j); empty when not at hand
  std::vector<double> means, slopes;         // for DefaultHighlighted
  std::string junctionText;                  // the legend's name of the junction
};
// One line per genotype: grey, or in colour with its name, its observed means and its junction
// for the highlighted genotypes (drawn last, on top).
void AddGenotypeLines(TPlotModel& plot, const TGenotypeLines& lines, const TPlotContext& context);

// The smallest and largest value.
std::pair<double, double> Range(const std::vector<double>& v);

}  // namespace qv::plots::detail
