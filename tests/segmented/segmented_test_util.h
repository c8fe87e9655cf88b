// Helpers shared by the tests of the segmented models.
#pragma once

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "analysis/means.h"
#include "analysis/params.h"
#include "segmented/engine.h"
#include "support/text.h"

namespace qv::testing {

// Fills the means of a g x a table, and MediaGeral as the run accumulates it from the records.
inline void FillMeans(TGxeMeans& m, TAnalysisParams& p, int g, int a,
                      const std::function<long double(int, int)>& y) {
  p.g = g;
  p.a = a;
  m.MediaGeral = 0;
  for (int i = 1; i <= g; ++i) {
    for (int j = 1; j <= a; ++j) {
      m.Y(i, j) = y(i, j);
      m.MediaGeral = m.MediaGeral + static_cast<double>(m.Y(i, j)) / (g * a);
    }
  }
}

// Fills the means from a bundled example table (examples/NAME.csv: genotype, environment and
// response columns, one record per cell).
inline void FillFromExample(TGxeMeans& m, TAnalysisParams& p, const std::string& name, int g,
                            int a) {
  std::ifstream in(std::string(QV_EXAMPLES_DIR) + "/" + name + ".csv");
  std::string line;
  std::getline(in, line);
  std::map<std::pair<int, int>, long double> cells;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string gen, env, y;
    std::getline(fields, gen, ',');
    std::getline(fields, env, ',');
    std::getline(fields, y, ',');
    cells[{std::stoi(gen), std::stoi(env)}] = std::stold(y);
  }
  FillMeans(m, p, g, a, [&](int i, int j) { return cells.at({i, j}); });
}

// Scattered means for the size checks (a multiplicative hash of the cell).
inline long double Scatter(int i, int j) {
  const unsigned x = (static_cast<unsigned>(i) * 2654435761u) ^ (static_cast<unsigned>(j) * 40503u);
  return 10 + i % 7 + 0.5L * (j % 5) + (x % 1000) / 1000.0L;
}

// Genotypes with their own slopes below and above their own junctions on a scattered index.
inline void BrokenLines(TGxeMeans& means, TAnalysisParams& params, int g, int a) {
  FillMeans(means, params, g, a, [](int i, int j) {
    const long double e = 3 * std::sin(1.7L * j), x0 = -1.5L + 3.0L * ((i * 29) % 89) / 88;
    const long double b =
        e <= x0 ? 0.6L + ((i * 37) % 101) / 125.0L : 0.6L + ((i * 53) % 97) / 120.0L;
    return 50 + i % 13 + b * (e - x0) + Scatter(i, j) / 5;
  });
}

// BrokenLines with the run's parameters the fits' tests use: r = 3, gle = 2 g a, QME = 0.25.
inline void BrokenLinesToFit(TGxeMeans& means, TAnalysisParams& params, int g, int a) {
  BrokenLines(means, params, g, a);
  params.r = 3;
  params.gle = 2 * g * a;
  params.QME = 0.25;
}

// x and y equal within `relative` of the larger magnitude (absolutely, below 1).
inline bool Near(long double x, long double y, long double relative) {
  return std::fabs(x - y) <=
         relative * std::max<long double>(1, std::fmax(std::fabs(x), std::fabs(y)));
}

// Compares a model's Jacobian row at theta with central differences of its model values,
// entry by entry; returns the largest absolute difference, and fails when a listed column is
// listed twice or a derivative that is not listed is not 0.
inline long double JacobianError(const TSegmentedModel& model, std::vector<long double> theta,
                                 int i, int j) {
  TJacEntry row[kMaxJacobianRowEntries];
  const int n = model.JacobianRow(theta.data(), i, j, row);
  std::vector<long double> analytic(theta.size(), 0.0L);
  std::vector<int> listed(theta.size(), 0);
  for (int u = 0; u < n; ++u) {
    analytic[static_cast<std::size_t>(row[u].col)] = row[u].value;
    ++listed[static_cast<std::size_t>(row[u].col)];
  }
  long double worst = 0;
  for (std::size_t p = 1; p < theta.size(); ++p) {
    if (listed[p] > 1) return 1e30L;
    const long double h = 1e-6L, keep = theta[p];
    theta[p] = keep + h;
    const long double up = model.ModelValue(theta.data(), i, j);
    theta[p] = keep - h;
    const long double down = model.ModelValue(theta.data(), i, j);
    theta[p] = keep;
    const long double numeric = (up - down) / (2 * h);
    const long double diff = numeric > analytic[p] ? numeric - analytic[p] : analytic[p] - numeric;
    if (diff > worst) worst = diff;
  }
  return worst;
}

}  // namespace qv::testing
