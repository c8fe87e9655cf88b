// The plots at the program's full capacity, 600 genotypes by 600 environments: every plot of
// an AMMI run (AMMI1 and AMMI2, 1,200 labelled points each) built from the result and written
// as files, as --plots does; Finlay and Wilkinson's two plots (600 lines and 600 points) the
// same way; and one plot of 600 genotypes redrawn in the plot window, as a zoom or a resize
// does. The analyses themselves are computed once, outside the timing.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "analysis/means.h"
#include "analysis/run.h"
#include "methods/ammi.h"
#include "methods/finlay.h"
#include "plotrender/plotfiles.h"
#include "plots/methodplots.h"
#include "ui/plotwindow.h"

namespace {

namespace fs = std::filesystem;

constexpr int kG = 600, kA = 600;

long double Cell(int i, int j) {
  return 50.0L + 0.05L * i + 0.03L * j + 4.0L * std::sin(0.7L * i * j) +
         std::cos(1.3L * i + 0.4L * j);
}

// The variable of a run of `method` on the full table, as the run records it.
std::shared_ptr<qv::TRunOutcome> FullRun(const qv::TMethod& method) {
  auto m = std::make_unique<qv::TGxeMeans>();
  m->MediaGeral = 0;
  for (int i = 1; i <= kG; ++i)
    for (int j = 1; j <= kA; ++j) {
      m->Y(i, j) = Cell(i, j);
      m->MediaGeral += static_cast<double>(Cell(i, j)) / (kG * kA);
    }
  qv::TAnalysisParams p;
  p.g = kG;
  p.a = kA;
  p.r = 3;
  p.gle = 100;
  p.QME = 1.5;
  qv::TFitStorage storage;
  qv::TReport report;
  const qv::TComputeContext context{*m, p, report, storage, '.'};
  qv::TStepResult step = method.compute(context);
  auto run = std::make_shared<qv::TRunOutcome>();
  qv::TVariableRecord& record = run->variables.emplace_back();
  record.name = "prod";
  record.params = p;
  record.result = std::move(step.result);
  record.means = qv::ObservedMeans(*m, kG, kA);
  run->variablesAnalysed = 1;
  return run;
}

const qv::TRunOutcome& AmmiRun() {
  static const auto run = FullRun(qv::AmmiMethod());
  return *run;
}
const qv::TRunOutcome& FinlayRun() {
  static const auto run = FullRun(qv::FinlayMethod());
  return *run;
}

// Every plot of the run written into a fresh folder: arg 0 SVG, 1 PNG, 2 PDF.
void WriteAll(benchmark::State& state, const qv::TRunOutcome& run) {
  const auto format = static_cast<qv::plotrender::TPlotFormat>(state.range(0));
  const fs::path dir = fs::temp_directory_path() / "qv_bench_plots";
  int files = 0;
  for (auto _ : state) {
    fs::remove_all(dir);
    const auto written = qv::plotrender::WriteRunPlots(run, {}, dir.string(), format);
    if (!written.errors.empty()) state.SkipWithError(written.errors.front().c_str());
    files = static_cast<int>(written.files.size());
  }
  state.counters["files"] = files;
  fs::remove_all(dir);
}

void BM_AmmiPlotsWritten600(benchmark::State& state) {
  WriteAll(state, AmmiRun());
}
BENCHMARK(BM_AmmiPlotsWritten600)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

void BM_FinlayPlotsWritten600(benchmark::State& state) {
  WriteAll(state, FinlayRun());
}
BENCHMARK(BM_FinlayPlotsWritten600)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

// One plot of 600 genotypes in the window at 960 x 720, painted again (a zoom step each time,
// so that nothing can be reused): arg 0 AMMI2 (1,200 points), 1 Finlay's lines (600 lines and
// the highlighted genotypes' means), 2 Finlay's mean-slope plane.
void BM_PlotRedrawn600(benchmark::State& state) {
  const bool ammi = state.range(0) == 0;
  qv::ui::TFormGraficos window;
  window.SetRun(std::make_shared<const qv::TRunOutcome>(ammi ? AmmiRun() : FinlayRun()), {});
  window.ComboGrafico()->setCurrentIndex(ammi ? 1 : static_cast<int>(state.range(0)) - 1);
  window.resize(960, 720);
  window.show();
  QApplication::processEvents();
  qv::ui::TPlotView& view = *window.PlotView();
  int k = 0;
  for (auto _ : state) {
    view.Zoom(++k % 2 ? 1.1 : 1 / 1.1);
    view.repaint();
  }
  state.counters["markers"] = static_cast<double>(view.Scene().markers.size());
  state.counters["labels"] = view.Scene().labelsPlaced;
}
BENCHMARK(BM_PlotRedrawn600)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
