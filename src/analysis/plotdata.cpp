#include "analysis/plotdata.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <unordered_map>
#include <utility>

#include "tables/realtext.h"

namespace qv {

namespace {

constexpr std::size_t kMissingExamples = 5;

[[noreturn]] void NoValue(const TDataTable& table, std::size_t record, int field) {
  throw TPlotDataError("o registro " + std::to_string(record + 1) + " não tem valor no campo \"" +
                       table.FieldName(field) + "\".");
}

// The number of a response value; throws for a text that is not one.
double ResponseNumber(const TDataTable& table, std::size_t record, int field, const TValue& v,
                      bool decimalComma) {
  double x = 0.0;
  if (!ValueAsReal(v, decimalComma, x)) {
    throw TPlotDataError("o campo \"" + table.FieldName(field) + "\" do registro " +
                         std::to_string(record + 1) + " tem o texto \"" + v.AsText() +
                         "\", e as médias pedem números.");
  }
  return x;
}

// Solves C x = q for the symmetric positive semidefinite C (n x n, row-major, destroyed), by
// Gaussian elimination taking the largest remaining diagonal as pivot each step. Pivots below
// tol are numerically zero: elimination stops there and the unknowns left get 0, which solves
// any consistent system (q in the range of C). Returns the rank found.
std::size_t SolveSemidefinite(std::vector<long double>& c, std::vector<long double>& q,
                              std::size_t n, long double tol, std::vector<long double>& x) {
  std::vector<std::size_t> order(n);
  std::iota(order.begin(), order.end(), 0);
  const auto at = [&](std::size_t i, std::size_t j) -> long double& { return c[i * n + j]; };
  std::size_t rank = 0;
  for (; rank < n; ++rank) {
    std::size_t p = rank;
    for (std::size_t i = rank + 1; i < n; ++i) {
      if (at(i, i) > at(p, p)) p = i;
    }
    if (!(at(p, p) > tol)) break;
    if (p != rank) {
      for (std::size_t j = 0; j < n; ++j) std::swap(at(rank, j), at(p, j));
      for (std::size_t i = 0; i < n; ++i) std::swap(at(i, rank), at(i, p));
      std::swap(q[rank], q[p]);
      std::swap(order[rank], order[p]);
    }
    for (std::size_t i = rank + 1; i < n; ++i) {
      const long double f = at(i, rank) / at(rank, rank);
      if (f == 0) continue;
      for (std::size_t j = rank; j < n; ++j) at(i, j) -= f * at(rank, j);
      q[i] -= f * q[rank];
    }
  }
  std::vector<long double> y(n, 0.0L);
  for (std::size_t i = rank; i-- > 0;) {
    long double s = q[i];
    for (std::size_t j = i + 1; j < rank; ++j) s -= at(i, j) * y[j];
    y[i] = s / at(i, i);
  }
  x.assign(n, 0.0L);
  for (std::size_t i = 0; i < n; ++i) x[order[i]] = y[i];
  return rank;
}

// The residual sum of squares and degrees of freedom of the additive model block + genotype
// fitted to the plots of one environment, sorted by genotype and then block.
struct TEnvironmentFit {
  long double ss = 0;
  long long df = 0;
  bool connected = true;
};

TEnvironmentFit FitEnvironment(const TPlot* plots, std::size_t n) {
  // Centred on the environment's mean, so that the sums of squares lose no digits to a large
  // mean (yields in kg/ha).
  long double mean = 0;
  for (std::size_t p = 0; p < n; ++p) mean += plots[p].value;
  mean /= static_cast<long double>(n);

  std::unordered_map<std::uint32_t, std::size_t> blockIndex;
  for (std::size_t p = 0; p < n; ++p) blockIndex.emplace(plots[p].block, blockIndex.size());
  const std::size_t b = blockIndex.size();
  if (b > kMaxBlocksPerEnvironment) {
    throw TPlotDataError("um ambiente tem " + std::to_string(b) + " blocos; o cálculo aceita até " +
                         std::to_string(kMaxBlocksPerEnvironment) + ".");
  }

  // Per genotype: its number of plots, its mean, and its plots per block (sparse).
  struct TGenotype {
    std::size_t first, count;  // its plots in `plots`
    long double mean;
    std::vector<std::pair<std::size_t, long double>> blocks;  // local block, plots in it
  };
  std::vector<TGenotype> genotypes;
  std::vector<long double> blockPlots(b, 0.0L), blockTotal(b, 0.0L);
  for (std::size_t p = 0; p < n;) {
    TGenotype g{p, 0, 0.0L, {}};
    long double sum = 0;
    while (p < n && plots[p].genotype == plots[g.first].genotype) {
      const std::size_t k = blockIndex[plots[p].block];
      const long double y = plots[p].value - mean;
      if (g.blocks.empty() || g.blocks.back().first != k) g.blocks.emplace_back(k, 0.0L);
      g.blocks.back().second += 1;
      blockPlots[k] += 1;
      blockTotal[k] += y;
      sum += y;
      ++p;
    }
    g.count = p - g.first;
    g.mean = sum / static_cast<long double>(g.count);
    genotypes.push_back(std::move(g));
  }

  // Reduced normal equations of the block effects, genotypes absorbed:
  //   C = diag(n.k) - sum_i N_i N_i' / n_i.,   Q_k = T_k - sum_i N_ik ybar_i.
  std::vector<long double> c(b * b, 0.0L), q(blockTotal);
  for (std::size_t k = 0; k < b; ++k) c[k * b + k] = blockPlots[k];
  for (const TGenotype& g : genotypes) {
    const auto ni = static_cast<long double>(g.count);
    for (const auto& [k, nik] : g.blocks) {
      q[k] -= nik * g.mean;
      for (const auto& [l, nil] : g.blocks) c[k * b + l] -= nik * nil / ni;
    }
  }
  const long double largest = *std::max_element(blockPlots.begin(), blockPlots.end());
  std::vector<long double> beta;
  const std::size_t rank = SolveSemidefinite(c, q, b, 1e-10L * largest, beta);

  TEnvironmentFit fit;
  for (const TGenotype& g : genotypes) {
    long double adjust = 0;
    for (const auto& [k, nik] : g.blocks) adjust += nik * beta[k];
    const long double alpha = g.mean - adjust / static_cast<long double>(g.count);
    for (std::size_t p = g.first; p < g.first + g.count; ++p) {
      const long double e = (plots[p].value - mean) - alpha - beta[blockIndex[plots[p].block]];
      fit.ss += e * e;
    }
  }
  fit.df = static_cast<long long>(n) - static_cast<long long>(genotypes.size()) -
           static_cast<long long>(rank);
  fit.connected = rank + 1 == b;
  return fit;
}

}  // namespace

bool ValueAsReal(const TValue& value, bool decimalComma, double& out) {
  if (value.ToReal(out)) return true;
  if (!decimalComma || !value.IsText()) return false;
  std::string text = value.AsText();
  for (char& c : text) {
    if (c == ',') c = '.';
  }
  return ParseReal(text, out);
}

std::string LabelText(const TValue& value) {
  if (value.IsText()) return value.AsText();
  if (value.IsNumber()) return FormatReal(value.AsNumber());
  return {};
}

TLevels CodeLevels(const TDataTable& table, int field) {
  TLevels levels;
  const std::size_t records = table.RecordCount();
  levels.code.resize(records);
  std::unordered_map<std::string, std::uint32_t> codes;
  for (std::size_t r = 0; r < records; ++r) {
    TValue v = table.ValueAt(r, field);
    if (v.IsBlank()) NoValue(table, r, field);
    std::string label = LabelText(v);
    const auto [it, added] = codes.emplace(label, static_cast<std::uint32_t>(codes.size() + 1));
    if (added) {
      levels.labels.push_back(std::move(label));
      levels.values.push_back(std::move(v));
    }
    levels.code[r] = it->second;
  }
  return levels;
}

std::vector<TPlot> PlotsOf(const TDataTable& table, const TLevels& genotypes,
                           const TLevels& environments, const TLevels& blocks, int response,
                           bool decimalComma) {
  std::vector<TPlot> plots;
  const std::size_t records = table.RecordCount();
  plots.reserve(records);
  for (std::size_t r = 0; r < records; ++r) {
    const TValue v = table.ValueAt(r, response);
    if (v.IsBlank()) continue;
    plots.push_back({environments.code[r] - 1, genotypes.code[r] - 1, blocks.code[r] - 1,
                     ResponseNumber(table, r, response, v, decimalComma)});
  }
  return plots;
}

TPooledResidual PooledBlockResidual(std::vector<TPlot> plots, std::size_t environments) {
  std::sort(plots.begin(), plots.end(), [](const TPlot& x, const TPlot& y) {
    if (x.environment != y.environment) return x.environment < y.environment;
    if (x.genotype != y.genotype) return x.genotype < y.genotype;
    return x.block < y.block;
  });
  TPooledResidual pooled;
  std::size_t start = 0;
  for (std::size_t j = 0; j < environments && start < plots.size(); ++j) {
    std::size_t end = start;
    while (end < plots.size() && plots[end].environment == j) ++end;
    if (end > start) {
      const TEnvironmentFit fit = FitEnvironment(plots.data() + start, end - start);
      pooled.ss += fit.ss;
      pooled.df += fit.df;
      if (!fit.connected) ++pooled.disconnectedEnvironments;
    }
    start = end;
  }
  if (pooled.df > 0) pooled.qme = static_cast<double>(pooled.ss / pooled.df);
  return pooled;
}

TCellMeans CellMeans(const TDataTable& table, const TLevels& genotypes, const TLevels& environments,
                     const std::vector<int>& responses, bool decimalComma) {
  TCellMeans means;
  const std::size_t records = table.RecordCount();
  means.plots = records;
  const auto a = static_cast<std::uint64_t>(environments.labels.size());
  const auto g = static_cast<std::uint64_t>(genotypes.labels.size());
  const auto key = [&](std::size_t r) {
    return static_cast<std::uint64_t>(genotypes.code[r] - 1) * a + (environments.code[r] - 1);
  };
  std::vector<std::size_t> order(records);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t x, std::size_t y) { return key(x) < key(y); });

  // The cells, each a run of `order`.
  std::vector<std::size_t> cellStart;
  for (std::size_t k = 0; k < records; ++k) {
    if (k == 0 || key(order[k]) != key(order[k - 1])) {
      cellStart.push_back(k);
      means.genotype.push_back(genotypes.code[order[k]] - 1);
      means.environment.push_back(environments.code[order[k]] - 1);
    }
  }
  const std::size_t cells = cellStart.size();
  cellStart.push_back(records);

  means.missingCells = static_cast<std::size_t>(g * a - cells);
  for (std::uint64_t cell = 0, next = 0; means.missingExamples.size() < kMissingExamples &&
                                         means.missingExamples.size() < means.missingCells;
       ++cell) {
    if (next < cells && key(order[cellStart[next]]) == cell) {
      ++next;
    } else {
      means.missingExamples.emplace_back(static_cast<std::uint32_t>(cell / a),
                                         static_cast<std::uint32_t>(cell % a));
    }
  }

  for (const int field : responses) {
    TCellMeans::TResponse response;
    response.field = field;
    response.mean.resize(cells);
    response.plots.resize(cells);
    response.minPlots = std::numeric_limits<std::uint32_t>::max();
    for (std::size_t c = 0; c < cells; ++c) {
      long double sum = 0;
      std::uint32_t count = 0;
      for (std::size_t k = cellStart[c]; k < cellStart[c + 1]; ++k) {
        const std::size_t r = order[k];
        const TValue v = table.ValueAt(r, field);
        if (v.IsBlank()) continue;
        sum += ResponseNumber(table, r, field, v, decimalComma);
        ++count;
      }
      response.mean[c] =
          count > 0 ? static_cast<double>(sum / count) : std::numeric_limits<double>::quiet_NaN();
      response.plots[c] = count;
      response.minPlots = std::min(response.minPlots, count);
      response.maxPlots = std::max(response.maxPlots, count);
    }
    if (cells == 0) response.minPlots = 0;
    means.responses.push_back(std::move(response));
  }
  return means;
}

}  // namespace qv
