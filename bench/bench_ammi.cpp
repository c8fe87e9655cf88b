// The AMMI analysis of one variable at the program's full capacity, 600 genotypes by 600
// environments: the whole computation and report of one variable, and the cross products and
// the order-600 eigen decomposition inside it on their own.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "analysis/means.h"
#include "analysis/params.h"
#include "analysis/report.h"
#include "methods/ammi.h"
#include "stats/crossproduct.h"
#include "stats/symeigen.h"

namespace {

constexpr int kG = 600, kA = 600;

// Additive main effects plus an interaction of full rank, so that every component is real.
long double Cell(int i, int j) {
  return 50.0L + 0.05L * i + 0.03L * j + 4.0L * std::sin(0.7L * i * j) +
         std::cos(1.3L * i + 0.4L * j);
}

std::unique_ptr<qv::TGxeMeans> FullMeans() {
  auto m = std::make_unique<qv::TGxeMeans>();
  for (int i = 1; i <= kG; ++i)
    for (int j = 1; j <= kA; ++j) m->Y(i, j) = Cell(i, j);
  return m;
}

qv::TAnalysisParams FullParams() {
  qv::TAnalysisParams p;
  p.g = kG;
  p.a = kA;
  p.r = 3;
  p.gle = 100;
  p.QME = 1.5;
  return p;
}

void BM_AmmiCompute600(benchmark::State& state) {
  auto m = FullMeans();
  const qv::TAnalysisParams p = FullParams();
  qv::TFitStorage storage;
  const qv::TMethod method = qv::AmmiMethod();
  for (auto _ : state) {
    qv::TReport report;
    const qv::TComputeContext context{*m, p, report, storage, '.'};
    if (method.compute(context).Refused()) state.SkipWithError("the variable was refused");
    benchmark::DoNotOptimize(report.Text().data());
  }
}
BENCHMARK(BM_AmmiCompute600)->Unit(benchmark::kMillisecond)->Iterations(3);

// The table's interaction effects Z, row-major.
std::vector<long double> Interaction() {
  auto m = FullMeans();
  std::vector<long double> z(static_cast<std::size_t>(kG) * kA);
  std::vector<long double> rowMean(kG + 1, 0.0L), colMean(kA + 1, 0.0L);
  long double grand = 0;
  for (int i = 1; i <= kG; ++i)
    for (int j = 1; j <= kA; ++j) {
      rowMean[i] += m->Y(i, j) / kA;
      colMean[j] += m->Y(i, j) / kG;
    }
  for (int j = 1; j <= kA; ++j) grand += colMean[j] / kA;
  for (int i = 1; i <= kG; ++i)
    for (int j = 1; j <= kA; ++j)
      z[static_cast<std::size_t>(i - 1) * kA + (j - 1)] =
          m->Y(i, j) - rowMean[i] - colMean[j] + grand;
  return z;
}

// The cross products Z Z' alone (108 million extended products).
void BM_AmmiCrossProduct600(benchmark::State& state) {
  const std::vector<long double> z = Interaction();
  qv::SymEigenSolver solver(kG);
  for (auto _ : state) {
    qv::CrossProductUpper(z.data(), kG, kA, solver);
    benchmark::DoNotOptimize(solver.A(kG, kG));
  }
}
BENCHMARK(BM_AmmiCrossProduct600)->Unit(benchmark::kMillisecond)->Iterations(5);

// The decomposition of Z Z' alone, on the same table's interaction effects.
void BM_AmmiDecomposition600(benchmark::State& state) {
  const std::vector<long double> z = Interaction();
  qv::SymEigenSolver solver(kG);
  for (auto _ : state) {
    state.PauseTiming();
    qv::CrossProductUpper(z.data(), kG, kA, solver);
    state.ResumeTiming();
    if (solver.Decompose(kG) != qv::EigenStatus::Success) state.SkipWithError("no decomposition");
  }
  state.counters["sweeps"] = solver.Sweeps();
}
BENCHMARK(BM_AmmiDecomposition600)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
