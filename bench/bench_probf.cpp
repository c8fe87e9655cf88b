// The F tests of a full trial: 600 genotypes' tests of environments within genotype, each
// F(599, 718,800) at ratios near 25 (the pooled residual df of 600 x 600 means of 3
// replicates), the case where ProbF sums its series around a peak of e^5000 and more. One
// iteration is all 600 tests; their time was a fifth of a Cruz, Torres & Vencovsky run at
// that size.
#include <benchmark/benchmark.h>

#include "stats/genztqf.h"

namespace {

void BM_ProbFWithinGenotype600(benchmark::State& state) {
  for (auto _ : state) {
    long double total = 0;
    for (int i = 0; i < 600; ++i) {
      total += qv::ProbF(599, 718800, 20.0L + i / 60.0L);
    }
    benchmark::DoNotOptimize(total);
  }
}

// Bisegmented regression within genotype: F(2, 718,800), far into the tail.
void BM_ProbFRegression600(benchmark::State& state) {
  for (auto _ : state) {
    long double total = 0;
    for (int i = 0; i < 600; ++i) {
      total += qv::ProbF(2, 718800, 5000.0L + 10 * i);
    }
    benchmark::DoNotOptimize(total);
  }
}

BENCHMARK(BM_ProbFWithinGenotype600)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProbFRegression600)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
