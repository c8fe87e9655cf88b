// Rich Text of the largest report the program writes: Plaisted & Peterson on a 600 x 600 table
// with two responses (359,400 pair rows, about 360,000 lines and 17 MB), made by the command
// line beforehand. The report is written as the command line and the report window save it
// (ReportDocument, then WriteRtf) and read back (ReadRtf), on a quarter, half and all of it, so
// that time and memory can be seen to grow in proportion to the size.
//
// Memory is the peak of the heap in use during one operation, less what was in use before it,
// counted by the global operator new and delete below; peak_heap_per_byte is that peak over
// the size of the input. The peak resident size of the whole process is printed at the end.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "plaisted_report.h"
#include "richtext/rtf.h"

namespace {

std::atomic<std::size_t> gHeapInUse{0};
std::atomic<std::size_t> gHeapPeak{0};

void* Allocate(std::size_t size) {
  void* p = std::malloc(size ? size : 1);
  if (!p) throw std::bad_alloc();
  const std::size_t now = gHeapInUse += malloc_usable_size(p);
  for (std::size_t peak = gHeapPeak; now > peak && !gHeapPeak.compare_exchange_weak(peak, now);) {
  }
  return p;
}

void Release(void* p) {
  if (!p) return;
  gHeapInUse -= malloc_usable_size(p);
  std::free(p);
}

}  // namespace

void* operator new(std::size_t size) {
  return Allocate(size);
}
void* operator new[](std::size_t size) {
  return Allocate(size);
}
void operator delete(void* p) noexcept {
  Release(p);
}
void operator delete[](void* p) noexcept {
  Release(p);
}
void operator delete(void* p, std::size_t) noexcept {
  Release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  Release(p);
}

namespace {

namespace fs = std::filesystem;

using qv::bench::PlaistedReport;

// The first `percent` of the report's lines.
std::string Part(const std::string& text, int percent) {
  if (percent >= 100) return text;
  std::size_t lines = 0;
  for (const char c : text) lines += c == '\n';
  std::size_t wanted = lines * static_cast<std::size_t>(percent) / 100, end = 0;
  while (wanted-- > 0) end = text.find('\n', end) + 1;
  return text.substr(0, end);
}

void SetCounters(benchmark::State& state, std::size_t inputBytes, std::size_t baseline,
                 std::size_t peak) {
  const double peakBytes = static_cast<double>(peak - baseline);
  state.counters["input_MB"] = static_cast<double>(inputBytes) / 1e6;
  state.counters["peak_heap_MB"] = peakBytes / 1e6;
  state.counters["peak_heap_per_byte"] = peakBytes / static_cast<double>(inputBytes);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * inputBytes));
}

void BM_WriteReportAsRtf(benchmark::State& state) {
  const std::string text = Part(PlaistedReport(), static_cast<int>(state.range(0)));
  std::size_t peak = 0, baseline = 0, rtfBytes = 0;
  for (auto _ : state) {
    baseline = gHeapInUse;
    gHeapPeak = baseline;
    const std::string rtf = qv::richtext::WriteRtf(qv::richtext::ReportDocument(text));
    peak = gHeapPeak;
    rtfBytes = rtf.size();
    benchmark::DoNotOptimize(rtf.data());
  }
  SetCounters(state, text.size(), baseline, peak);
  state.counters["lines"] = static_cast<double>(std::count(text.begin(), text.end(), '\n'));
  state.counters["rtf_MB"] = static_cast<double>(rtfBytes) / 1e6;
}
BENCHMARK(BM_WriteReportAsRtf)->Arg(25)->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond);

void BM_ReadReportRtf(benchmark::State& state) {
  const std::string rtf = qv::richtext::WriteRtf(
      qv::richtext::ReportDocument(Part(PlaistedReport(), static_cast<int>(state.range(0)))));
  std::size_t peak = 0, baseline = 0, paragraphs = 0;
  for (auto _ : state) {
    baseline = gHeapInUse;
    gHeapPeak = baseline;
    const qv::richtext::TReadResult r = qv::richtext::ReadRtf(rtf);
    peak = gHeapPeak;
    if (!r.document) state.SkipWithError(r.error.c_str());
    paragraphs = r.document ? r.document->paragraphs.size() : 0;
  }
  SetCounters(state, rtf.size(), baseline, peak);
  state.counters["paragraphs"] = static_cast<double>(paragraphs);
}
BENCHMARK(BM_ReadReportRtf)->Arg(25)->Arg(50)->Arg(100)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak resident size of the process: %.1f MB\n", usage.ru_maxrss / 1024.0);
  return 0;
}
