// Time of the symmetric eigen decomposition at the largest order the AMMI analysis meets
// (600 genotypes): every eigenvector (Decompose), and the four leading ones that AMMI prints
// (DecomposeLeading), the latter also with the reduction's trailing matrix in extended storage
// instead of pairs of doubles (the same numbers, slower loads and stores). Run by hand: ./dev.sh
// bench, or build/bench/bench_symeigen.
#include <benchmark/benchmark.h>

#include <random>

#include "stats/symeigen.h"

namespace {

void Decomposition(benchmark::State& state, int vectors, bool extendedStorage = false) {
  const int n = static_cast<int>(state.range(0));
  std::mt19937_64 random(12345);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  std::vector<long double> upper;
  for (int i = 1; i <= n; ++i) {
    for (int j = i; j <= n; ++j) upper.push_back(uniform(random));
  }
  qv::SymEigenSolver solver(n);
  solver.UseExtendedStorage(extendedStorage);
  for (auto _ : state) {
    state.PauseTiming();
    std::size_t next = 0;
    for (int i = 1; i <= n; ++i) {
      for (int j = i; j <= n; ++j) solver.A(i, j) = upper[next++];
    }
    state.ResumeTiming();
    const qv::EigenStatus status =
        vectors < 0 ? solver.Decompose(n) : solver.DecomposeLeading(n, vectors);
    if (status != qv::EigenStatus::Success) state.SkipWithError("no convergence");
    benchmark::DoNotOptimize(solver.Lambda(1));
  }
  state.counters["sweeps"] = solver.Sweeps();
}

void BM_SymEigenDecompose(benchmark::State& state) {
  Decomposition(state, -1);
}
void BM_SymEigenDecomposeLeading4(benchmark::State& state) {
  Decomposition(state, 4);
}
void BM_SymEigenDecomposeLeading4Extended(benchmark::State& state) {
  Decomposition(state, 4, true);
}

BENCHMARK(BM_SymEigenDecompose)->Arg(100)->Arg(300)->Arg(600)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SymEigenDecomposeLeading4)
    ->Arg(100)
    ->Arg(300)
    ->Arg(600)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SymEigenDecomposeLeading4Extended)->Arg(600)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
