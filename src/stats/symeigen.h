// All eigenvalues and eigenvectors of a real symmetric matrix, in extended precision.
//
// The one caller is the AMMI analysis, which decomposes the genotype-by-genotype cross-product
// of the interaction matrix and prints the eigenvectors exactly as they leave this routine, so
// the signs and the order of the printed vectors are a product of the sequence of
// transformations below. That sequence is therefore fixed here step by step and must not be
// replaced by a library routine, however good (LAPACK's dsteqr or Eigen's
// SelfAdjointEigenSolver would give the same subspaces with other signs).
//
// The method is the classical two-stage one:
//
//   1. Householder (1958) reduction to symmetric tridiagonal form T = V' A V, one reflection
//      P = I - 2 w w' per row, with V = P1 P2 ... accumulated explicitly
//      (Wilkinson 1965, The Algebraic Eigenvalue Problem, ch. 5; Golub & Van Loan,
//      Matrix Computations, 4th ed., sec. 8.3.1);
//   2. the QR algorithm of Francis (1961) and Kublanovskaya (1961) on T, with explicit
//      shifts, Givens rotations, deflation from the bottom and every rotation applied to V
//      (Golub & Van Loan sec. 8.3.3-8.3.5);
//   3. a stable sort of the eigenpairs into descending signed order.
//
// Everything runs in 80-bit extended precision (long double on x86-64).
//
// Usage: fill the upper triangle of A(i, j), j >= i (the lower triangle is never read), call
// Decompose(n), and on Success read Lambda(k) and column k of A: A(i, k), i = 1..n, is the unit
// eigenvector of Lambda(k). Indices are 1-based throughout, as in the literature.
//
// A caller that needs only the eigenvectors of the first few eigenvalues (AMMI prints at most
// four of 600) calls DecomposeLeading(n, vectors). The eigenvalues are the same, bit for bit;
// the transformations are the same, but instead of accumulating V = P1 P2 ... G1 G2 ... in full
// (n^3 work for the reflections and n per rotation, most of the cost of the decomposition), the
// Householder vectors and the rotations are kept and applied, last to first, to the unit
// vectors of the wanted columns: V e_k = P1 (P2 (... (G1 (G2 ... e_k)))). The products are
// associated the other way round, so the vectors agree with Decompose's to rounding (a few
// units in the 18th digit), with the same signs.
#pragma once

#include <cfloat>
#include <cstddef>
#include <vector>

#include "stats/splitextended.h"

static_assert(LDBL_MANT_DIG == 64, "the decomposition needs the 80-bit x87 extended format");

namespace qv {

// Largest order of the matrices the analyses decompose (genotypes of a table).
inline constexpr int kMaxEigenOrder = 600;

enum class EigenStatus {
  Success,
  // Every entry of the upper triangle is below 1e-10 in magnitude (for AMMI: purely additive
  // data). Nothing was computed or written: A and the eigenvalues hold what they held before.
  NullMatrix,
  // The QR iteration reached its sweep limit before every off-diagonal element deflated.
  // A and the eigenvalues then hold no result.
  NoConvergence,
  // n outside 1..MaxOrder(), a negative sweep limit, or an entry of the upper triangle that is
  // not finite or exceeds 1e2000 in magnitude (its square would come close to the end of the
  // extended exponent range). Refused before anything is written.
  InvalidInput,
};

// One solver owns the storage for decompositions of order up to maxOrder: the matrix A, the
// accumulated transformations and the reduction's working copy of A, three contiguous
// row-major blocks of (maxOrder + 1)^2 entries of 16 bytes (row 0 and column 0 unused, so that
// indices run from 1), plus a few vectors; about 17.4 MB for order 600. All of it is allocated by
// the constructor; Decompose allocates nothing. DecomposeLeading keeps its log of rotations besides
// (about 32 n^2 bytes, 11.5 MB at order 600, held until the next call). Keep one solver for the
// whole program session and reuse it.
class SymEigenSolver {
 public:
  // Sweep limit of Decompose(n): 30 QR sweeps per eigenvalue, the budget of LAPACK's xSTEQR
  // (MAXIT = 30). Shifted QR deflates an eigenvalue in two or three sweeps, so the limit only
  // matters for a matrix the iteration cannot handle; it replaces an endless loop with
  // NoConvergence.
  static constexpr int kSweepsPerEigenvalue = 30;

  explicit SymEigenSolver(int maxOrder = kMaxEigenOrder);

  int MaxOrder() const { return maxOrder_; }

  // Element (i, j) of the matrix, 1 <= i, j <= MaxOrder(). Before Decompose the upper triangle
  // holds the symmetric input; after Success column k holds the eigenvector of Lambda(k).
  long double& A(int i, int j) { return a_[Index(i, j)]; }
  long double A(int i, int j) const { return a_[Index(i, j)]; }

  // Decomposes the matrix of order n now in A, with at most kSweepsPerEigenvalue * n sweeps.
  EigenStatus Decompose(int n);
  // The same with an explicit limit on the number of QR sweeps (maxSweeps >= 0).
  EigenStatus Decompose(int n, int maxSweeps);
  // The eigenvalues, and the eigenvectors of the first `vectors` of them (0 <= vectors <= n):
  // after Success column k of A, k <= vectors, holds the eigenvector of Lambda(k), and the
  // other columns of A hold no result. InvalidInput for `vectors` out of range.
  EigenStatus DecomposeLeading(int n, int vectors);
  EigenStatus DecomposeLeading(int n, int vectors, int maxSweeps);

  // Eigenvalue k = 1..n after Success, in descending signed order: Lambda(1) >= ... >=
  // Lambda(n). Equal eigenvalues keep the order in which the iteration produced them.
  long double Lambda(int k) const { return lambda_[static_cast<std::size_t>(k)]; }

  // QR sweeps made by the last call of Decompose (0 for a matrix that is already diagonal).
  int Sweeps() const { return sweeps_; }

  // DecomposeLeading keeps at most this many rotations (32 bytes each); past it the iteration
  // is run again with the transformations accumulated in full, as Decompose does. The default,
  // 3 n^2 for order n, is above what two or three sweeps per eigenvalue make (about n^2).
  void LimitRotationLog(std::size_t rotations) { rotationLimit_ = rotations; }

  // The reduction normally keeps its trailing matrix as pairs of doubles, which give the same
  // numbers bit for bit as extended storage and are faster to load and store; this makes it
  // keep the extended storage throughout (to check the two against each other).
  void UseExtendedStorage(bool on) { extendedOnly_ = on; }

 private:
  std::size_t Index(int i, int j) const {
    return static_cast<std::size_t>(i) * stride_ + static_cast<std::size_t>(j);
  }
  long double* ARow(int i) { return a_.data() + Index(i, 0); }
  long double* VRow(int i) { return v_.data() + Index(i, 0); }

  // The reduction's working copy of A, split (see ReduceSplit).
  TSplit* HRow(int i) { return h_.data() + Index(i, 0); }
  template <class Cell>
  void ProductAw(const Cell* cells, int i, int n, const Cell* wCells, const long double* w,
                 long double* p) const;
  template <class Cell>
  void UpdateTrailing(Cell* cells, int from, int n, const Cell* wCells, const Cell* pCells,
                      const long double* w, const long double* p, long double kk) const;

  EigenStatus Run(int n, int maxSweeps, int vectors);
  void Tridiagonalize(int n);
  bool ReduceSplit(int n);
  void ReduceExtended(int n);
  void AccumulateReflections(int n);
  EigenStatus IterateQr(int n, int maxSweeps, bool accumulate);
  void Sort(int n);
  void StoreAccumulated(int n);
  void StoreLeading(int n, int vectors);

  int maxOrder_;
  std::size_t stride_;
  // The matrix; during the decomposition row i, i <= n - 2, keeps in columns i+1..n the
  // Householder vector w of step i (when reflected_(i)); then the eigenvectors.
  std::vector<long double> a_;
  std::vector<long double> v_;  // accumulated orthogonal transformations (Decompose only)
  // Tridiagonal form: diagonal d(1..n) and off-diagonal e(0..n), e(k) coupling rows k and
  // k+1, with e(0) = e(n) = 0.
  std::vector<long double> d_, e_;
  std::vector<long double> w_, p_;  // Householder vector and p = 2 A w
  // ReduceSplit's trailing matrix, and its vectors: the next step's w and p, and the split
  // copies that its inner loops read.
  std::vector<TSplit> h_;
  std::vector<long double> wNext_, pNextX_;
  std::vector<TSplit> wSplit_, pSplit_, wNextSplit_, pNextSplit_;
  std::vector<long double> c_, s_, z_;  // one QR sweep: rotations, second superdiagonal of R
  std::vector<long double> lambda_;
  std::vector<int> order_;       // column of V that holds the eigenvector of lambda_(k)
  std::vector<bool> reflected_;  // whether step i of the reduction reflected (alpha != 0)
  // The rotations of the QR sweeps, for DecomposeLeading: for each sweep the rows l and m of
  // its block, and (c(k), s(k)) for k = l..m-1 in rotationLog_, sweep after sweep.
  struct TSweepBlock {
    int l, m;
  };
  std::vector<TSweepBlock> sweepLog_;
  std::vector<long double> rotationLog_;
  bool logComplete_ = true;
  bool extendedOnly_ = false;
  std::size_t rotationLimit_ = 0;  // 0: 3 n^2
  int sweeps_ = 0;
};

}  // namespace qv
