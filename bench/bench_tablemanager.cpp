// The table manager on a table at the program's capacity: 600 genotypes × 600 environments =
// 360,000 records, two code fields and two responses, in each format. What the window does
// with it: open it and show the first screen (random access to 40 rows), jump to the last
// record, post one edited record, post a new record, add a field and delete it, delete 10,000
// selected records.
// The table is written once per format, outside the timings; every change reaches the disk
// (fsync) before its timing ends.
//
// Peak memory of one format's whole run (writing the table included):
//   /usr/bin/time -v bench_tablemanager --benchmark_filter=Paradox
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "means_table.h"
#include "tables/datatable.h"

namespace {

constexpr std::size_t kScreenRows = 40;

using qv::bench::BenchDir;
using qv::bench::FreshMeansTable;

const std::string& Table(const std::string& extension) {
  return qv::bench::MeansTable(extension);
}
std::string FreshCopy(const std::string& extension) {
  return FreshMeansTable(extension);
}

void Open(qv::TDataTable& t, const std::string& path) {
  t.SetName(path);
  t.Open();
}

void PeakMemory(benchmark::State& state) {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Opening the table and reading every cell of the first screen, as the grid does.
void OpenAndFirstScreen(benchmark::State& state, const std::string& extension) {
  const std::string& path = Table(extension);
  double sum = 0.0;
  for (auto _ : state) {
    qv::TDataTable t;
    Open(t, path);
    for (std::size_t r = 0; r < kScreenRows; ++r) {
      for (int f = 0; f < t.FieldCount(); ++f) {
        double v = 0.0;
        if (t.ValueAt(r, f).ToReal(v)) sum += v;
      }
    }
  }
  benchmark::DoNotOptimize(sum);
  state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
  PeakMemory(state);
}

// Jumping to the last record and showing its screen: no walk of the table.
void LastScreen(benchmark::State& state, const std::string& extension) {
  qv::TDataTable t;
  Open(t, Table(extension));
  double sum = 0.0;
  for (auto _ : state) {
    t.GoTo(t.RecordCount() - 1);
    for (std::size_t r = t.RecordCount() - kScreenRows; r < t.RecordCount(); ++r) {
      for (int f = 0; f < t.FieldCount(); ++f) {
        double v = 0.0;
        if (t.ValueAt(r, f).ToReal(v)) sum += v;
      }
    }
  }
  benchmark::DoNotOptimize(sum);
}

// One edited record posted, on records spread over the table.
void PostEditedRecord(benchmark::State& state, const std::string& extension) {
  qv::TDataTable t;
  Open(t, FreshCopy(extension));
  std::size_t record = 7;
  for (auto _ : state) {
    record = (record * 7919 + 13) % t.RecordCount();
    t.GoTo(record);
    t.SetValue(2, qv::TValue::Number(static_cast<double>(record) / 3.0));
    t.Post();
  }
  PeakMemory(state);
}

// A new record typed at the end and posted: a rewrite of the whole table.
void PostAppendedRecord(benchmark::State& state, const std::string& extension) {
  qv::TDataTable t;
  Open(t, FreshCopy(extension));
  for (auto _ : state) {
    t.Append();
    t.SetValue(0, qv::TValue::Number(601));
    t.Post();
  }
  PeakMemory(state);
}

// Adding a field, then deleting it again: each a rewrite of the whole table.
void AddField(benchmark::State& state, const std::string& extension) {
  qv::TDataTable t;
  Open(t, FreshCopy(extension));
  for (auto _ : state) {
    t.AddFields({{"novo", qv::FieldType::Float, 0}});
    state.PauseTiming();
    t.DeleteField(4);
    state.ResumeTiming();
  }
  PeakMemory(state);
}

void DeleteField(benchmark::State& state, const std::string& extension) {
  qv::TDataTable t;
  Open(t, FreshCopy(extension));
  for (auto _ : state) {
    state.PauseTiming();
    t.AddFields({{"novo", qv::FieldType::Float, 0}});
    state.ResumeTiming();
    t.DeleteField(4);
  }
  PeakMemory(state);
}

// 10,000 records selected all over the table, deleted in one command.
void DeleteRecords(benchmark::State& state, const std::string& extension) {
  std::vector<std::size_t> selected;
  for (std::size_t k = 0; k < 10000; ++k) selected.push_back(k * 36);
  for (auto _ : state) {
    state.PauseTiming();
    qv::TDataTable t;
    Open(t, FreshCopy(extension));
    state.ResumeTiming();
    t.DeleteRecords(selected);
  }
  PeakMemory(state);
}

}  // namespace

int main(int argc, char** argv) {
  using Run = void (*)(benchmark::State&, const std::string&);
  const struct {
    const char* name;
    Run run;
    int iterations;  // 0: as many as the library wants
    benchmark::TimeUnit unit;
  } operations[] = {
      {"OpenAndFirstScreen", OpenAndFirstScreen, 5, benchmark::kMillisecond},
      {"LastScreen", LastScreen, 0, benchmark::kMicrosecond},
      {"PostEditedRecord", PostEditedRecord, 50, benchmark::kMillisecond},
      {"PostAppendedRecord", PostAppendedRecord, 5, benchmark::kMillisecond},
      {"AddField", AddField, 3, benchmark::kMillisecond},
      {"DeleteField", DeleteField, 3, benchmark::kMillisecond},
      {"DeleteRecords", DeleteRecords, 3, benchmark::kMillisecond},
  };
  for (const auto& [format, extension] :
       {std::pair{"Paradox", ".db"}, {"DBase", ".dbf"}, {"Csv", ".csv"}}) {
    for (const auto& op : operations) {
      auto* b = benchmark::RegisterBenchmark((std::string(format) + "/" + op.name).c_str(), op.run,
                                             std::string(extension));
      b->Unit(op.unit);
      if (op.iterations > 0) b->Iterations(op.iterations);
    }
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(BenchDir());
  return 0;
}
