// Reading a large table through TDataTable, the way an analysis reads it: 600 genotypes ×
// 600 environments (the program's capacity), two code fields and two responses, every value
// taken through the cursor with IsBlank and GetValue(i).ToReal. One run per file format; the
// file is written beforehand, outside the timing.
//
// The *Fields runs read the table the way the analysis run does, every numeric field whole
// (NumberColumn). CsvParseBound is what no CSV reader can beat: the file read into memory in
// one call and every cell cut at its separator and converted by std::from_chars, with no
// checks and nothing kept; reading a table should stay within twice that.
//
// Run one format alone under /usr/bin/time -v to see the peak memory of writing and reading:
//   bench_tables --benchmark_filter=Paradox
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

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

benchmark::Counter ValuesPerRun(std::size_t values) {
  return benchmark::Counter(static_cast<double>(values), benchmark::Counter::kAvgIterations);
}

// Every value through the cursor, or (wholeFields) every numeric field as one block.
void ReadTable(benchmark::State& state, const std::string& extension, bool wholeFields) {
  const std::string path = WriteTable(extension);
  double sum = 0.0;
  std::size_t values = 0;
  for (auto _ : state) {
    qv::TDataTable t;
    t.SetName(path);
    t.Open();
    for (int i = 0; wholeFields && i < t.FieldCount(); ++i) {
      for (const double v : t.NumberColumn(i)) {
        if (v == v) {
          sum += v;
          ++values;
        }
      }
    }
    for (t.First(); !wholeFields && !t.AtEnd(); t.Next()) {
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
  state.counters["values"] = ValuesPerRun(values);
  state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
  std::filesystem::remove_all(std::filesystem::path(path).parent_path());
}

void ReadEveryValue(benchmark::State& state, const std::string& extension) {
  ReadTable(state, extension, false);
}

void ReadEveryField(benchmark::State& state, const std::string& extension) {
  ReadTable(state, extension, true);
}

// Reads the file into memory in one call and hands its bytes to parse, which adds every
// number it converts to sum and counts it.
template <class TParse>
void ParseBound(benchmark::State& state, const std::string& extension, TParse parse) {
  const std::string path = WriteTable(extension);
  double sum = 0.0;
  std::size_t values = 0;
  for (auto _ : state) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    std::vector<char> bytes(std::filesystem::file_size(path));
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), f));
    std::fclose(f);
    parse(bytes, sum, values);
  }
  benchmark::DoNotOptimize(sum);
  state.counters["values"] = ValuesPerRun(values);
  std::filesystem::remove_all(std::filesystem::path(path).parent_path());
}

void AddNumber(const char* first, const char* last, double& sum, std::size_t& values) {
  double v = 0.0;
  if (std::from_chars(first, last, v).ec == std::errc()) {
    sum += v;
    ++values;
  }
}

void CsvParseBound(benchmark::State& state) {
  ParseBound(state, ".csv", [](const std::vector<char>& text, double& sum, std::size_t& values) {
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end && *p != '\n') ++p;  // the header
    while (p < end) {
      const char* cell = ++p;
      while (p < end && *p != ';' && *p != ',' && *p != '\n' && *p != '\r') ++p;
      AddNumber(cell, p, sum, values);
    }
  });
}

// The same bound for dBase: each numeric cell (a fixed-width text field of an "N" or "F"
// column, from the field descriptors of the header) trimmed of its leading blanks and
// converted.
void DBaseParseBound(benchmark::State& state) {
  ParseBound(state, ".dbf", [](const std::vector<char>& file, double& sum, std::size_t& values) {
    const auto byte = [&](std::size_t at) {
      return std::size_t{static_cast<unsigned char>(file[at])};
    };
    const std::size_t records = byte(4) | byte(5) << 8 | byte(6) << 16 | byte(7) << 24;
    const std::size_t headerLength = byte(8) | byte(9) << 8, recordLength = byte(10) | byte(11)
                                                                                           << 8;
    std::vector<std::pair<std::size_t, std::size_t>> cells;  // offset and width in a record
    for (std::size_t d = 32, offset = 1; d + 32 <= headerLength && byte(d) != 0x0D; d += 32) {
      if (file[d + 11] == 'N' || file[d + 11] == 'F') cells.emplace_back(offset, byte(d + 16));
      offset += byte(d + 16);
    }
    for (std::size_t r = 0; r < records && headerLength + (r + 1) * recordLength <= file.size();
         ++r) {
      const char* record = file.data() + headerLength + r * recordLength;
      for (const auto& [offset, width] : cells) {
        const char* p = record + offset;
        const char* const end = p + width;
        while (p < end && *p == ' ') ++p;
        AddNumber(p, end, sum, values);
      }
    }
  });
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
BENCHMARK_CAPTURE(ReadEveryField, ParadoxFields, std::string(".db"))
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ReadEveryField, DBaseFields, std::string(".dbf"))
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ReadEveryField, CsvFields, std::string(".csv"))
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(CsvParseBound)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(DBaseParseBound)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
