// Generalized inverse of a symmetric matrix by the sweep operator, in place, one pivot at a
// time, on the upper triangle only.
//
// The segmented regression fits (Gauss-Newton with linear equality constraints) build the
// normal equations bordered by their constraint rows,
//
//          1 .. P      P+1 .. P+K
//        +-----------+-----------+
//        |           |           |      H = J'J, the normal matrix of the P parameters
//        |     H     |    B'     |      B = the K constraint rows (coefficients 0 or 1)
//        |           |           |
//        +-----------+-----------+      only the cells on and above the diagonal
//        |     B     |     0     |      are read or written
//        +-----------+-----------+
//
// and sweep it in WorkMat. Sweeping pivot k replaces the matrix by (Goodnight 1979)
//
//        a(k,k) <- 1 / d                      a(i,k) <- -a(i,k) / d
//        a(k,j) <-  a(k,j) / d                a(i,j) <-  a(i,j) - a(i,k) a(k,j) / d
//
// with d the old a(k,k). Sweeping every index of a nonsingular matrix leaves its inverse.
// After a sweep the matrix is antisymmetric between a swept and an unswept index, so the
// lower element is recovered from the stored upper one as
//
//        a(j,i) = PivotSign(i) PivotSign(j) a(i,j),   PivotSign = +1 unswept, -1 swept,
//
// which keeps the whole operator on the upper triangle.
//
// Singularity: a pivot whose diagonal has fallen below a threshold fixed when the inversion
// starts (1e-13 times the starting diagonal, or 1e-13 absolute for a diagonal of at most 1e-8)
// is numerically zero and is not swept; it is marked Aliased. The next pivot is always the
// first unswept index, counted from 1, whose diagonal passes its threshold; because the scan
// restarts after every sweep, an index skipped once is taken as soon as a later sweep makes its
// diagonal large enough. This is what inverts the bordered matrix above, whose border diagonal
// is zero: a border index becomes sweepable once parameters it constrains have been swept, and
// a parameter left undetermined by H alone becomes sweepable once its constraint is swept.
// When some indices stay aliased, the block of swept indices holds the inverse of their
// submatrix (a generalized inverse of the whole, once the aliased rows and columns are read as
// zero), and the aliased rows and columns keep the partially swept values the sweeps left in
// them.
//
// References: J. H. Goodnight (1979), A tutorial on the SWEEP operator, The American
// Statistician 33:149-158; K. Lange (1999), Numerical Analysis for Statisticians, Springer;
// the sweep routine of GNU PSPP (lib/linreg/sweep.c) for the upper-triangle bookkeeping.
//
// Arithmetic is 80-bit extended throughout (long double on x86-64). There is no failure
// report: a singular or nearly singular matrix yields aliased indices, and a pivot smaller
// than its threshold (at least 1e-13) is never divided by.
#pragma once

#include <array>
#include <cfloat>
#include <cstddef>
#include <vector>

static_assert(LDBL_MANT_DIG == 64, "the sweep needs the 80-bit x87 extended format");

namespace qv {

// Largest order of the bordered normal matrix (parameters plus constraints).
inline constexpr int MaxPar = 600;

// The storage of one inversion: the work matrix and the three side vectors, all indexed from
// 1 to MaxPar (index 0 unused). The caller fills WorkMat, calls GInverse (or InitSweep and
// SweepPivot itself), and reads the result from WorkMat and Aliased. The side vectors are reset
// by InitSweep and mean nothing between inversions; PivotTol may then serve as scratch space.
//
// The matrix is one contiguous row-major block of (MaxPar + 1)^2 extended reals (5.8 MB),
// allocated by the constructor; nothing is allocated afterwards. Keep one for the program
// session and reuse it.
class SweepStorage {
 public:
  SweepStorage();

  // Element (i, j), 1 <= i, j <= MaxPar. Only the cells with i <= j are read or written by
  // the sweep; the lower triangle may hold anything and is left unchanged.
  long double& WorkMat(int i, int j) { return workMat_[Index(i, j)]; }
  long double WorkMat(int i, int j) const { return workMat_[Index(i, j)]; }

  // +1 for an index not yet swept, -1 for a swept index.
  std::array<int, MaxPar + 1> PivotSign{};
  // Per index, the magnitude below which its diagonal counts as zero; fixed by InitSweep.
  std::array<long double, MaxPar + 1> PivotTol{};
  // True for an index found numerically zero; it is not swept in this inversion.
  std::array<bool, MaxPar + 1> Aliased{};

 private:
  friend void SweepPivot(SweepStorage& store, int k, int n);

  static constexpr std::size_t kStride = MaxPar + 1;
  static std::size_t Index(int i, int j) {
    return static_cast<std::size_t>(i) * kStride + static_cast<std::size_t>(j);
  }
  long double* Row(int i) { return workMat_.data() + Index(i, 0); }

  std::vector<long double> workMat_;
  std::array<long double, MaxPar + 1> pivotRow_{};  // row k of the symmetric matrix, per sweep
  std::array<int, MaxPar> pivotCols_{};             // the indices of its non-zero cells
};

// The preconditions below are programming errors: an order or pivot out of range throws
// std::out_of_range, NextPivot with every index swept throws std::logic_error.

// Prepares an inversion of the order-n matrix now in WorkMat (1 <= n <= MaxPar): every index
// unswept and not aliased, and the thresholds fixed from the diagonal as it now stands.
void InitSweep(SweepStorage& store, int n);

// Sweeps index k (1 <= k <= n). An unswept index whose diagonal is below its threshold is
// marked Aliased instead; an Aliased index is left alone.
void SweepPivot(SweepStorage& store, int k, int n);

// The index to sweep next: the first unswept index whose diagonal reaches its threshold. When
// there is none, every unswept index is marked Aliased and the largest of them is returned
// (sweeping it then changes nothing). Call it only while some index is unswept.
int NextPivot(SweepStorage& store, int n);

// The whole inversion: InitSweep(n), then n times SweepPivot(NextPivot(n), n).
void GInverse(SweepStorage& store, int n);

}  // namespace qv
