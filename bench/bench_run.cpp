// The whole command-line run of a method on a 600 x 600 table (two response columns), reading
// included, and the report buffer's cost per appended line.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "analysis/report.h"
#include "cli/cli.h"
#include "tables/datatable.h"

namespace {

namespace fs = std::filesystem;

// A 600 x 600 Paradox table of genotype means with two response columns.
const std::string& BigTable() {
  static const std::string path = [] {
    const fs::path p = fs::temp_directory_path() / "qv_bench_600x600.db";
    if (!fs::exists(p)) {
      qv::TDataTable t;
      t.SetName(p.string());
      t.DefineFields({{"gen", qv::FieldType::Float, 0},
                      {"env", qv::FieldType::Float, 0},
                      {"y1", qv::FieldType::Float, 0},
                      {"y2", qv::FieldType::Float, 0}});
      t.CreateTable();
      t.Open();
      t.BeginBatch();
      for (int i = 1; i <= 600; ++i) {
        for (int j = 1; j <= 600; ++j) {
          t.Append();
          t.SetValue(0, qv::TValue::Number(i));
          t.SetValue(1, qv::TValue::Number(j));
          t.SetValue(2, qv::TValue::Number(5 + 0.01 * i + 0.02 * j + std::sin(i * j)));
          t.SetValue(3, qv::TValue::Number(100 + std::cos(i + 2.0 * j)));
          t.Post();
        }
      }
      t.EndBatch();
      t.Close();
    }
    return p.string();
  }();
  return path;
}

void RunMethod(benchmark::State& state, const std::vector<std::string>& extra) {
  const std::string table = BigTable();
  for (auto _ : state) {
    std::vector<std::string> args{"quorvandelia-cli", "analyze", "--method"};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<const char*> argv;
    for (const auto& a : args) argv.push_back(a.c_str());
    argv.push_back(table.c_str());
    std::ostringstream out, err;
    const int status = qv::RunCli(static_cast<int>(argv.size()), argv.data(), out, err);
    if (status != 0) state.SkipWithError(err.str().c_str());
    benchmark::DoNotOptimize(out.str().size());
  }
}

void BM_WrickeWholeRun600x600(benchmark::State& state) {
  RunMethod(state, {"wricke", "-g", "600", "-a", "600", "-r", "3"});
}
BENCHMARK(BM_WrickeWholeRun600x600)->Unit(benchmark::kMillisecond)->Iterations(3);

// Time per appended line must stay flat from 10^4 to 10^6 lines: appending never re-reads or
// rewrites what is already there.
void BM_ReportAppend(benchmark::State& state) {
  const std::string line = "       1       6.413333       4.403743      15.890686";
  for (auto _ : state) {
    qv::TReport report;
    for (int64_t k = 0; k < state.range(0); ++k) report.AppendLine(line);
    benchmark::DoNotOptimize(report.Text().size());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ReportAppend)
    ->Arg(10'000)
    ->Arg(100'000)
    ->Arg(1'000'000)
    ->Arg(4'000'000)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
