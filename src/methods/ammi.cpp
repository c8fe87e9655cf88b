#include "methods/ammi.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "analysis/jointanova.h"
#include "analysis/layout.h"
#include "analysis/reporthalves.h"
#include "stats/crossproduct.h"
#include "stats/genztqf.h"
#include "stats/symeigen.h"

namespace qv {
namespace {

// From this many lines of predictions on, two threads write them.
constexpr std::size_t kParallelPredictionLines = std::size_t{1} << 16;

// Columns of the eigenvector, score and prediction tables.
constexpr int kMaxShownComponents = 4;
// Principal-component rows of the analysis of variance; the rest of the interaction is pooled
// into the deviations row.
constexpr int kMaxTestedComponents = 3;

// A component whose eigenvalue is 0 or negative enters the analysis of variance with this
// eigenvalue instead, so that its row prints a mean square and an F ratio of (almost) zero.
constexpr long double kEigenvalueFloor = 1e-7L;

// Work storage of one call, sized to the table: the interaction matrix, the cross-product
// matrix inside the eigen solver, and the environment eigenvectors and the scores of the
// components shown. Allocated once per call, before the first cell is touched.
class TAmmiWork {
 public:
  TAmmiWork(int g, int a, int shown)
      : a_(a),
        shown_(shown),
        z_(static_cast<std::size_t>(g) * a),
        solver_(g),
        lambda_(static_cast<std::size_t>(g) + 1, 0.0L),
        v_(static_cast<std::size_t>(a) * shown, 0.0L),
        envScore_(static_cast<std::size_t>(a) * shown, 0.0),
        genScore_(static_cast<std::size_t>(g) * shown, 0.0) {}

  long double& Z(int i, int j) { return z_[static_cast<std::size_t>(i - 1) * a_ + (j - 1)]; }
  const long double* ZRow(int i) const { return z_.data() + static_cast<std::size_t>(i - 1) * a_; }
  SymEigenSolver& Solver() { return solver_; }
  // Genotype eigenvector k, entry i; zero for a component without interaction.
  long double U(int i, int k) const { return k < firstWithoutAxis ? solver_.A(i, k) : 0.0L; }
  long double& Lambda(int k) { return lambda_[static_cast<std::size_t>(k)]; }
  long double& V(int j, int k) { return v_[Slot(j, k)]; }
  double& EnvScore(int j, int k) { return envScore_[Slot(j, k)]; }
  double& GenScore(int i, int k) { return genScore_[Slot(i, k)]; }

  bool nullInteraction = false;
  // First component that explains no interaction (g + 1 when every one does).
  int firstWithoutAxis = 1;

 private:
  std::size_t Slot(int row, int k) const {
    return static_cast<std::size_t>(row - 1) * shown_ + (k - 1);
  }
  int a_, shown_;
  std::vector<long double> z_;
  SymEigenSolver solver_;
  std::vector<long double> lambda_;
  std::vector<long double> v_;
  std::vector<double> envScore_, genScore_;
};

// The F test of a principal-component row or of the deviations row (Gollob 1968): the sum of
// squares r * lambda over its degrees of freedom, against the pooled residual. Unlike the rows
// of the joint analysis, a ratio of exactly 1 is tested by the series, every ratio below 1e-8
// is tested as 1e-8, and a row without degrees of freedom prints a mean square and F of zero
// and a probability of one.
struct TComponentRow {
  double ms = 0;
  TFTest test;
};

TComponentRow TestComponent(int df, long double lambda, const TAnalysisParams& p,
                            ProbStatus& status) {
  TComponentRow row;
  row.ms = df > 0 ? static_cast<double>(p.r * lambda / df) : 0.0;
  double fc = df > 0 ? row.ms / p.QME : kFcGuard;
  if (fc <= kFcGuard) fc = kFcGuard;
  long double w = 0;
  if (df >= 1) {
    ProbStatus st = ProbStatus::Ok;
    w = fc < 1 ? ProbFPeizerPratt(df, p.gle, fc, &st) : ProbF(df, p.gle, fc, &st);
    if (fc >= 1 && st == ProbStatus::NoConvergence) {
      // With thousands of degrees of freedom on both sides (the deviations of a large table
      // against the pooled residual of many trials) the series' terms leave the extended
      // range; Peizer and Pratt's (1968) approximation is at its most accurate there.
      st = ProbStatus::Ok;
      w = ProbFPeizerPratt(df, p.gle, fc, &st);
    }
    if (st == ProbStatus::Ok && std::isnan(w)) st = ProbStatus::InvalidArgument;
    if (st != ProbStatus::Ok && status == ProbStatus::Ok) status = st;
  }
  row.test.fc = fc;
  row.test.p = w > 1 ? kPFloorMain : static_cast<double>(1 - w);
  return row;
}

// Steps of the decomposition, on the margins and grand mean of the joint analysis. Nothing, or
// why the decomposition gave no result.
TCheck Decompose(const TGxeMeans& m, const TJointAnova& an, int g, int a, int shown, TAmmiWork& w) {
  // Interaction effects: what the additive model leaves over.
  const long double grand = an.MediaGeral;
  for (int i = 1; i <= g; ++i)
    for (int j = 1; j <= a; ++j) w.Z(i, j) = ((m.Y(i, j) - an.MedGen(i)) - an.MedAmb(j)) + grand;

  // Cross products Z Z' (genotypes by genotypes); the solver reads the upper triangle only.
  SymEigenSolver& solver = w.Solver();
  CrossProductUpper(w.ZRow(1), g, a, solver);

  // Whether there is any interaction, judged against the scale of the data: the effects carry
  // the rounding of the 64-bit grand mean, so effects at that level are no interaction. The
  // decomposition's own test of a null matrix (every entry below 1e-10) and its deflation floor
  // (1e-11) are absolute: on values of small magnitude they would take a real interaction for
  // none, or decompose it to a few digits. So a matrix whose entries are all below 1 is scaled
  // by a power of two first (exactly: no digit of the entries or of the eigenvectors changes)
  // and its eigenvalues are scaled back.
  long double largestEffect = 0, largestEntry = 0;
  for (int i = 1; i <= g; ++i) {
    // Plain comparisons instead of the library's fmax, with its answer: a NaN is passed over.
    for (int j = 1; j <= a; ++j) {
      const long double x = std::fabs(w.Z(i, j));
      if (x > largestEffect) largestEffect = x;
    }
    for (int k = i; k <= g; ++k) {
      const long double x = std::fabs(solver.A(i, k));
      if (x > largestEntry) largestEntry = x;
    }
  }
  if (largestEffect == 0 || AtRoundingLevel(largestEffect, LargestMean(m, g, a))) {
    w.nullInteraction = true;
    w.firstWithoutAxis = 1;
    return std::nullopt;
  }
  int scale = 0;  // the entries are multiplied by 2^scale
  if (std::isfinite(largestEntry) && largestEntry > 0 && largestEntry < 1) {
    std::frexp(largestEntry, &scale);
    scale = -scale;
    for (int i = 1; i <= g; ++i) {
      for (int k = i; k <= g; ++k) solver.A(i, k) = std::ldexp(solver.A(i, k), scale);
    }
  }

  // Eigenvalues of Z Z' are the squared singular values of Z: the interaction sum of squares
  // of each component on the scale of the means; its eigenvectors are the genotype vectors.
  switch (solver.DecomposeLeading(g, shown)) {
    case EigenStatus::Success:
      break;
    case EigenStatus::NullMatrix:
      // Purely additive data: no component exists. Everything derived from them is zero.
      w.nullInteraction = true;
      w.firstWithoutAxis = 1;
      return std::nullopt;
    case EigenStatus::NoConvergence:
      return TRefusal::OfVariable(
          "a decomposição da interação em componentes principais não convergiu");
    case EigenStatus::InvalidInput:
      return TRefusal::OfVariable(
          "a matriz de interação contém valores não finitos ou grandes demais");
  }
  for (int k = 1; k <= g; ++k) w.Lambda(k) = std::ldexp(solver.Lambda(k), -scale);

  // Z has rank at most min(g, a) - 1, and less when the interaction has fewer components (an
  // interaction of rank 1, for instance): the eigenvalues beyond the rank are zero, computed
  // as rounding noise of either sign. Their eigenvectors are arbitrary, and v = Z'u/sqrt(lambda)
  // would blow the noise up into a vector of any length (the rounding of the grand mean, a
  // constant shift of Z, typically comes out as a constant "environment vector"). Such a
  // component explains no interaction: its eigenvalue is taken as 0 and its vectors and scores
  // as zero. The eigenvalues are in descending order, so these components form a tail.
  w.firstWithoutAxis = g + 1;
  for (int k = 1; k <= g; ++k) {
    if (!(w.Lambda(k) > 0) || AtRoundingLevel(w.Lambda(k), w.Lambda(1))) {
      w.firstWithoutAxis = k;
      break;
    }
  }
  for (int k = w.firstWithoutAxis; k <= g; ++k) w.Lambda(k) = 0;

  // Environment vectors v = Z'u / sqrt(lambda) and the symmetric biplot scores
  // lambda^(1/4) u and lambda^(1/4) v (Gabriel 1971; Zobel, Wright and Gauch 1988), the latter
  // formed from the interaction effects themselves.
  // The sums over genotypes run for all environments at once, genotype by genotype, so that Z
  // is read row by row; each sum still takes its terms in ascending i.
  std::vector<double> envSum(static_cast<std::size_t>(a) + 1);
  std::vector<long double> vSum(static_cast<std::size_t>(a) + 1);
  const int axes = std::min(shown + 1, w.firstWithoutAxis) - 1;
  std::array<long double, kMaxShownComponents + 1> root4s{};
  for (int k = 1; k <= axes; ++k) {
    const long double lambda = w.Lambda(k);
    const long double root4 = std::sqrt(std::sqrt(lambda));
    const long double root = std::sqrt(lambda);
    root4s[static_cast<std::size_t>(k)] = root4;
    std::fill(envSum.begin(), envSum.end(), 0.0);
    std::fill(vSum.begin(), vSum.end(), 0.0L);
    for (int i = 1; i <= g; ++i) {
      const long double u = w.U(i, k);
      const long double* zi = w.ZRow(i);
      for (int j = 1; j <= a; ++j) {
        envSum[j] += u * zi[j - 1];
        vSum[j] += zi[j - 1] * u;
      }
    }
    for (int j = 1; j <= a; ++j) {
      w.EnvScore(j, k) = static_cast<double>(envSum[j] / root4);
      w.V(j, k) = vSum[j] / root;
    }
  }
  // A genotype's scores: the sums of its row of Z against each component's v run side by side
  // (the chains of 64-bit additions overlap, and each entry of Z is loaded once), each in
  // ascending j.
  for (int i = 1; i <= g; ++i) {
    std::array<double, kMaxShownComponents + 1> sum{};
    const long double* zi = w.ZRow(i);
    for (int j = 1; j <= a; ++j) {
      const long double z = zi[j - 1];
      for (int k = 1; k <= axes; ++k) sum[static_cast<std::size_t>(k)] += w.V(j, k) * z;
    }
    for (int k = 1; k <= axes; ++k) {
      w.GenScore(i, k) = static_cast<double>(sum[static_cast<std::size_t>(k)] /
                                             root4s[static_cast<std::size_t>(k)]);
    }
  }
  return std::nullopt;
}

// One of the tables of vectors or scores: the header (the row title and one column per
// component), then each row's number and its values.
void AppendComponentMatrix(TReport& report, const char* rowTitle, const char* column,
                           const TComponentMatrix& values, int decimals) {
  std::string line = rowTitle;
  for (int k = 1; k <= values.Components(); ++k) line += " " + std::string(column) + Int(k, 2);
  report.AppendLine(line);
  report.AppendSeparator();
  for (int row = 1; row <= values.Rows(); ++row) {
    line = Int(row, 5);
    for (int k = 1; k <= values.Components(); ++k)
      line += " " + Fixed(values(row, k), 12, decimals);
    report.AppendLine(line + " ");
  }
  report.AppendSeparator();
}

TResultTable ComponentResultTable(std::string id, std::string title, const char* rowTitle,
                                  const char* column, const TComponentMatrix& values) {
  TResultTable t{std::move(id), std::move(title), {rowTitle}, {}};
  for (int k = 1; k <= values.Components(); ++k) t.columns.push_back(column + std::to_string(k));
  for (int row = 1; row <= values.Rows(); ++row) {
    std::vector<TCell> cells{Whole(row)};
    for (int k = 1; k <= values.Components(); ++k) cells.push_back(Real(values(row, k)));
    t.rows.push_back(std::move(cells));
  }
  return t;
}

}  // namespace

double TAmmiResult::AdditivePrediction(int i, int j) const {
  return static_cast<double>((anova.MedGen(i) + anova.MedAmb(j)) - anova.MediaGeral);
}

double TAmmiResult::AddComponent(double predicted, int i, int j, int c) const {
  // A component without interaction adds nothing.
  if (c >= firstWithoutAxis) return predicted;
  return predicted + componentRoots[static_cast<std::size_t>(c - 1)] * genotypeVectors(i, c) *
                         environmentVectors(j, c);
}

double TAmmiResult::Predicted(int i, int j, int k) const {
  double predicted = AdditivePrediction(i, j);
  for (int c = 1; c <= k; ++c) predicted = AddComponent(predicted, i, j, c);
  return predicted;
}

TComputed<TAmmiResult> AmmiCompute(const TGxeMeans& m, const TAnalysisParams& p) {
  const int g = p.g, a = p.a;
  // The mean squares divide by g - 1 and a - 1, every F ratio by QME and is tested with gle
  // degrees of freedom: the joint analysis's own conditions.
  if (TCheck refusal = JointAnovaRefusal(p, 2)) return *refusal;
  if (TCheck refusal = ScaleRefusal(m, p.g, p.a)) return *refusal;

  const int minGA = std::min(g, a);
  const int shown = std::min(minGA - 1, kMaxShownComponents);    // K4
  const int listed = minGA - 1;                                  // KE
  const int tested = std::min(minGA - 1, kMaxTestedComponents);  // K3

  TAmmiResult res;
  res.anova = ComputeJointAnova(m, p);
  const TJointAnova& anova = res.anova;
  TAmmiWork w(g, a, shown);
  if (TCheck refusal = Decompose(m, anova, g, a, shown, w)) return *refusal;

  // Eigenvalue table: each component's share of the interaction sum of squares.
  double total = 0;
  for (int k = 1; k <= listed; ++k) total += w.Lambda(k);
  if (total <= 0) total = 1;

  // Analysis of variance. Component v has g + a - 1 - 2v degrees of freedom (Gollob 1968);
  // the components after the third are pooled into the deviations row.
  ProbStatus status = ProbStatus::Ok;
  res.summary.titleLines = {
      std::string(kAnovaTitle),
      "da interação genótipos x ambientes - Modelo AMMI" + std::string(18, ' ')};
  res.summary.gle = p.gle;
  res.summary.QME = p.QME;
  std::vector<TAnovaRow>& rows = res.summary.rows;
  rows = MainEffectRows(g, a, anova.MSG, anova.MSA, anova.MSGA, p, true, status);
  int dfComponents = 0;
  for (int v = 1; v <= tested; ++v) {
    const int df = g + a - 1 - 2 * v;
    dfComponents += df;
    if (w.Lambda(v) <= 0) w.Lambda(v) = kEigenvalueFloor;
    const TComponentRow component = TestComponent(df, w.Lambda(v), p, status);
    rows.push_back({"  CP     " + Int(v, 6) + " ", "CP", v, df, component.ms, component.test});
  }
  if (minGA >= 4) {
    double rest = 0;
    for (int k = 4; k <= minGA; ++k) rest += w.Lambda(k);
    if (rest <= 0) rest = static_cast<double>(kEigenvalueFloor);
    const int df = (g - 1) * (a - 1) - dfComponents;
    const TComponentRow deviations = TestComponent(df, rest, p, status);
    rows.push_back({"  Desvios       ", "Desvios", 0, df, deviations.ms, deviations.test});
  }
  if (status != ProbStatus::Ok) return TRefusal::OfVariable(ProbStatusCause(status));

  res.shown = shown;
  res.nullInteraction = w.nullInteraction;
  res.firstWithoutAxis = w.firstWithoutAxis;
  res.genotypeVectors = TComponentMatrix(g, shown);
  res.genotypeScores = TComponentMatrix(g, shown);
  res.environmentVectors = TComponentMatrix(a, shown);
  res.environmentScores = TComponentMatrix(a, shown);
  for (int k = 1; k <= shown; ++k) {
    for (int i = 1; i <= g; ++i) {
      res.genotypeVectors(i, k) = w.U(i, k);
      res.genotypeScores(i, k) = w.GenScore(i, k);
    }
    for (int j = 1; j <= a; ++j) {
      res.environmentVectors(j, k) = w.V(j, k);
      res.environmentScores(j, k) = w.EnvScore(j, k);
    }
  }
  // The eigenvalues as the table lists them: a tested component whose eigenvalue was not
  // positive shows the floor that entered its test.
  double cumulative = 0;
  for (int k = 1; k <= listed; ++k) {
    const long double lambda = w.Lambda(k);
    cumulative += lambda;
    res.eigenvalues.push_back({lambda, 100 * lambda / total, 100 * cumulative / total});
  }
  for (int k = 1; k <= shown; ++k) {
    res.componentRoots.push_back(
        std::sqrt(res.eigenvalues[static_cast<std::size_t>(k - 1)].lambda));
  }
  return res;
}

void AppendAmmiReport(TReport& report, const TAmmiResult& res) {
  const int g = res.anova.MedGen.Size(), a = res.anova.MedAmb.Size(), shown = res.shown;
  report.AppendSeparator();
  if (res.nullInteraction) {
    report.AppendLine("Nota: A interação genótipos x ambientes é nula (dados aditivos) e não tem");
    report.AppendLine("      componentes principais: autovetores, escores e autovalores são zero");
    report.AppendLine("      e os valores estimados são os do modelo aditivo.");
  } else if (res.firstWithoutAxis <= shown) {
    report.AppendLine("Nota: A partir do CP" + Int(res.firstWithoutAxis, 2) +
                      " os autovalores são nulos (componentes sem interação):");
    report.AppendLine("      os autovetores e os escores destes CP são zero.");
  }

  report.AppendLine("Matriz dos Autovetores mais importantes para genótipos");
  report.AppendSeparator();
  AppendComponentMatrix(report, "Genót.", "Auto Vetor", res.genotypeVectors, 6);
  AppendComponentMatrix(report, "Amb.  ", "  Escore  ", res.environmentScores, 4);
  report.AppendLine("Matriz dos Autovetores mais importantes para ambientes");
  report.AppendSeparator();
  AppendComponentMatrix(report, "Amb.  ", "Auto Vetor", res.environmentVectors, 6);
  AppendComponentMatrix(report, "Genót.", "  Escore  ", res.genotypeScores, 4);
  report.AppendLine("Nota: Os Escores foram calculados com os efeitos da interação ao invés");
  report.AppendLine("      de usar a média de ambientes/genótipos ou de genótipos/ambiente!");

  report.AppendSeparator();
  report.AppendLine(" CP   Autovalores  % Explicação  % Expl.Acumulada");
  report.AppendSeparator();
  int k = 0;
  for (const TEigenvalueRow& e : res.eigenvalues) {
    report.AppendLine(Int(++k, 5) + " " + Fixed(e.lambda, 12, 4) + " " + Fixed(e.percent, 12, 4) +
                      " " + Fixed(e.cumulative, 12, 4) + " ");
  }
  report.AppendSeparator();
  report.AppendLine("Nota: Os Autovalores representam a soma de quadrados de interação explicada");
  report.AppendLine("      por cada eixo dos CP (está dividido por r - num. rep. médias)!");
  report.AppendBlankLines(2);

  AppendAnovaTable(report, res.summary);

  // Means predicted by the additive model plus the first k components.
  report.AppendLine("Valores estimados dos genótipos em cada ambiente ");
  report.AppendLine("para os primeiros componentes principais (PC)");
  report.AppendSeparator();
  {
    std::string header = "Gen Amb";
    for (int c = 1; c <= shown; ++c) header += " " + std::string("   Pred. PC") + Int(c, 2);
    report.AppendLine(header);
  }
  report.AppendSeparator();
  // Lines of 7 + 14 shown characters and "\r\n" (23.5 MB at 600 x 600), for `genotypes` of them:
  // the report holds room for them all, before a second half is appended to it.
  const auto bytes = [&](int genotypes) {
    return static_cast<std::size_t>(genotypes) * static_cast<std::size_t>(a) *
           (9 + 14 * static_cast<std::size_t>(shown));
  };
  report.Reserve(bytes(g) + 1024);
  // The genotypes from..to, each line appended to `out`.
  const auto linesOf = [&](int from, int to, TReport& out) {
    out.Reserve(bytes(to - from + 1));
    std::string line;
    for (int i = from; i <= to; ++i) {
      for (int j = 1; j <= a; ++j) {
        line.clear();
        AppendInt(line, i, 3);
        line += ' ';
        AppendInt(line, j, 3);
        double predicted = res.AdditivePrediction(i, j);
        for (int c = 1; c <= shown; ++c) {
          predicted = res.AddComponent(predicted, i, j, c);
          AppendFixed(line, predicted, 14, 3);
        }
        out.AppendLine(line);
      }
    }
  };
  // On a large table a second thread writes the lines of the second half of the genotypes,
  // appended after the first half's.
  AppendInTwoHalves(
      report, g,
      static_cast<std::size_t>(g) * static_cast<std::size_t>(a) >= kParallelPredictionLines,
      linesOf);
  report.AppendSeparator();
  report.AppendBlankLines(2);
}

namespace {

// Every table but the predictions.
TResultData SummaryResultData(const TAmmiResult& res) {
  TResultData data;
  data.tables.push_back(ComponentResultTable(
      "genotype_vectors", "Matriz dos Autovetores mais importantes para genótipos", "Genót.",
      "Auto Vetor ", res.genotypeVectors));
  data.tables.push_back(
      ComponentResultTable("environment_scores", "", "Amb.", "Escore ", res.environmentScores));
  data.tables.push_back(ComponentResultTable(
      "environment_vectors", "Matriz dos Autovetores mais importantes para ambientes", "Amb.",
      "Auto Vetor ", res.environmentVectors));
  data.tables.push_back(
      ComponentResultTable("genotype_scores", "", "Genót.", "Escore ", res.genotypeScores));
  TResultTable eigen{
      "eigenvalues", "", {"CP", "Autovalores", "% Explicação", "% Expl.Acumulada"}, {}};
  int k = 0;
  for (const TEigenvalueRow& e : res.eigenvalues) {
    eigen.rows.push_back({Whole(++k), Real(e.lambda), Real(e.percent), Real(e.cumulative)});
  }
  data.tables.push_back(std::move(eigen));
  data.tables.push_back(AnovaResultTable("joint_anova", res.summary));
  return data;
}

// The predictions of cell (i, j) with 1, 2, ... shown components, in the order of the columns.
template <typename Visit>
void ForEachPrediction(const TAmmiResult& res, int i, int j, Visit&& visit) {
  double value = res.AdditivePrediction(i, j);
  for (int c = 1; c <= res.shown; ++c) {
    value = res.AddComponent(value, i, j, c);
    visit(value);
  }
}

}  // namespace

TResultData ResultData(const TAmmiResult& res) {
  const int g = res.anova.MedGen.Size(), a = res.anova.MedAmb.Size();
  TResultData data = SummaryResultData(res);
  TResultTable predicted{"predicted",
                         "Valores estimados dos genótipos em cada ambiente para os primeiros "
                         "componentes principais (PC)",
                         {"Gen", "Amb"},
                         {}};
  for (int c = 1; c <= res.shown; ++c) predicted.columns.push_back("Pred. PC " + std::to_string(c));
  predicted.rows.reserve(static_cast<std::size_t>(g) * static_cast<std::size_t>(a));
  for (int i = 1; i <= g; ++i) {
    for (int j = 1; j <= a; ++j) {
      std::vector<TCell> row{Whole(i), Whole(j)};
      row.reserve(2 + static_cast<std::size_t>(res.shown));
      ForEachPrediction(res, i, j, [&](double value) { row.push_back(Real(value)); });
      predicted.rows.push_back(std::move(row));
    }
  }
  data.tables.push_back(std::move(predicted));
  return data;
}

namespace {

// A bound on the magnitude of every prediction: the largest magnitudes of its terms (margins,
// grand mean, each component's sqrt(lambda) u v) summed; NaN when a term is NaN.
long double PredictionBound(const TAmmiResult& res) {
  const auto largest = [](long double m, long double x) {
    x = std::fabs(x);
    return x > m || std::isnan(x) ? x : m;  // a NaN, once taken, stays
  };
  const int g = res.anova.MedGen.Size(), a = res.anova.MedAmb.Size();
  long double gen = 0, env = 0;
  for (int i = 1; i <= g; ++i) gen = largest(gen, res.anova.MedGen(i));
  for (int j = 1; j <= a; ++j) env = largest(env, res.anova.MedAmb(j));
  long double bound = gen + env + std::fabs(static_cast<long double>(res.anova.MediaGeral));
  for (int c = 1; c <= res.shown && c < res.firstWithoutAxis; ++c) {
    long double u = 0, v = 0;
    for (int i = 1; i <= g; ++i) u = largest(u, res.genotypeVectors(i, c));
    for (int j = 1; j <= a; ++j) v = largest(v, res.environmentVectors(j, c));
    bound += res.componentRoots[static_cast<std::size_t>(c - 1)] * u * v;
  }
  return bound;
}

}  // namespace

bool FiniteResult(const TAmmiResult& res) {
  if (!AllFinite(SummaryResultData(res))) return false;
  // Far inside the doubles' range no prediction can overflow, whatever the rounding of its few
  // additions: the g x a cells need not be formed.
  if (PredictionBound(res) < 1e300L) return true;
  const int g = res.anova.MedGen.Size(), a = res.anova.MedAmb.Size();
  bool finite = true;
  for (int i = 1; i <= g; ++i) {
    for (int j = 1; j <= a; ++j) {
      ForEachPrediction(res, i, j, [&](double value) { finite = finite && std::isfinite(value); });
    }
  }
  return finite;
}

TMethod AmmiMethod() {
  TMethod m;
  m.name = "ammi";
  m.phase2Entries = {Entry::GLE, Entry::QME, Entry::NumRep};
  m.titleLine = "Análise de Quorvandelia de Acordo com o modelo AMMI (Crossa, 1990)\r\n";
  m.accumulatesMediaGeral = true;
  m.compute = [](const TComputeContext& c) {
    return WriteStep(AmmiCompute(c.means, c.params),
                     [&](const TAmmiResult& r) { AppendAmmiReport(c.report, r); });
  };
  return m;
}

}  // namespace qv
