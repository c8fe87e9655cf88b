// The report window with the largest report the program writes: Plaisted & Peterson on a
// 600 x 600 table with two response columns (359,400 pair rows, about 17 MB). How long the
// window takes to show it, how long the editor keeps laying it out in the background (and
// the longest the window is unresponsive meanwhile), and then a scroll to the end and typing a
// character at either end of the document.
#include <benchmark/benchmark.h>

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTest>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "plaisted_report.h"
#include "ui/documentfiles.h"
#include "ui/notarich.h"

namespace {

namespace fs = std::filesystem;

using qv::bench::PlaistedReport;

struct Window {
  qv::ui::TReportDocumentFiles files;
  qv::ui::TFormNotaRich window{files};
};

// From the report's text to the window up and painted, with the top of the report showing.
void BM_ShowReport(benchmark::State& state) {
  const std::string& report = PlaistedReport();
  for (auto _ : state) {
    state.PauseTiming();
    auto w = std::make_unique<Window>();
    state.ResumeTiming();
    w->window.SetReportText(report);
    w->window.ShowReport();
    if (!QTest::qWaitForWindowExposed(&w->window)) state.SkipWithError("window not exposed");
    w->window.RichEdit1()->viewport()->repaint();
    state.PauseTiming();
    w.reset();
    state.ResumeTiming();
  }
  state.counters["MB"] = static_cast<double>(report.size()) / 1e6;
}

// After the window is up, the editor lays out the rest of the report in the background, in
// steps between events: the time it takes, and the longest wait an event (a key, a scroll)
// may have meanwhile.
void BM_BackgroundLayout(benchmark::State& state) {
  const std::string& report = PlaistedReport();
  // The scroll range of the whole report, from a window that laid it out at once.
  int fullRange = 0;
  {
    Window reference;
    reference.window.SetReportText(report);
    reference.window.ShowReport();
    (void)QTest::qWaitForWindowExposed(&reference.window);
    (void)reference.window.RichEdit1()->document()->documentLayout()->documentSize();
    QCoreApplication::processEvents();
    fullRange = reference.window.RichEdit1()->verticalScrollBar()->maximum();
  }
  for (auto _ : state) {
    state.PauseTiming();
    auto w = std::make_unique<Window>();
    w->window.SetReportText(report);
    w->window.ShowReport();
    (void)QTest::qWaitForWindowExposed(&w->window);
    QScrollBar* bar = w->window.RichEdit1()->verticalScrollBar();
    state.ResumeTiming();
    QElapsedTimer total, tick;
    total.start();
    tick.start();
    qint64 longest = 0;
    while (bar->maximum() < fullRange && total.elapsed() < 60000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      longest = std::max(longest, tick.restart());
    }
    state.counters["longest_wait_ms"] = static_cast<double>(longest);
    state.PauseTiming();
    w.reset();
    state.ResumeTiming();
  }
}

// With the report laid out: a scroll to the end, and a character typed at the end and at the
// start (each undone before the next).
void BM_Responsive(benchmark::State& state) {
  auto w = std::make_unique<Window>();
  w->window.SetReportText(PlaistedReport());
  w->window.ShowReport();
  (void)QTest::qWaitForWindowExposed(&w->window);
  QTextEdit* editor = w->window.RichEdit1();
  (void)editor->document()->documentLayout()->documentSize();  // the whole layout
  QCoreApplication::processEvents();
  const int what = static_cast<int>(state.range(0));
  for (auto _ : state) {
    if (what == 0) {
      editor->verticalScrollBar()->setValue(editor->verticalScrollBar()->maximum());
      editor->viewport()->repaint();
      state.PauseTiming();
      editor->verticalScrollBar()->setValue(0);
      editor->viewport()->repaint();
      state.ResumeTiming();
    } else {
      state.PauseTiming();
      editor->moveCursor(what == 1 ? QTextCursor::End : QTextCursor::Start);
      editor->viewport()->repaint();
      state.ResumeTiming();
      QTest::keyClick(editor, Qt::Key_X);
      editor->viewport()->repaint();
      state.PauseTiming();
      editor->undo();
      state.ResumeTiming();
    }
  }
  state.SetLabel(what == 0   ? "scroll to the end"
                 : what == 1 ? "type at the end"
                             : "type at the start");
}

// The report saved as Rich Text and opened again, as "Salvar" and "&Abrir..." do it (the file
// on a temporary disk).
void BM_SaveAndOpenRichText(benchmark::State& state) {
  Window w;
  w.window.SetReportText(PlaistedReport());
  const QString path =
      QString::fromStdString((fs::temp_directory_path() / "qv_bench_report.rtf").string());
  const bool save = state.range(0) == 0;
  QString error;
  if (!save && !w.files.Save(path, *w.window.RichEdit1()->document(), error)) {
    state.SkipWithError("save failed");
  }
  for (auto _ : state) {
    if (save) {
      if (!w.files.Save(path, *w.window.RichEdit1()->document(), error))
        state.SkipWithError("save");
    } else {
      QTextDocument document;  // as the window makes it
      document.setDefaultFont(w.window.RichEdit1()->document()->defaultFont());
      document.setDefaultTextOption(w.window.RichEdit1()->document()->defaultTextOption());
      if (!w.files.Load(path, document, error)) state.SkipWithError("open failed");
      benchmark::DoNotOptimize(document.blockCount());
    }
  }
  state.counters["MB"] = static_cast<double>(fs::file_size(path.toStdString())) / 1e6;
  state.SetLabel(save ? "save as Rich Text" : "open Rich Text");
  fs::remove(path.toStdString());
}

}  // namespace

BENCHMARK(BM_SaveAndOpenRichText)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_ShowReport)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_BackgroundLayout)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_Responsive)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
