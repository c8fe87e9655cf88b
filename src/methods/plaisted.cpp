#include "methods/plaisted.h"

#include <cmath>
#include <string>
#include <vector>

#include "analysis/jointanova.h"
#include "analysis/layout.h"
#include "stats/partner.h"

namespace qv {
namespace {

// From this many terms of the pairs' sums on (g (g - 1) / 2 pairs of a terms), two threads
// share them.
constexpr std::size_t kParallelCells = std::size_t{1} << 18;

// Position of theta(i, k), i < k, in the row-by-row storage.
std::size_t PairIndex(int g, int i, int k) {
  return static_cast<std::size_t>(i - 1) * (2 * g - i) / 2 + static_cast<std::size_t>(k - i - 1);
}

// The sums S(i, k) = sum_j d_j^2, d_j = Y(i, j) - Y(k, j) in extended precision, each rounded
// to 64 bits after every term, handed to `done(i, k, S)` row by row for i < k. The rounding is
// a store, which chains each addition to the one before: eight pairs, then four, are summed
// side by side, each in its own order, so that their chains overlap. row(i) points at the a
// means of genotype i, of 64-bit or extended reals.
// Only the rows i = first, first + step, ... are summed.
template <typename RowOf, typename Done>
void PairSums(int g, int a, int first, int step, RowOf row, Done done) {
  for (int i = first; i < g; i += step) {
    const auto* yi = row(i);
    int k = i + 1;
    for (; k + 7 <= g; k += 8) {
      const auto *y0 = row(k), *y1 = row(k + 1), *y2 = row(k + 2), *y3 = row(k + 3);
      const auto *y4 = row(k + 4), *y5 = row(k + 5), *y6 = row(k + 6), *y7 = row(k + 7);
      double s[8] = {0, 0, 0, 0, 0, 0, 0, 0};
      for (int j = 0; j < a; ++j) {
        const long double y = yi[j];
        const long double d0 = y - y0[j], d1 = y - y1[j], d2 = y - y2[j], d3 = y - y3[j];
        s[0] = static_cast<double>(s[0] + d0 * d0);
        s[1] = static_cast<double>(s[1] + d1 * d1);
        s[2] = static_cast<double>(s[2] + d2 * d2);
        s[3] = static_cast<double>(s[3] + d3 * d3);
        const long double d4 = y - y4[j], d5 = y - y5[j], d6 = y - y6[j], d7 = y - y7[j];
        s[4] = static_cast<double>(s[4] + d4 * d4);
        s[5] = static_cast<double>(s[5] + d5 * d5);
        s[6] = static_cast<double>(s[6] + d6 * d6);
        s[7] = static_cast<double>(s[7] + d7 * d7);
      }
      for (int q = 0; q < 8; ++q) done(i, k + q, s[q]);
    }
    for (; k + 3 <= g; k += 4) {
      const auto *y0 = row(k), *y1 = row(k + 1), *y2 = row(k + 2), *y3 = row(k + 3);
      double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
      for (int j = 0; j < a; ++j) {
        const long double y = yi[j];
        const long double d0 = y - y0[j], d1 = y - y1[j], d2 = y - y2[j], d3 = y - y3[j];
        s0 = static_cast<double>(s0 + d0 * d0);
        s1 = static_cast<double>(s1 + d1 * d1);
        s2 = static_cast<double>(s2 + d2 * d2);
        s3 = static_cast<double>(s3 + d3 * d3);
      }
      done(i, k, s0);
      done(i, k + 1, s1);
      done(i, k + 2, s2);
      done(i, k + 3, s3);
    }
    for (; k <= g; ++k) {
      const auto* yk = row(k);
      double s = 0.0;
      for (int j = 0; j < a; ++j) {
        const long double d = static_cast<long double>(yi[j]) - yk[j];
        s = static_cast<double>(s + d * d);
      }
      done(i, k, s);
    }
  }
}

}  // namespace

double TPlaistedResult::Theta(int i, int k) const {
  return theta[i < k ? PairIndex(g, i, k) : PairIndex(g, k, i)];
}

TComputed<TPlaistedResult> PlaistedCompute(const TGxeMeans& m, const TAnalysisParams& p) {
  const int g = p.g, a = p.a;
  const double r = p.r;
  // A pair's interaction mean square has a - 1 degrees of freedom, Theta(i) averages the g - 1
  // pairs of a genotype, and the component is per replicate.
  if (g < 2) {
    return TRefusal::BadParameter("Plaisted & Peterson requer pelo menos 2 genótipos (g = " +
                                  std::to_string(g) + "): não há pares de genótipos");
  }
  if (a < 2) {
    return TRefusal::BadParameter("Plaisted & Peterson requer pelo menos 2 ambientes (a = " +
                                  std::to_string(a) + "): sem interação genótipo x ambiente");
  }
  if (!(r > 0.0)) {
    return TRefusal::BadParameter(
        "o número de repetições r deve ser maior que zero (r = " + General(r) + ")");
  }
  // A mean square is never negative (0 is allowed: the components are then the interaction
  // mean squares themselves).
  if (p.QME < 0) {
    return TRefusal::BadParameter(
        "o quadrado médio do resíduo não pode ser negativo (QME = " + General(p.QME) + ")");
  }
  if (TCheck refusal = ScaleRefusal(m, g, a)) return *refusal;

  TPlaistedResult res;
  res.g = g;
  res.MedGen = GenotypeMeans(m, g, a);

  // theta(i,k) = [(r/2) (sum_j d_j^2 - (sum_j d_j)^2 / a) / (a - 1) - QME] / r with
  // d_j = Y(i,j) - Y(k,j): the interaction mean square of the two-genotype table on the plot
  // scale, less the residual mean square, per replicate (Plaisted & Peterson 1959). Stored
  // row by row for i < k, the order of the report.
  const std::size_t pairs = static_cast<std::size_t>(g) * (g - 1) / 2;
  std::vector<double>& theta = res.theta;
  theta.resize(pairs);
  const auto component = [&](int i, int k, double s, bool& finite) {
    const long double dm = a * res.MedGen(i) - a * res.MedGen(k);
    const long double t = dm * dm * (1.0L / a);
    double th = static_cast<double>((s - t) * (r / 2) / (a - 1));
    th = static_cast<double>((static_cast<long double>(th) - p.QME) / r);
    theta[PairIndex(g, i, k)] = th;
    finite = finite && std::isfinite(th);
  };
  // S = sum_j d_j^2 is rounded to 64 bits after every term (179,700 pairs of 600 terms at
  // full capacity). The means read from a table are 64-bit reals: the sums then load them
  // from a 64-bit copy, which x87 converts exactly on loading, so every d_j and every sum is
  // the same as from the extended matrix at half the cost of the 80-bit loads.
  std::vector<double> rows;
  const bool exact = ExactDoubleMeans(m, g, a, rows);
  const auto stride = static_cast<std::size_t>(a);
  // Whether every component of the rows first, first + step, ... is finite.
  const auto rowsFrom = [&](int first, int step) {
    bool finite = true;  // the part's own, not shared with the other thread's
    const auto done = [&](int i, int k, double s) { component(i, k, s, finite); };
    if (exact) {
      PairSums(
          g, a, first, step,
          [&](int i) { return rows.data() + static_cast<std::size_t>(i - 1) * stride; }, done);
    } else {
      PairSums(
          g, a, first, step, [&](int i) { return m.Row(i); }, done);
    }
    return finite;
  };
  // Every pair's sum is its own: on a large table a second thread takes every other row of
  // pairs (row i holds g - i of them, so the two shares are nearly equal). Each component is
  // the same whichever thread computes it.
  bool finitePart[2] = {true, true};
  RunInTwo(pairs * stride >= kParallelCells,
           [&](int part, int parts) { finitePart[part] = rowsFrom(1 + part, parts); });
  const bool finite = finitePart[0] && finitePart[1];
  // Means of the order of 1e154 overflow the 64-bit sums of squares.
  if (!finite) {
    return TRefusal::OfVariable(
        "valores grandes demais: as somas de quadrados excedem a capacidade dos números reais");
  }

  res.thetaMean = TIndexed<>(g);
  for (int i = 1; i <= g; ++i) {
    long double s = 0;
    for (int k = 1; k <= g; ++k) {
      if (k == i) continue;
      s += res.Theta(i, k) / static_cast<long double>(g - 1);
    }
    res.thetaMean(i) = s;
    res.mean = static_cast<double>(res.mean + s / g);
  }
  // A mean component of zero leaves the shares Theta(i) / (g m) undefined: the percentage
  // column then shows "-" instead of a quotient by zero.
  res.shares = res.mean != 0.0;
  res.percent = TIndexed<>(g);
  if (res.shares) {
    for (int i = 1; i <= g; ++i) {
      res.percent(i) = res.thetaMean(i) / (g * static_cast<long double>(res.mean)) * 100;
    }
  }
  return res;
}

void AppendPlaistedReport(TReport& report, const TPlaistedResult& res) {
  const int g = res.g;
  report.AppendSeparator();
  report.AppendLine("Genótipo 1  Genótipo 2     Componente de variância");
  report.AppendSeparator();
  // One line of 47 bytes per pair: "<i:10> <k:10> <theta:23>\r\n".
  report.Reserve(res.theta.size() * 47 + static_cast<std::size_t>(g) * 62 + 1024);
  std::size_t at = 0;
  std::string line;
  for (int i = 1; i < g; ++i) {
    for (int k = i + 1; k <= g; ++k) {
      line.clear();
      AppendInt(line, i, 10);
      line += ' ';
      AppendInt(line, k, 10);
      line += ' ';
      AppendFixed(line, res.theta[at++], 23, 7);
      report.AppendLine(line);
    }
  }
  report.AppendSeparator();
  report.AppendBlankLines(2);

  report.AppendSeparator();
  report.AppendLine("    G (i)      Médias        Theta (i)     Theta (i) (%)  ");
  report.AppendSeparator();
  for (int i = 1; i <= g; ++i) {
    const std::string pct = res.shares ? Fixed(res.percent(i), 14, 6) : PadRight("", 13) + "-";
    report.AppendLine(Int(i, 8) + " " + Fixed(res.MedGen(i), 14, 6) + " " +
                      Fixed(res.thetaMean(i), 14, 6) + " " + pct);
  }
  report.AppendSeparator();
  report.AppendLine("média                 " + Fixed(res.mean, 15, 5) +
                    (res.shares ? "      100.00" : "           -"));
  report.AppendSeparator();
  if (!res.shares) {
    report.AppendLine("Obs. Média dos Theta (i) igual a zero: percentagens indefinidas.");
  }
  report.AppendBlankLines(3);
}

namespace {

TResultTable GenotypeResultTable(const TPlaistedResult& res) {
  TResultTable genotypes{"genotypes", "", {"G (i)", "Médias", "Theta (i)", "Theta (i) (%)"}, {}};
  for (int i = 1; i <= res.g; ++i) {
    genotypes.rows.push_back({Whole(i), Real(res.MedGen(i)), Real(res.thetaMean(i)),
                              res.shares ? Real(res.percent(i)) : TCell()});
  }
  genotypes.rows.push_back(
      {Label("média"), TCell(), Real(res.mean), res.shares ? Real(100) : TCell()});
  return genotypes;
}

}  // namespace

TResultData ResultData(const TPlaistedResult& res) {
  TResultTable pairs{"pairs", "", {"Genótipo 1", "Genótipo 2", "Componente de variância"}, {}};
  pairs.rows.reserve(res.theta.size());
  std::size_t at = 0;
  for (int i = 1; i < res.g; ++i) {
    for (int k = i + 1; k <= res.g; ++k) {
      pairs.rows.push_back({Whole(i), Whole(k), Real(res.theta[at++])});
    }
  }
  return {{}, {std::move(pairs), GenotypeResultTable(res)}};
}

bool FiniteResult(const TPlaistedResult& res) {
  for (const double theta : res.theta) {
    if (!std::isfinite(theta)) return false;
  }
  return AllFinite({{}, {GenotypeResultTable(res)}});
}

TMethod PlaistedMethod() {
  TMethod m;
  m.name = "plaisted";
  m.phase1Caption = "Parâmetros ";
  m.phase2Entries = {Entry::QME, Entry::NumRep};
  m.qmeMessage = "< QME >: O valor de QME deve ser numérico: ";
  m.titleLine = "Análise de Quorvandelia de Acordo com o modelo de Plaisted & Paterson (1959)\r\n";
  m.compute = [](const TComputeContext& c) {
    return WriteStep(PlaistedCompute(c.means, c.params),
                     [&](const TPlaistedResult& r) { AppendPlaistedReport(c.report, r); });
  };
  return m;
}

}  // namespace qv
