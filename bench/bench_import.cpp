// The table manager's text import and export, and the conversion of a plot file, at the sizes
// breeders reach:
//  - importing a text file of 360,000 lines of 4 numbers (600 x 600 genotype means) into a
//    Paradox table, through the command the window runs;
//  - exporting the 600 x 600 means table as text (reals in the General layout);
//  - converting a file of 1,000,000 plots (500 genotypes x 500 environments x 4 blocks, named
//    genotypes and environments) into its table of means with --recode, --means and --block.
// The input files are written beforehand, outside the timing; each run writes its output
// file whole (the safe rewrite, fsync included).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "analysis/layout.h"
#include "cli/cli.h"
#include "means_table.h"
#include "tables/datatable.h"
#include "tables/textimport.h"

namespace {

namespace fs = std::filesystem;

fs::path WorkDir() {
  const fs::path dir = fs::temp_directory_path() / ("qv-bench-import-" + std::to_string(getpid()));
  fs::create_directories(dir);
  return dir;
}

// Answers the commands' dialogs without showing anything.
class QuietHost : public qv::TTextTransferHost {
 public:
  QuietHost(std::string source, std::string target)
      : source_(std::move(source)), target_(std::move(target)) {}
  bool WarnOkCancel(const std::string&) override { return true; }
  bool WarnYesNo(const std::string&) override { return true; }
  void ShowMessage(const std::string&) override {}
  void ShowError(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
  std::optional<std::string> ChooseImportSource() override { return source_; }
  std::optional<std::string> ChooseImportTable() override { return target_; }
  std::optional<std::string> ChooseExportFile() override { return target_; }
  void OpenTableDialog(qv::TDataTable&) override {}

 private:
  std::string source_, target_;
};

void ImportText(benchmark::State& state) {
  const fs::path dir = WorkDir();
  const std::string source = (dir / "medias.txt").string();
  {
    std::ofstream out(source, std::ios::binary);
    for (int g = 1; g <= qv::bench::kGenotypes; ++g) {
      for (int e = 1; e <= qv::bench::kEnvironments; ++e) {
        out << g << ' ' << e << ' ' << qv::General(3.0 + g / 7.0 - e / 13.0) << ' '
            << qv::General(1.0 / (g + e)) << "\r\n";
      }
    }
  }
  QuietHost host(source, (dir / "medias.db").string());
  std::size_t records = 0;
  for (auto _ : state) {
    qv::TDataTable table;
    records = qv::ImportTextCommand(table, host).records;
  }
  state.counters["records"] = static_cast<double>(records);
  state.counters["text_MB"] = static_cast<double>(fs::file_size(source)) / 1e6;
  fs::remove_all(dir);
}

void ExportText(benchmark::State& state) {
  const fs::path dir = WorkDir();
  const std::string path = (dir / "medias.db").string();
  qv::bench::WriteMeansTable(path);
  qv::TDataTable table;
  table.SetName(path);
  table.Open();
  QuietHost host("", (dir / "medias.txt").string());
  const qv::TRealLayout general = [](double v) { return qv::General(v, ','); };
  for (auto _ : state) {
    benchmark::DoNotOptimize(qv::ExportTextCommand(table, host, general).records);
  }
  state.counters["records"] = static_cast<double>(table.RecordCount());
  state.counters["text_MB"] = static_cast<double>(fs::file_size(dir / "medias.txt")) / 1e6;
  fs::remove_all(dir);
}

void ConvertPlots(benchmark::State& state) {
  constexpr int kGenotypes = 500, kEnvironments = 500, kBlocks = 4;
  const fs::path dir = WorkDir();
  const std::string plots = (dir / "parcelas.csv").string();
  {
    std::ofstream out(plots, std::ios::binary);
    out << "cultivar,local,bloco,prod\n";
    for (int g = 1; g <= kGenotypes; ++g) {
      for (int e = 1; e <= kEnvironments; ++e) {
        for (int b = 1; b <= kBlocks; ++b) {
          out << "BRS " << g << ",Local " << e << ',' << b << ','
              << qv::General(3000.0 + g * 1.5 - e * 0.75 + ((g * 7 + e * 3 + b * 11) % 13) * 9.25)
              << '\n';
        }
      }
    }
  }
  const std::string means = (dir / "medias.db").string();
  const char* argv[] = {"quorvandelia-cli", "table",    "convert",        plots.c_str(),
                        means.c_str(),      "--recode", "cultivar,local", "--means",
                        "--block",          "bloco"};
  for (auto _ : state) {
    std::ostringstream out, err;
    if (qv::RunCli(static_cast<int>(std::size(argv)), argv, out, err) != 0) {
      state.SkipWithError(err.str().c_str());
      break;
    }
  }
  state.counters["plots"] = kGenotypes * kEnvironments * kBlocks;
  state.counters["csv_MB"] = static_cast<double>(fs::file_size(plots)) / 1e6;
  fs::remove_all(dir);
}

}  // namespace

BENCHMARK(ImportText)->Unit(benchmark::kMillisecond);
BENCHMARK(ExportText)->Unit(benchmark::kMillisecond);
BENCHMARK(ConvertPlots)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
