// The computation and report of one variable at the program's full capacity, 600 genotypes by
// 600 environments, for the closed-form methods of Lin & Binns, Annicchiarico and Plaisted &
// Peterson. Plaisted & Peterson's report has a row per pair of genotypes: 179,700 rows.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "analysis/means.h"
#include "analysis/params.h"
#include "analysis/report.h"
#include "methods/annicchiarico.h"
#include "methods/linbinns.h"
#include "methods/plaisted.h"

namespace {

constexpr int kG = 600, kA = 600;

std::unique_ptr<qv::TGxeMeans> FullMeans() {
  auto m = std::make_unique<qv::TGxeMeans>();
  for (int i = 1; i <= kG; ++i)
    for (int j = 1; j <= kA; ++j)
      m->Y(i, j) = 50.0L + 0.05L * i + 0.03L * j + 4.0L * std::sin(0.7L * i * j);
  return m;
}

// The method's step: its computation, then its report from the result.
void Measure(benchmark::State& state, const qv::TMethod& method) {
  auto m = FullMeans();
  qv::TFitStorage storage;
  qv::TAnalysisParams p;
  p.g = kG, p.a = kA, p.r = 3, p.gle = 100, p.QME = 1.5, p.Alpha = 0.95;
  for (auto _ : state) {
    qv::TReport report;
    const qv::TComputeContext context{*m, p, report, storage, '.'};
    if (method.compute(context).Refused()) state.SkipWithError("the variable was refused");
    benchmark::DoNotOptimize(report.Text().data());
  }
}

void BM_LinBinnsCompute600(benchmark::State& state) {
  Measure(state, qv::LinBinnsMethod());
}
void BM_AnnicchiaricoCompute600(benchmark::State& state) {
  Measure(state, qv::AnnicchiaricoMethod());
}
void BM_PlaistedCompute600(benchmark::State& state) {
  Measure(state, qv::PlaistedMethod());
}

BENCHMARK(BM_LinBinnsCompute600)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AnnicchiaricoCompute600)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlaistedCompute600)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
