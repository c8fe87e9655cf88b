// The table manager window on a table at the program's capacity: 600 genotypes × 600
// environments = 360,000 records, two code fields and two responses, in each format. What a
// person waits for: the table opened and its first screen painted in the grid, a jump to the
// last record (Ctrl+End) painted, and one edited value posted to the file on leaving its record
// (fsynced) with the grid repainted.
//
// "&Abrir" without its file dialog: the table is opened as the dialog's choice would open it.
// Run on the offscreen platform (set here), so painting is Qt's own raster painting.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QHeaderView>
#include <QTest>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "analysis/session.h"
#include "means_table.h"
#include "ui/directoryform.h"
#include "ui/graphform.h"
#include "ui/tablemodel.h"

namespace {

using qv::bench::BenchDir;
using qv::bench::FreshMeansTable;
using qv::bench::MeansTable;

struct Window {
  qv::TSession session;
  qv::ui::TDirectoryForm directory;
  qv::ui::TFormArquivo arquivo;
  qv::ui::TGraphForm form{session, directory, arquivo};

  void Open(const std::string& path) {
    qv::ui::TTableModel& model = form.DataSource1();
    model.BeginChange();
    form.Table1().SetName(path);
    form.Table1().Open();
    model.EndChange();
    form.DBGrid1()->SetMode(qv::ui::TGridMode::Edit);
  }
  void Paint() {
    form.DBGrid1()->viewport()->repaint();
    form.DBGrid1()->verticalHeader()->viewport()->repaint();
  }
};

void PeakMemory(benchmark::State& state) {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void OpenAndFirstScreen(benchmark::State& state, const std::string& extension) {
  const std::string& path = MeansTable(extension);
  for (auto _ : state) {
    state.PauseTiming();
    auto w = std::make_unique<Window>();
    w->form.show();
    if (!QTest::qWaitForWindowExposed(&w->form)) state.SkipWithError("window not exposed");
    state.ResumeTiming();
    w->Open(path);
    w->Paint();
    state.PauseTiming();
    if (w->form.DataSource1().rowCount() != 360000) state.SkipWithError("rows missing");
    w.reset();
    state.ResumeTiming();
  }
  PeakMemory(state);
}

void JumpToLast(benchmark::State& state, const std::string& extension) {
  Window w;
  w.form.show();
  if (!QTest::qWaitForWindowExposed(&w.form)) state.SkipWithError("window not exposed");
  w.Open(MeansTable(extension));
  auto& grid = *w.form.DBGrid1();
  for (auto _ : state) {
    state.PauseTiming();
    grid.setCurrentIndex(grid.model()->index(0, 0));
    w.Paint();
    state.ResumeTiming();
    QTest::keyClick(&grid, Qt::Key_End, Qt::ControlModifier);
    w.Paint();
  }
  if (w.form.Table1().RecNo() != 359999) state.SkipWithError("not on the last record");
}

// One value typed into a record in the middle of the table and the record left: the post
// reaches the disk before the timing ends.
void PostEdit(benchmark::State& state, const std::string& extension) {
  const std::string copy = FreshMeansTable(extension);
  Window w;
  w.form.show();
  if (!QTest::qWaitForWindowExposed(&w.form)) state.SkipWithError("window not exposed");
  w.Open(copy);
  auto& grid = *w.form.DBGrid1();
  auto& model = w.form.DataSource1();
  int k = 0;
  for (auto _ : state) {
    state.PauseTiming();
    const int row = 180000 + (k % 2);
    grid.setCurrentIndex(model.index(row, 2));
    w.Paint();
    state.ResumeTiming();
    model.setData(model.index(row, 2), QString::number(10 + (++k)));
    grid.setCurrentIndex(model.index(row + 2, 2));
    w.Paint();
  }
  if (w.form.Table1().IsEditing()) state.SkipWithError("the edit was not posted");
}

}  // namespace

BENCHMARK_CAPTURE(OpenAndFirstScreen, Paradox, std::string(".db"))
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(OpenAndFirstScreen, dBase, std::string(".dbf"))
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(OpenAndFirstScreen, CSV, std::string(".csv"))
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);
BENCHMARK_CAPTURE(JumpToLast, Paradox, std::string(".db"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PostEdit, Paradox, std::string(".db"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PostEdit, dBase, std::string(".dbf"))->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PostEdit, CSV, std::string(".csv"))->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(BenchDir());
  return 0;
}
