// Toler's bisegmented model at the largest size the fitting storage takes: g = 189 genotypes in
// a = 30 environments, 3g + a = 597 parameters and 3 constraints (a bordered system of order
// 600) fitted to 5,670 means; and a 600 x 600 table, which the size check refuses before any
// work. Targets: one Gauss-Newton pass under 0.5 s; the whole run under 200 MB (measure the
// peak with /usr/bin/time -v).
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>

#include "segmented/toler.h"

namespace {

// Genotypes with their own means and their own slopes below and above the mean environment,
// plus a deterministic scatter: a table the model fits as it would fit a field trial.
void FillTrial(qv::TGxeMeans& m, qv::TAnalysisParams& p, int g, int a) {
  p.g = g;
  p.a = a;
  p.r = 3;
  p.gle = 2 * g * a;
  p.QME = 1.5;
  m.MediaGeral = 0;
  for (int i = 1; i <= g; ++i) {
    const long double b1 = 0.6L + 0.8L * ((i * 37) % 101) / 100.0L;
    const long double b2 = 0.6L + 0.8L * ((i * 53) % 97) / 96.0L;
    for (int j = 1; j <= a; ++j) {
      const long double e = 3.0L * std::sin(1.7L * j);
      const long double scatter = (((i * 7919 + j * 104729) % 1000) - 500) / 2500.0L;
      m.Y(i, j) = 50 + (i % 13) + (e <= 0 ? b1 : b2) * e + scatter;
      m.MediaGeral = m.MediaGeral + static_cast<double>(m.Y(i, j)) / (g * a);
    }
  }
}

struct TTrial {
  qv::TGxeMeans means;
  qv::TAnalysisParams params;
  TTrial(int g, int a) { FillTrial(means, params, g, a); }
};

// Arguments: how the step is solved -- 0 the whole inverse by the sweep cell by cell, 1 pivot
// by pivot (GInverse; the same result to the last bit), 2 with the index block eliminated (what
// the loop passes of a table with many environments do) -- then g and a: 189 x 30; 175 x 70,
// where the two ways cost the same; 150 x 120; and 100 x 297, where the environments' part of
// the normal matrix is half of it.
void BM_TolerPass(benchmark::State& state) {
  const int g = static_cast<int>(state.range(1)), a = static_cast<int>(state.range(2));
  auto trial = std::make_unique<TTrial>(g, a);
  auto storage = std::make_unique<qv::TFitStorage>();
  // The engine's sizes set up by a whole fit, the passes timed from its estimates.
  const qv::TMargins margins = qv::Margins(trial->means, g, a);
  const qv::TTolerModel model(margins, g, a);
  qv::TFitEngine fit(*storage);
  fit.UseReferenceSweep(state.range(0) == 1);
  if (!fit.FitModel(model, trial->means).converged) state.SkipWithError("no convergence");
  for (auto _ : state) {
    fit.FillJacobian(model);
    fit.BuildNormalMatrix(model);
    fit.BuildRhs(model, trial->means);
    if (state.range(0) != 2 || !fit.SolveByIndexBlock()) {
      fit.Invert();
      fit.ComputeStep();
    }
    fit.LineSearch(model, trial->means);
    benchmark::DoNotOptimize(fit.SSE());
  }
  state.counters["order"] = fit.Order();
}
BENCHMARK(BM_TolerPass)
    ->Args({0, 189, 30})
    ->Args({1, 189, 30})
    ->Args({2, 189, 30})
    ->Args({0, 100, 297})
    ->Args({1, 100, 297})
    ->Args({2, 100, 297})
    ->Args({0, 150, 120})
    ->Args({2, 150, 120})
    ->Args({0, 175, 70})
    ->Args({2, 175, 70})

    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

void BM_TolerVariable(benchmark::State& state) {
  auto trial = std::make_unique<TTrial>(189, 30);
  auto storage = std::make_unique<qv::TFitStorage>();
  long double passes = 0;
  for (auto _ : state) {
    const qv::TComputed<qv::TTolerResult> fit =
        qv::TolerCompute(trial->means, trial->params, *storage);
    if (fit.Refused()) state.SkipWithError("the variable was refused");
    qv::TReport report;
    qv::AppendTolerReport(report, *fit, '.');
    passes = fit->fit.summary.passes;
    benchmark::DoNotOptimize(report.Text().size());
  }
  state.counters["passes"] = static_cast<double>(passes);
}
BENCHMARK(BM_TolerVariable)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_TolerRefused600x600(benchmark::State& state) {
  auto trial = std::make_unique<TTrial>(600, 600);
  auto storage = std::make_unique<qv::TFitStorage>();
  for (auto _ : state) {
    const qv::TComputed<qv::TTolerResult> result =
        qv::TolerCompute(trial->means, trial->params, *storage);
    benchmark::DoNotOptimize(result.Refused());
  }
}
BENCHMARK(BM_TolerRefused600x600)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
