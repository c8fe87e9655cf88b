#include "methods/ammi.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "analysis/jointanova.h"
#include "analysis/layout.h"
#include "stats/genztqf.h"
#include "stats/symeigen.h"

namespace qv {
namespace {

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

// Steps of the decomposition, on the means whose margins the joint analysis has just filled.
// Returns an empty string, or why the decomposition gave no result.
std::string Decompose(const TGxeMeans& m, int g, int a, int shown, TAmmiWork& w) {
  // Interaction effects: what the additive model leaves over.
  const long double grand = m.MediaGeral;
  for (int i = 1; i <= g; ++i)
    for (int j = 1; j <= a; ++j) w.Z(i, j) = ((m.Y(i, j) - m.MedGen(i)) - m.MedAmb(j)) + grand;

  // Cross products Z Z' (genotypes by genotypes); the solver reads the upper triangle only.
  SymEigenSolver& solver = w.Solver();
  for (int i = 1; i <= g; ++i) {
    const long double* zi = w.ZRow(i);
    for (int k = i; k <= g; ++k) {
      const long double* zk = w.ZRow(k);
      long double s = 0;
      for (int j = 0; j < a; ++j) s += zi[j] * zk[j];
      solver.A(i, k) = s;
    }
  }

  // Eigenvalues of Z Z' are the squared singular values of Z: the interaction sum of squares
  // of each component on the scale of the means; its eigenvectors are the genotype vectors.
  switch (solver.Decompose(g)) {
    case EigenStatus::Success:
      break;
    case EigenStatus::NullMatrix:
      // Purely additive data: no component exists. Everything derived from them is zero.
      w.nullInteraction = true;
      w.firstWithoutAxis = 1;
      return "";
    case EigenStatus::NoConvergence:
      return "a decomposição da interação em componentes principais não convergiu";
    case EigenStatus::InvalidInput:
      return "a matriz de interação contém valores não finitos ou grandes demais";
  }
  for (int k = 1; k <= g; ++k) w.Lambda(k) = solver.Lambda(k);

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
  for (int k = 1; k < std::min(shown + 1, w.firstWithoutAxis); ++k) {
    const long double lambda = w.Lambda(k);
    const long double root4 = std::sqrt(std::sqrt(lambda));
    for (int j = 1; j <= a; ++j) {
      double s = 0;
      for (int i = 1; i <= g; ++i) s += w.U(i, k) * w.Z(i, j);
      w.EnvScore(j, k) = static_cast<double>(s / root4);
    }
    const long double root = std::sqrt(lambda);
    for (int j = 1; j <= a; ++j) {
      long double s = 0;
      for (int i = 1; i <= g; ++i) s += w.Z(i, j) * w.U(i, k);
      w.V(j, k) = s / root;
    }
    for (int i = 1; i <= g; ++i) {
      double s = 0;
      for (int j = 1; j <= a; ++j) s += w.V(j, k) * w.Z(i, j);
      w.GenScore(i, k) = static_cast<double>(s / root4);
    }
  }
  return "";
}

void AppendVectorHeader(TReport& report, const char* rowTitle, const char* column, int shown) {
  std::string line = rowTitle;
  for (int k = 1; k <= shown; ++k) line += " " + std::string(column) + Int(k, 2);
  report.AppendLine(line);
  report.AppendSeparator();
}

}  // namespace

TStepResult AmmiCompute(TGxeMeans& m, const TAnalysisParams& p, TReport& report) {
  const int g = p.g, a = p.a;
  // The mean squares divide by g - 1 and a - 1, every F ratio by QME and is tested with gle
  // degrees of freedom: the joint analysis's own conditions.
  if (std::string cause = JointAnovaRefusal(p, 2); !cause.empty())
    return TStepResult::Refuse(cause);

  const int minGA = std::min(g, a);
  const int shown = std::min(minGA - 1, kMaxShownComponents);    // K4
  const int listed = minGA - 1;                                  // KE
  const int tested = std::min(minGA - 1, kMaxTestedComponents);  // K3

  // Everything is computed before the first line is written, so that a failure leaves the
  // report without a half-written block.
  const TJointAnova anova = ComputeJointAnova(m, p);
  TAmmiWork w(g, a, shown);
  if (std::string failure = Decompose(m, g, a, shown, w); !failure.empty())
    return TStepResult::Refuse(failure);

  // Eigenvalue table: each component's share of the interaction sum of squares.
  double total = 0;
  for (int k = 1; k <= listed; ++k) total += w.Lambda(k);
  if (total <= 0) total = 1;

  // Analysis of variance. Component v has g + a - 1 - 2v degrees of freedom (Gollob 1968);
  // the components after the third are pooled into the deviations row.
  ProbStatus status = ProbStatus::Ok;
  std::vector<std::string> rows;
  rows.push_back(AnovaRowText("Genótipos (G)   ", g - 1, anova.MSG, p, kPFloorMain, false, status));
  rows.push_back(AnovaRowText("Ambientes (A)   ", a - 1, anova.MSA, p, kPFloorMain, true, status));
  rows.push_back(AnovaRowText("GxA             ", (a - 1) * (g - 1), anova.MSGA, p, kPFloorMain,
                              true, status));
  int dfComponents = 0;
  for (int v = 1; v <= tested; ++v) {
    const int df = g + a - 1 - 2 * v;
    dfComponents += df;
    if (w.Lambda(v) <= 0) w.Lambda(v) = kEigenvalueFloor;
    const TComponentRow row = TestComponent(df, w.Lambda(v), p, status);
    rows.push_back(AnovaRowText("  CP     " + Int(v, 6) + " ", df, row.ms, row.test));
  }
  if (minGA >= 4) {
    double rest = 0;
    for (int k = 4; k <= minGA; ++k) rest += w.Lambda(k);
    if (rest <= 0) rest = static_cast<double>(kEigenvalueFloor);
    const int df = (g - 1) * (a - 1) - dfComponents;
    const TComponentRow row = TestComponent(df, rest, p, status);
    rows.push_back(AnovaRowText("  Desvios       ", df, row.ms, row.test));
  }
  if (status != ProbStatus::Ok) return TStepResult::Refuse(ProbStatusCause(status));

  report.AppendSeparator();
  if (w.nullInteraction) {
    report.AppendLine("Nota: A interação genótipos x ambientes é nula (dados aditivos) e não tem");
    report.AppendLine("      componentes principais: autovetores, escores e autovalores são zero");
    report.AppendLine("      e os valores estimados são os do modelo aditivo.");
  } else if (w.firstWithoutAxis <= shown) {
    report.AppendLine("Nota: A partir do CP" + Int(w.firstWithoutAxis, 2) +
                      " os autovalores são nulos (componentes sem interação):");
    report.AppendLine("      os autovetores e os escores destes CP são zero.");
  }

  // 1. Genotype eigenvectors.
  report.AppendLine("Matriz dos Autovetores mais importantes para genótipos");
  report.AppendSeparator();
  AppendVectorHeader(report, "Genót.", "Auto Vetor", shown);
  for (int i = 1; i <= g; ++i) {
    std::string line = Int(i, 5);
    for (int k = 1; k <= shown; ++k) line += " " + Fixed(w.U(i, k), 12, 6);
    report.AppendLine(line + " ");
  }
  report.AppendSeparator();

  // 2. Environment scores.
  AppendVectorHeader(report, "Amb.  ", "  Escore  ", shown);
  for (int j = 1; j <= a; ++j) {
    std::string line = Int(j, 5);
    for (int k = 1; k <= shown; ++k) line += " " + Fixed(w.EnvScore(j, k), 12, 4);
    report.AppendLine(line + " ");
  }
  report.AppendSeparator();

  // 3. Environment eigenvectors.
  report.AppendLine("Matriz dos Autovetores mais importantes para ambientes");
  report.AppendSeparator();
  AppendVectorHeader(report, "Amb.  ", "Auto Vetor", shown);
  for (int j = 1; j <= a; ++j) {
    std::string line = Int(j, 5);
    for (int k = 1; k <= shown; ++k) line += " " + Fixed(w.V(j, k), 12, 6);
    report.AppendLine(line + " ");
  }
  report.AppendSeparator();

  // 4. Genotype scores.
  AppendVectorHeader(report, "Genót.", "  Escore  ", shown);
  for (int i = 1; i <= g; ++i) {
    std::string line = Int(i, 5);
    for (int k = 1; k <= shown; ++k) line += " " + Fixed(w.GenScore(i, k), 12, 4);
    report.AppendLine(line + " ");
  }
  report.AppendSeparator();
  report.AppendLine("Nota: Os Escores foram calculados com os efeitos da interação ao invés");
  report.AppendLine("      de usar a média de ambientes/genótipos ou de genótipos/ambiente!");

  // 5. Eigenvalues.
  report.AppendSeparator();
  report.AppendLine(" CP   Autovalores  % Explicação  % Expl.Acumulada");
  report.AppendSeparator();
  double cumulative = 0;
  for (int k = 1; k <= listed; ++k) {
    const long double lambda = w.Lambda(k);
    cumulative += lambda;
    report.AppendLine(Int(k, 5) + " " + Fixed(lambda, 12, 4) + " " +
                      Fixed(100 * lambda / total, 12, 4) + " " +
                      Fixed(100 * cumulative / total, 12, 4) + " ");
  }
  report.AppendSeparator();
  report.AppendLine("Nota: Os Autovalores representam a soma de quadrados de interação explicada");
  report.AppendLine("      por cada eixo dos CP (está dividido por r - num. rep. médias)!");
  report.AppendBlankLines(2);

  // 6. Analysis of variance.
  AppendJointAnovaTable(report,
                        {std::string(kAnovaTitle),
                         "da interação genótipos x ambientes - Modelo AMMI" + std::string(18, ' ')},
                        rows, p);

  // 7. Means predicted by the additive model plus the first k components.
  report.AppendLine("Valores estimados dos genótipos em cada ambiente ");
  report.AppendLine("para os primeiros componentes principais (PC)");
  report.AppendSeparator();
  {
    std::string header = "Gen Amb";
    for (int k = 1; k <= shown; ++k) header += " " + std::string("   Pred. PC") + Int(k, 2);
    report.AppendLine(header);
  }
  report.AppendSeparator();
  std::string line;
  for (int i = 1; i <= g; ++i) {
    for (int j = 1; j <= a; ++j) {
      double predicted = static_cast<double>((m.MedGen(i) + m.MedAmb(j)) - m.MediaGeral);
      line = Int(i, 3) + " " + Int(j, 3);
      for (int k = 1; k <= shown; ++k) {
        // A component without interaction adds nothing.
        if (k < w.firstWithoutAxis) predicted += std::sqrt(w.Lambda(k)) * w.U(i, k) * w.V(j, k);
        line += Fixed(predicted, 14, 3);
      }
      report.AppendLine(line);
    }
  }
  report.AppendSeparator();
  report.AppendBlankLines(2);
  return TStepResult::Done();
}

TMethod AmmiMethod() {
  TMethod m;
  m.name = "ammi";
  m.phase2Entries = {Entry::GLE, Entry::QME, Entry::NumRep};
  m.titleLine = "Análise de Quorvandelia de Acordo com o modelo AMMI (Crossa, 1990)\r\n";
  m.accumulatesMediaGeral = true;
  m.compute = AmmiCompute;
  return m;
}

TRunOutcome AmmiRun(TSession& session, THost& host) {
  return RunAnalysis(AmmiMethod(), session, host);
}

}  // namespace qv
