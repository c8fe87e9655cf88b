// TGxeMeans: the genotype-by-environment means of one response variable, and the margins every
// method takes from them.
//
// The storage has the program's full capacity (600 genotypes by 600 environments) and is
// allocated once, when the session starts; a run performs no allocation proportional to its
// data. Indices are 1-based, as the statistics are written: Y(i, j) is the mean of genotype
// i = 1..g in environment j = 1..a.
//
// The run fills Y (and, for the methods that ask for it, the grand mean MediaGeral) while it
// reads the records; the methods only read them. The margins a method needs are values it
// computes here and keeps in its own result.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

namespace qv {

inline constexpr int MaxGenot = 600;
inline constexpr int MaxAmb = 600;

class TGxeMeans {
 public:
  // The cells start at 0 (all bits zero is 0 in every floating-point format here). They are
  // taken zeroed from the allocator rather than written: the system hands out fresh memory
  // already cleared, so a run touches only the pages of the cells its table fills, instead of
  // clearing the whole capacity (5.8 MB) at every start.
  TGxeMeans() : y_(static_cast<long double*>(std::calloc(kCells, sizeof(long double)))) {
    if (!y_) throw std::bad_alloc();
  }
  TGxeMeans(const TGxeMeans& other) : TGxeMeans() { *this = other; }
  TGxeMeans& operator=(const TGxeMeans& other) {
    if (this != &other) {
      std::copy(other.y_.get(), other.y_.get() + kCells, y_.get());
      MediaGeral = other.MediaGeral;
    }
    return *this;
  }

  long double& Y(int i, int j) { return y_[Index(i, j)]; }
  long double Y(int i, int j) const { return y_[Index(i, j)]; }
  // The means of genotype i in environments 1, 2, ... one after another.
  const long double* Row(int i) const { return &y_[Index(i, 1)]; }

  // The grand mean as the run accumulates it from the records, sum of value / (g a) in 64 bits
  // (Wricke, AMMI and the segmented models ask for it; the other methods form their own).
  double MediaGeral = 0.0;

 private:
  static constexpr std::size_t kCells = static_cast<std::size_t>(MaxGenot) * MaxAmb;
  static std::size_t Index(int i, int j) {
    return static_cast<std::size_t>(i - 1) * MaxAmb + static_cast<std::size_t>(j - 1);
  }
  struct TFree {
    void operator()(long double* p) const { std::free(p); }
  };
  std::unique_ptr<long double[], TFree> y_;
};

// A vector indexed from 1, as the margins are written: v(1) .. v(n).
template <typename Real = long double>
class TIndexed {
 public:
  TIndexed() = default;
  explicit TIndexed(int n) : v_(static_cast<std::size_t>(n > 0 ? n : 0), Real(0)) {}
  Real operator()(int k) const { return v_[static_cast<std::size_t>(k - 1)]; }
  Real& operator()(int k) { return v_[static_cast<std::size_t>(k - 1)]; }
  int Size() const { return static_cast<int>(v_.size()); }
  const std::vector<Real>& Values() const { return v_; }

 private:
  std::vector<Real> v_;
};

// The means of one variable in a table of its own, g x a, genotype by genotype, in 64 bits: what
// a run keeps of each variable's data once the storage has moved on to the next one, for the
// plots that draw the observed means beside a model's fitted values.
struct TObservedMeans {
  int g = 0, a = 0;
  std::vector<double> y;

  bool Empty() const { return y.empty(); }
  double operator()(int i, int j) const {
    return y[static_cast<std::size_t>(i - 1) * static_cast<std::size_t>(a) +
             static_cast<std::size_t>(j - 1)];
  }
};
TObservedMeans ObservedMeans(const TGxeMeans& means, int g, int a);

// The margins of the first g x a cells in their common form: MedGen(i) = sum_j Y(i, j)/a and
// MedAmb(j) = sum_i Y(i, j)/g, in extended precision, each term divided before it is added
// and the terms added in index order. Dividing first keeps the partial sums at the size of a
// mean; the printed means, and every figure formed from them, depend on both choices.
TIndexed<> GenotypeMeans(const TGxeMeans& means, int g, int a);
TIndexed<> EnvironmentMeans(const TGxeMeans& means, int g, int a);

// The margins in their common form with the grand mean the run accumulated from the records:
// what Wricke's ecovalence and the segmented models start from.
struct TMargins {
  TIndexed<> MedGen, MedAmb;
  double MediaGeral = 0;
  // The classic environmental index MedAmb(j) - MediaGeral (Finlay and Wilkinson 1963).
  long double Index(int j) const { return MedAmb(j) - MediaGeral; }
};
TMargins Margins(const TGxeMeans& means, int g, int a);

// The first g x a means as 64-bit reals, genotype by genotype (genotype i from (i - 1) a on),
// when every one of them is a 64-bit real exactly, as every value read from a table is; false
// otherwise. Arithmetic that converts each value of the copy back to extended precision gives
// the same results bit for bit as on the means themselves, and reads half the bytes.
bool ExactDoubleMeans(const TGxeMeans& means, int g, int a, std::vector<double>& out);

// The largest magnitude of the g x a means.
long double LargestMean(const TGxeMeans& means, int g, int a);

// The rounding noise of an interaction effect Y(i, j) - Ybar(i.) - Ybar(.j) + Ybar(..) formed
// with a grand mean held in 64 bits: a few units of double precision of the largest mean. An
// interaction sum of squares within r g a times its square is no interaction (additive data
// rarely give an exact 0), whatever the scale of the values.
long double InteractionNoise(const TGxeMeans& means, int g, int a);

// Genotype means as the running mean of the one-pass update (Welford 1962), m += (y - m)/j,
// in extended precision: the form Annicchiarico's analysis takes, where the mean rides along
// the update of the percentages' sum of squares. It can differ from GenotypeMeans in the last
// bit of the extended value.
TIndexed<> GenotypeRunningMeans(const TGxeMeans& means, int g, int a);

// The environment means accumulated in 64 bits, c = double(c + Y(i, j)/g): the values whose
// sum of squares is Lin and Binns' environment sum of squares.
TIndexed<double> EnvironmentMeansDouble(const TGxeMeans& means, int g, int a);

}  // namespace qv
