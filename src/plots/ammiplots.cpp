// The AMMI biplots (Kempton 1984; Gauch 1988; Crossa, Gauch and Zobel 1990). The scores are the
// report's: the genotype and environment eigenvectors scaled by the fourth root of their
// eigenvalue, the symmetric scaling, so that the product of a genotype's and an environment's
// scores on a component is their interaction on it, and the genotypes and environments share
// one scale. AMMI1 places them by their mean (main effect) and their first score; AMMI2 by
// their first two scores, with equal scales on both axes, so that the angles and distances of
// the biplot can be read. Each axis of a component names the share of the interaction sum of
// squares that the component explains.
#include <cmath>
#include <cstdio>

#include "plots/builders.h"
#include "plots/methodplots.h"

namespace qv::plots {

namespace {

// "CP1 (99.3% da SQ da interação)".
std::string ComponentTitle(const TAmmiResult& result, int k) {
  char share[32];
  std::snprintf(share, sizeof share, "%.1f",
                static_cast<double>(result.eigenvalues[static_cast<std::size_t>(k - 1)].percent));
  return "CP" + std::to_string(k) + " (" + share + "% da SQ da interação)";
}

// Genotypes (circles) and environments (triangles), with the legend of both. x and y give the
// coordinates of genotype (or environment) k.
void AddBiplotPoints(TPlotModel& plot, const TAmmiResult& result, const TPlotContext& context,
                     double (*x)(const TAmmiResult&, bool environment, int k),
                     double (*y)(const TAmmiResult&, bool environment, int k)) {
  const TMarkerStyle genotypeStyle{TMarkerShape::Circle, kGenotypeColor, kGenotypeColor, 6};
  const TMarkerStyle environmentStyle{TMarkerShape::Triangle, kEnvironmentColor, kEnvironmentColor,
                                      8};
  TPointSeries genotypes, environments;
  genotypes.style = genotypeStyle;
  environments.style = environmentStyle;
  // Environments are usually fewer and each is a whole site or year: their names go first.
  environments.labelPriority = 1;
  for (int i = 1; i <= result.genotypeScores.Rows(); ++i) {
    genotypes.points.push_back({x(result, false, i), y(result, false, i),
                                context.labels.Genotype(i),
                                detail::GenotypeName(context.labels, i)});
  }
  for (int j = 1; j <= result.environmentScores.Rows(); ++j) {
    environments.points.push_back({x(result, true, j), y(result, true, j),
                                   context.labels.Environment(j),
                                   detail::EnvironmentName(context.labels, j)});
  }
  plot.series.push_back(std::move(genotypes));
  plot.series.push_back(std::move(environments));
  plot.legend.push_back({"genótipos", false, genotypeStyle, {}});
  plot.legend.push_back({"ambientes", false, environmentStyle, {}});
}

double Mean(const TAmmiResult& r, bool environment, int k) {
  return static_cast<double>(environment ? r.anova.MedAmb(k) : r.anova.MedGen(k));
}
double Score1(const TAmmiResult& r, bool environment, int k) {
  return static_cast<double>(environment ? r.environmentScores(k, 1) : r.genotypeScores(k, 1));
}
double Score2(const TAmmiResult& r, bool environment, int k) {
  return static_cast<double>(environment ? r.environmentScores(k, 2) : r.genotypeScores(k, 2));
}

// Whether component k has scores to draw: it exists and explains some interaction.
bool HasAxis(const TAmmiResult& result, int k) {
  return !result.nullInteraction && result.shown >= k && result.firstWithoutAxis > k &&
         static_cast<int>(result.eigenvalues.size()) >= k;
}

}  // namespace

std::vector<TPlotModel> AmmiPlots(const TAmmiResult& result, const TPlotContext& context) {
  std::vector<TPlotModel> plots;
  if (!HasAxis(result, 1)) return plots;

  TPlotModel ammi1;
  ammi1.id = "ammi1";
  ammi1.title = "AMMI1: médias e escores do primeiro componente";
  ammi1.subtitle = detail::Subtitle(context);
  ammi1.xTitle = "Média";
  ammi1.yTitle = ComponentTitle(result, 1);
  ammi1.references = {{true, result.anova.MediaGeral, "média geral"}, {false, 0.0, ""}};
  AddBiplotPoints(ammi1, result, context, Mean, Score1);
  plots.push_back(std::move(ammi1));

  if (HasAxis(result, 2)) {
    TPlotModel ammi2;
    ammi2.id = "ammi2";
    ammi2.title = "AMMI2: escores dos dois primeiros componentes";
    ammi2.subtitle = detail::Subtitle(context);
    ammi2.xTitle = ComponentTitle(result, 1);
    ammi2.yTitle = ComponentTitle(result, 2);
    ammi2.equalScales = true;
    ammi2.references = {{true, 0.0, ""}, {false, 0.0, ""}};
    AddBiplotPoints(ammi2, result, context, Score1, Score2);
    plots.push_back(std::move(ammi2));
  }
  return plots;
}

}  // namespace qv::plots
