// TGxeMeans: the genotype-by-environment means of one response variable and their margins.
//
// The storage has the program's full capacity (600 genotypes by 600 environments) and is
// allocated once, when the session starts; a run performs no allocation proportional to its
// data. Indices are 1-based, as the statistics are written: Y(i, j) is the mean of genotype
// i = 1..g in environment j = 1..a.
#pragma once

#include <cstddef>
#include <vector>

namespace qv {

inline constexpr int MaxGenot = 600;
inline constexpr int MaxAmb = 600;

class TGxeMeans {
 public:
  TGxeMeans()
      : y_(static_cast<std::size_t>(MaxGenot) * MaxAmb, 0.0L), medGen_(MaxGenot, 0.0L),
        medAmb_(MaxAmb, 0.0L) {}

  long double& Y(int i, int j) { return y_[Index(i, j)]; }
  long double Y(int i, int j) const { return y_[Index(i, j)]; }
  long double& MedGen(int i) { return medGen_[static_cast<std::size_t>(i - 1)]; }
  long double MedGen(int i) const { return medGen_[static_cast<std::size_t>(i - 1)]; }
  long double& MedAmb(int j) { return medAmb_[static_cast<std::size_t>(j - 1)]; }
  long double MedAmb(int j) const { return medAmb_[static_cast<std::size_t>(j - 1)]; }

  double MediaGeral = 0.0;  // grand mean (64-bit, as the methods accumulate it)

 private:
  static std::size_t Index(int i, int j) {
    return static_cast<std::size_t>(i - 1) * MaxAmb + static_cast<std::size_t>(j - 1);
  }
  std::vector<long double> y_, medGen_, medAmb_;
};

// The margins of the first g x a cells: MedGen(i) = sum_j Y(i,j) / a and MedAmb(j) =
// sum_i Y(i,j) / g, in extended precision, each term divided before it is added and the terms
// added in index order (the methods' printed digits depend on both).
inline void ComputeGenotypeMeans(TGxeMeans& m, int g, int a) {
  for (int i = 1; i <= g; ++i) {
    long double s = 0;
    for (int j = 1; j <= a; ++j) s += m.Y(i, j) / a;
    m.MedGen(i) = s;
  }
}

inline void ComputeEnvironmentMeans(TGxeMeans& m, int g, int a) {
  for (int j = 1; j <= a; ++j) {
    long double s = 0;
    for (int i = 1; i <= g; ++i) s += m.Y(i, j) / g;
    m.MedAmb(j) = s;
  }
}

}  // namespace qv
