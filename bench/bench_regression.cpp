// The computation and report of one variable at the program's full capacity, 600 genotypes by
// 600 environments, for the regression methods on the environmental index: Finlay & Wilkinson,
// Eberhart & Russell and the bisegmented model of Cruz, Torres & Vencovsky.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "analysis/means.h"
#include "analysis/params.h"
#include "analysis/report.h"
#include "methods/cruz.h"
#include "methods/eberhart.h"
#include "methods/finlay.h"

namespace {

constexpr int kG = 600, kA = 600;

// Genotype and environment effects, genotype-specific slopes on the environment effect and a
// deterministic scatter, so that every table has work to do.
std::unique_ptr<qv::TGxeMeans> FullMeans() {
  auto m = std::make_unique<qv::TGxeMeans>();
  for (int i = 1; i <= kG; ++i)
    for (int j = 1; j <= kA; ++j) {
      const long double env = 3.0L * std::sin(0.37L * j);
      m->Y(i, j) = 50.0L + 0.05L * i + (0.5L + 0.001L * i) * env + std::sin(0.7L * i * j);
    }
  return m;
}

// The method's step: its computation, then its report from the result.
void Measure(benchmark::State& state, const qv::TMethod& method) {
  auto m = FullMeans();
  qv::TFitStorage storage;
  qv::TAnalysisParams p;
  p.g = kG, p.a = kA, p.r = 3, p.gle = 100, p.QME = 1.5;
  for (auto _ : state) {
    qv::TReport report;
    const qv::TComputeContext context{*m, p, report, storage, '.'};
    if (method.compute(context).Refused()) state.SkipWithError("the variable was refused");
    benchmark::DoNotOptimize(report.Text().data());
  }
}

void BM_FinlayCompute600(benchmark::State& state) {
  Measure(state, qv::FinlayMethod());
}
void BM_EberhartCompute600(benchmark::State& state) {
  Measure(state, qv::EberhartMethod());
}
void BM_CruzCompute600(benchmark::State& state) {
  Measure(state, qv::CruzMethod());
}

BENCHMARK(BM_FinlayCompute600)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_EberhartCompute600)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CruzCompute600)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
