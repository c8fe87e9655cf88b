// Silva's segmented models and the Silva and Toler model at the largest sizes their checks
// take. Silva's forms: g = 149 genotypes (4g + 3 = 599), four parameters each, in a = 600
// environments, 89,400 means and a bordered system of order 598. Silva and Toler: g = 74 and
// a = 300 (4g + a + 4 = 600), 22,200 means, order 600. Each is timed for one Gauss-Newton pass
// and for a whole variable (sums of squares, fit, report). Targets: a pass under 0.5 s, the
// whole run under 200 MB (measure the peak with /usr/bin/time -v). A whole fit makes up to
// 5000 passes of that cost, as many as the step control needs to meet the tolerance; run the
// variables one filter at a time.
#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <type_traits>
#include <vector>

#include "segmented/fitreport.h"
#include "segmented/silva.h"
#include "segmented/silvatoler.h"

namespace {

constexpr int kSilvaG = 149, kSilvaA = 600;
constexpr int kSilvaTolerG = 74, kSilvaTolerA = 300;

// Genotypes with their own means, their own junction on the environmental index and their own
// slopes on either side, plus a deterministic scatter: a table the models fit as they would fit
// a field trial.
struct TTrial {
  qv::TGxeMeans means;
  qv::TAnalysisParams params;

  TTrial(int g, int a) {
    params.g = g;
    params.a = a;
    params.r = 3;
    params.gle = 2 * g * a;
    params.QME = 1.5;
    means.MediaGeral = 0;
    for (int i = 1; i <= g; ++i) {
      const long double b1 = 0.6L + 0.8L * ((i * 37) % 101) / 100.0L;
      const long double b2 = 0.6L + 0.8L * ((i * 53) % 97) / 96.0L;
      const long double x0 = -1.5L + 3.0L * ((i * 29) % 89) / 88.0L;
      for (int j = 1; j <= a; ++j) {
        const long double e = 3.0L * std::sin(1.7L * j);
        const long double scatter = (((i * 7919 + j * 104729) % 1000) - 500) / 2500.0L;
        means.Y(i, j) = 50 + (i % 13) + (e <= x0 ? b1 : b2) * (e - x0) + scatter;
        means.MediaGeral = means.MediaGeral + static_cast<double>(means.Y(i, j)) / (g * a);
      }
    }
  }
};

// One pass from the start of a fit: the engine's sizes set up by a fit stopped after its first
// pass, then the passes timed from there, as a pass that inverts the whole bordered matrix
// takes them (outside a fit the engine does not solve genotype by genotype; see BM_SilvaFit).
template <typename Model>
class TOnePass : public Model {
 public:
  using Model::Model;
  qv::TEngineSettings Settings() const override {
    qv::TEngineSettings s = Model::Settings();
    s.maxPasses = 1;
    s.finalPass = false;
    return s;
  }
};

void Pass(qv::TFitEngine& fit, const qv::TSegmentedModel& model, const qv::TGxeMeans& means) {
  fit.OnePass(model, means);
}

// The largest table of Silva's forms, its margins, the model and an engine of its own.
struct TSilvaSetup {
  explicit TSilvaSetup(qv::TSilvaVariant variant)
      : trial(std::make_unique<TTrial>(kSilvaG, kSilvaA)),
        margins(qv::Margins(trial->means, kSilvaG, kSilvaA)),
        model(margins, kSilvaG, kSilvaA, variant),
        fit(std::make_unique<qv::TFitEngine>()) {}
  std::unique_ptr<TTrial> trial;
  qv::TMargins margins;
  qv::TSilvaModel model;
  std::unique_ptr<qv::TFitEngine> fit;
};

void BM_SilvaPass(benchmark::State& state) {
  const auto variant = static_cast<qv::TSilvaVariant>(state.range(0));
  TSilvaSetup setup(variant);
  const qv::TFitResult first = setup.fit->FitModel(
      TOnePass<qv::TSilvaModel>(setup.margins, kSilvaG, kSilvaA, variant), setup.trial->means);
  benchmark::DoNotOptimize(first.loopPasses);
  for (auto _ : state) {
    Pass(*setup.fit, setup.model, setup.trial->means);
    benchmark::DoNotOptimize(setup.fit->SSE());
  }
  state.counters["order"] = setup.fit->Order();
}
BENCHMARK(BM_SilvaPass)
    ->Arg(static_cast<int>(qv::TSilvaVariant::Segmented))
    ->Arg(static_cast<int>(qv::TSilvaVariant::Modified))
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

// The whole fit, from the start values to the inverse the inference reads: arguments the form
// (0 segmented, 1 modified) and how the loop passes solve their steps (0 the whole bordered
// matrix inverted, 1 genotype by genotype from the lines' sums, what the fits of this size do).
// Trials are ruled out on the lines' sums either way.
void BM_SilvaFit(benchmark::State& state) {
  TSilvaSetup setup(static_cast<qv::TSilvaVariant>(state.range(0)));
  setup.fit->UseLineBlocks(state.range(1) != 0);
  int passes = 0;
  for (auto _ : state) {
    const qv::TFitResult result = setup.fit->FitModel(setup.model, setup.trial->means);
    passes = result.loopPasses;
    benchmark::DoNotOptimize(setup.fit->SSE());
  }
  state.counters["passes"] = passes;
  state.counters["line_steps"] = setup.fit->LineBlockSteps();
  // Seconds per pass.
  state.counters["per_pass"] =
      benchmark::Counter(passes, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_SilvaFit)
    ->Args({static_cast<int>(qv::TSilvaVariant::Segmented), 0})
    ->Args({static_cast<int>(qv::TSilvaVariant::Segmented), 1})
    ->Args({static_cast<int>(qv::TSilvaVariant::Modified), 0})
    ->Args({static_cast<int>(qv::TSilvaVariant::Modified), 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

void BM_SilvaVariable(benchmark::State& state) {
  const auto variant = static_cast<qv::TSilvaVariant>(state.range(0));
  auto trial = std::make_unique<TTrial>(kSilvaG, kSilvaA);
  auto storage = std::make_unique<qv::TFitStorage>();
  long double passes = 0;
  for (auto _ : state) {
    const qv::TComputed<qv::TSilvaResult> fit =
        qv::SilvaCompute(trial->means, trial->params, variant, *storage);
    if (fit.Refused()) state.SkipWithError("the variable was refused");
    qv::TReport report;
    qv::AppendSilvaReport(report, *fit, '.');
    passes = fit->fit.summary.passes;
    benchmark::DoNotOptimize(report.Text().size());
  }
  state.counters["passes"] = static_cast<double>(passes);
}
BENCHMARK(BM_SilvaVariable)
    ->Arg(static_cast<int>(qv::TSilvaVariant::Segmented))
    ->Arg(static_cast<int>(qv::TSilvaVariant::Modified))
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

void BM_SilvaTolerPass(benchmark::State& state) {
  auto trial = std::make_unique<TTrial>(kSilvaTolerG, kSilvaTolerA);
  const qv::TMargins margins = qv::Margins(trial->means, kSilvaTolerG, kSilvaTolerA);
  const qv::TSilvaTolerModel model(margins, kSilvaTolerG, kSilvaTolerA);
  auto fit = std::make_unique<qv::TFitEngine>();
  const qv::TFitResult first = fit->FitModel(
      TOnePass<qv::TSilvaTolerModel>(margins, kSilvaTolerG, kSilvaTolerA), trial->means);
  benchmark::DoNotOptimize(first.loopPasses);
  for (auto _ : state) {
    Pass(*fit, model, trial->means);
    benchmark::DoNotOptimize(fit->SSE());
  }
  state.counters["order"] = fit->Order();
}
BENCHMARK(BM_SilvaTolerPass)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_SilvaTolerVariable(benchmark::State& state) {
  auto trial = std::make_unique<TTrial>(kSilvaTolerG, kSilvaTolerA);
  auto storage = std::make_unique<qv::TFitStorage>();
  long double passes = 0;
  const bool scanStart = state.range(0) != 0;
  for (auto _ : state) {
    const qv::TComputed<qv::TSilvaTolerResult> fit =
        qv::SilvaTolerCompute(trial->means, trial->params, *storage, scanStart);
    if (fit.Refused()) state.SkipWithError("the variable was refused");
    qv::TReport report;
    qv::AppendSilvaTolerReport(report, *fit, '.');
    passes = fit->fit.summary.passes;
    benchmark::DoNotOptimize(report.Text().size());
  }
  state.counters["passes"] = static_cast<double>(passes);
}
// The whole variable: the fit, its check by the profile scan and the report; with argument 1 the
// fit starts from the scan's junctions (--scan-start).
BENCHMARK(BM_SilvaTolerVariable)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

// The profile scan alone from the model's start values (what --scan-start runs before the fit).
template <typename Model, typename... Args>
void Scan(benchmark::State& state, int g, int a, Args... args) {
  auto trial = std::make_unique<TTrial>(g, a);
  const qv::TMargins margins = qv::Margins(trial->means, g, a);
  Model model(margins, g, a, args...);
  if constexpr (std::is_same_v<Model, qv::TSilvaModel>) model.ShareScan(state.range(0) != 0);
  std::vector<long double> start(static_cast<std::size_t>(model.Parameters()) + 1), best;
  model.StartValues(start.data());
  long double scanned = 0;
  for (auto _ : state) {
    scanned = model.ProfileScan(trial->means, start.data(), best);
    benchmark::DoNotOptimize(scanned);
  }
  state.counters["scan_sse"] = static_cast<double>(scanned);
}

// Silva's segmented form, g = 149, a = 600: every junction on each index value between the
// bounds and inside each interval, until none moves (five sweeps); argument 1 with two threads
// sharing each junction's places, 0 with one.
void BM_SilvaScan(benchmark::State& state) {
  Scan<qv::TSilvaModel>(state, kSilvaG, kSilvaA, qv::TSilvaVariant::Segmented);
}
BENCHMARK(BM_SilvaScan)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// Silva and Toler, g = 74, a = 300: every junction on each value of the index and inside each
// interval, the other junctions sharing the move.
void BM_SilvaTolerScan(benchmark::State& state) {
  Scan<qv::TSilvaTolerModel>(state, kSilvaTolerG, kSilvaTolerA);
}
BENCHMARK(BM_SilvaTolerScan)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
