// Reading a large table through TDataTable, the way an analysis reads it: 600 genotypes ×
// 600 environments (the program's capacity), two code fields and two responses, every value
// taken through the cursor with IsBlank and GetValue(i).ToReal. One run per file format; the
// file is written beforehand, outside the timing.
//
// Run one format alone under /usr/bin/time -v to see the peak memory of writing and reading:
//   bench_tables --benchmark_filter=Paradox
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "means_table.h"
#include "tables/datatable.h"

namespace {

std::string WriteTable(const std::string& extension) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("qv-bench-tables-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / ("medias" + extension)).string();
  qv::bench::WriteMeansTable(path);
  return path;
}

void ReadEveryValue(benchmark::State& state, const std::string& extension) {
  const std::string path = WriteTable(extension);
  double sum = 0.0;
  std::size_t values = 0;
  for (auto _ : state) {
    qv::TDataTable t;
    t.SetName(path);
    t.Open();
    for (t.First(); !t.AtEnd(); t.Next()) {
      for (int i = 0; i < t.FieldCount(); ++i) {
        double v = 0.0;
        if (!t.IsBlank(i) && t.GetValue(i).ToReal(v)) {
          sum += v;
          ++values;
        }
      }
    }
  }
  benchmark::DoNotOptimize(sum);
  state.counters["values"] = static_cast<double>(values);
  state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
  std::filesystem::remove_all(std::filesystem::path(path).parent_path());
}

void Paradox(benchmark::State& state) {
  ReadEveryValue(state, ".db");
}
void DBase(benchmark::State& state) {
  ReadEveryValue(state, ".dbf");
}
void Csv(benchmark::State& state) {
  ReadEveryValue(state, ".csv");
}

BENCHMARK(Paradox)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(DBase)->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(Csv)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
