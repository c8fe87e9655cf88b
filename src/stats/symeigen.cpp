// Symmetric eigen decomposition: Householder tridiagonalisation, explicitly shifted QR,
// stable descending sort. See symeigen.h for the references and why the sequence of
// operations is fixed.
//
// Notes on the arithmetic, which every loop below keeps:
// - Each sum is accumulated in ascending index order in one long double, and each update is
//   evaluated left to right as written, so that the rounding, and with it the signs of the
//   printed vectors, does not depend on the compiler (x87 has no fused multiply-add, and ISO
//   C++ mode does not contract expressions).
// - Loops that the textbook writes column-wise are traversed row by row over the row-major
//   storage, without changing the order in which any single element or sum is updated. For
//   order 600 a column walk touches a new cache line on every step; the row walk streams.
#include "stats/symeigen.h"

#include <algorithm>
#include <cfenv>
#include <cmath>
#include <cstddef>
#include <stdexcept>
#include <utility>

namespace qv {

namespace {

// Below this every entry counts as zero and the matrix is not decomposed.
constexpr long double kNullEntry = 1e-10L;
// Larger entries are refused: their squares, summed over a row, must stay finite.
constexpr long double kLargestEntry = 1e2000L;
// Deflation tolerance: relative to the norm of T, with an absolute floor.
constexpr long double kRelativeTolerance = 2.5e-14L;
constexpr long double kToleranceFloor = 1e-11L;
// DecomposeLeading logs at most this many rotations times n^2 unless told otherwise
// (LimitRotationLog).
constexpr std::size_t kLoggedRotationsPerOrderSquared = 3;

}  // namespace

SymEigenSolver::SymEigenSolver(int maxOrder) : maxOrder_(maxOrder) {
  if (maxOrder < 1) throw std::invalid_argument("SymEigenSolver: order must be at least 1");
  const auto size = static_cast<std::size_t>(maxOrder) + 1;
  stride_ = size;
  a_.assign(size * size, 0.0L);
  v_.assign(size * size, 0.0L);
  h_.assign(size * size, TSplit{0.0, 0.0});
  for (auto* vec : {&d_, &e_, &w_, &p_, &wNext_, &pNextX_, &c_, &s_, &z_, &lambda_})
    vec->assign(size, 0.0L);
  for (auto* vec : {&wSplit_, &pSplit_, &wNextSplit_, &pNextSplit_})
    vec->assign(size, TSplit{0.0, 0.0});
  order_.assign(size, 0);
  reflected_.assign(size, false);
}

EigenStatus SymEigenSolver::Decompose(int n) {
  if (n < 1 || n > maxOrder_) return EigenStatus::InvalidInput;
  return Run(n, kSweepsPerEigenvalue * n, n);
}

EigenStatus SymEigenSolver::Decompose(int n, int maxSweeps) {
  return Run(n, maxSweeps, n);
}

EigenStatus SymEigenSolver::DecomposeLeading(int n, int vectors) {
  if (n < 1 || n > maxOrder_) return EigenStatus::InvalidInput;
  return DecomposeLeading(n, vectors, kSweepsPerEigenvalue * n);
}

EigenStatus SymEigenSolver::DecomposeLeading(int n, int vectors, int maxSweeps) {
  if (vectors < 0 || vectors > n) return EigenStatus::InvalidInput;
  return Run(n, maxSweeps, vectors);
}

// vectors == n: every eigenvector, V accumulated in full. vectors < n: the rotations are logged
// and applied afterwards to the wanted columns only. Should the log outgrow its budget (a
// matrix that needs far more sweeps than usual), the iteration is run again from the same
// tridiagonal matrix with V accumulated, which gives what Decompose gives.
EigenStatus SymEigenSolver::Run(int n, int maxSweeps, int vectors) {
  sweeps_ = 0;
  if (n < 1 || n > maxOrder_ || maxSweeps < 0) return EigenStatus::InvalidInput;

  // Refuse what cannot be iterated, then the null test: a matrix whose upper triangle is zero
  // to 1e-10 has no decomposition worth reporting, and nothing is written.
  bool isNull = true;
  for (int i = 1; i <= n; ++i) {
    const long double* ai = ARow(i);
    for (int j = i; j <= n; ++j) {
      const long double x = std::fabs(ai[j]);
      if (!std::isfinite(x) || x > kLargestEntry) return EigenStatus::InvalidInput;
      if (x >= kNullEntry) isNull = false;
    }
  }
  if (isNull) return EigenStatus::NullMatrix;

  lambda_[1] = A(1, 1);
  if (n == 1) {
    A(1, 1) = 1.0L;  // the eigenvector of a 1 x 1 matrix: the identity's one column
    return EigenStatus::Success;
  }

  Tridiagonalize(n);
  bool accumulate = vectors == n;
  std::vector<long double> d0, e0;
  if (!accumulate) {
    d0.assign(d_.begin(), d_.begin() + n + 1);
    e0.assign(e_.begin(), e_.begin() + n + 1);
  } else {
    AccumulateReflections(n);
  }
  EigenStatus status = IterateQr(n, maxSweeps, accumulate);
  if (status == EigenStatus::Success && !accumulate && !logComplete_) {
    std::copy(d0.begin(), d0.end(), d_.begin());
    std::copy(e0.begin(), e0.end(), e_.begin());
    sweeps_ = 0;
    accumulate = true;
    AccumulateReflections(n);
    status = IterateQr(n, maxSweeps, accumulate);
  }
  if (status != EigenStatus::Success) return status;
  Sort(n);
  if (accumulate) {
    StoreAccumulated(n);
  } else {
    StoreLeading(n, vectors);
  }
  return EigenStatus::Success;
}

// Householder reduction: for each row i the reflection P = I - 2 w w' maps a(i, i+1..n) onto
// e(i) times the first unit vector, with e(i) of the sign opposite to a(i, i+1) so that
// w(i+1) = sqrt((1 - t/alpha) / 2) >= sqrt(1/2) never cancels (Wilkinson 1965, ch. 5 sec. 29).
// The trailing block becomes P A P = A - w p' - p w' + K w w' with p = 2 A w and K = 2 w'p,
// updated on its upper triangle only. Row i is not read again once its step is done: it keeps
// w for AccumulateReflections and StoreLeading.
//
// Two implementations give the same numbers bit for bit. ReduceSplit is the fast one; where it
// cannot hold a value exactly it gives up before touching A, and ReduceExtended, the plain form
// of the same steps, runs instead.
void SymEigenSolver::Tridiagonalize(int n) {
  if (extendedOnly_ || !ReduceSplit(n)) ReduceExtended(n);
}

namespace {

// The steps of the reduction on a pair of rows j, j+1 of the trailing matrix (a0, a1: the rows,
// upper triangle from column j), in either storage of the matrix: Cell is a long double or its
// split, and so are the vectors' copies wCells and pCells and the running sums p of a product.

// Their terms of p = 2 A w. p(j) = 2 (sum_{k<=j} a(k,j) w(k) + sum_{k>j} a(j,k) w(k)), one
// running sum per j in ascending k: row k supplies term k of every p(j), j > k (the column
// part), and then completes p(k) with its own row part. The two row sums run side by side and
// each w(j) and p(j) is read once for both; every sum still receives its terms one by one in
// ascending order.
template <class Cell, class PCell>
void AddRowPairToProduct(const Cell* a0, const Cell* a1, int j, int n, const Cell* wCells,
                         const long double* w, PCell* p) {
  const long double w0 = w[j];
  const long double w1 = w[j + 1];
  long double sum0 = Load(p[j]) + Load(a0[j]) * w0;
  sum0 += Load(a0[j + 1]) * w1;
  Store(p[j + 1], Load(p[j + 1]) + Load(a0[j + 1]) * w0);
  long double sum1 = Load(p[j + 1]) + Load(a1[j + 1]) * w1;
  for (int k = j + 2; k <= n; ++k) {
    const long double wk = Load(wCells[k]);
    const long double x0 = Load(a0[k]);
    const long double x1 = Load(a1[k]);
    sum0 += x0 * wk;
    sum1 += x1 * wk;
    Store(p[k], (Load(p[k]) + x0 * w0) + x1 * w1);
  }
  Store(p[j], 2.0L * sum0);
  Store(p[j + 1], 2.0L * sum1);
}

// Row n's term of p(n), when it is left without a partner.
template <class Cell, class PCell>
void AddLastRowToProduct(const Cell* an, int n, const long double* w, PCell* p) {
  Store(p[n], 2.0L * (Load(p[n]) + Load(an[n]) * w[n]));
}

// a(j, k) -= w(j) p(k) + (p(j) - K w(j)) w(k) on the pair's upper triangle; each p(k) and w(k)
// is read once for both rows.
template <class Cell>
void UpdateRowPair(Cell* a0, Cell* a1, int j, int n, const Cell* wCells, const Cell* pCells,
                   const long double* w, const long double* p, long double kk) {
  const long double w0 = w[j];
  const long double w1 = w[j + 1];
  const long double g0 = p[j] - kk * w0;
  const long double g1 = p[j + 1] - kk * w1;
  Store(a0[j], Load(a0[j]) - w0 * p[j] - g0 * w[j]);
  for (int k = j + 1; k <= n; ++k) {
    const long double pk = Load(pCells[k]);
    const long double wk = Load(wCells[k]);
    Store(a0[k], Load(a0[k]) - w0 * pk - g0 * wk);
    Store(a1[k], Load(a1[k]) - w1 * pk - g1 * wk);
  }
}

template <class Cell>
void UpdateLastRow(Cell* an, int n, const long double* w, const long double* p, long double kk) {
  Store(an[n], Load(an[n]) - w[n] * p[n] - (p[n] - kk * w[n]) * w[n]);
}

}  // namespace

// p = 2 A w for step i of the reduction, on the trailing matrix held in `cells`.
template <class Cell>
void SymEigenSolver::ProductAw(const Cell* cells, int i, int n, const Cell* wCells,
                               const long double* w, long double* p) const {
  for (int j = i + 1; j <= n; ++j) p[j] = 0.0L;
  int k = i + 1;
  for (; k + 1 <= n; k += 2) {
    AddRowPairToProduct(cells + Index(k, 0), cells + Index(k + 1, 0), k, n, wCells, w, p);
  }
  if (k == n) AddLastRowToProduct(cells + Index(n, 0), n, w, p);
}

// The update of rows from..n of the trailing matrix held in `cells`.
template <class Cell>
void SymEigenSolver::UpdateTrailing(Cell* cells, int from, int n, const Cell* wCells,
                                    const Cell* pCells, const long double* w, const long double* p,
                                    long double kk) const {
  int j = from;
  for (; j + 1 <= n; j += 2) {
    UpdateRowPair(cells + Index(j, 0), cells + Index(j + 1, 0), j, n, wCells, pCells, w, p, kk);
  }
  if (j == n) UpdateLastRow(cells + Index(n, 0), n, w, p, kk);
}

void SymEigenSolver::ReduceExtended(int n) {
  std::vector<long double>& d = d_;
  std::vector<long double>& e = e_;
  std::vector<long double>& w = w_;
  std::vector<long double>& p = p_;

  for (int i = 1; i <= n - 2; ++i) {
    long double* ai = ARow(i);
    d[i] = ai[i];

    long double sumSq = 0.0L;
    for (int k = i + 1; k <= n; ++k) sumSq += ai[k] * ai[k];
    long double alpha = std::sqrt(sumSq);
    const long double t = ai[i + 1];
    if (t > 0.0L) alpha = -alpha;
    e[i] = alpha;
    reflected_[static_cast<std::size_t>(i)] = alpha != 0.0L;
    if (alpha == 0.0L) continue;  // the row is already reduced

    w[i + 1] = std::sqrt((1.0L - t / alpha) * 0.5L);
    const long double denom = 2.0L * alpha * w[i + 1];
    for (int k = i + 2; k <= n; ++k) w[k] = -ai[k] / denom;

    ProductAw(a_.data(), i, n, w.data(), w.data(), p.data());
    long double pw = 0.0L;
    for (int k = i + 1; k <= n; ++k) pw += p[k] * w[k];
    const long double kk = 2.0L * pw;
    UpdateTrailing(a_.data(), i + 1, n, w.data(), p.data(), w.data(), p.data(), kk);

    for (int k = i + 1; k <= n; ++k) ai[k] = w[k];
  }

  d[n - 1] = A(n - 1, n - 1);
  d[n] = A(n, n);
  e[n - 1] = A(n - 1, n);
  e[0] = 0.0L;
  e[n] = 0.0L;
}

// The same reduction with the trailing matrix held as pairs of doubles (stats/splitextended.h).
//
// Why: the reduction reads and writes the trailing matrix about n^3/3 times, and the 80-bit
// loads and stores are what its time went to. The arithmetic is unchanged: every operand is
// rebuilt exactly in an extended register and every sum and update takes the operations of
// ReduceExtended in the same order. Whether a split lost anything is read from the
// floating-point flags: overflow, or underflow with bits lost, of a conversion raises them (so
// may, harmlessly, the arithmetic itself), and then the reduction is abandoned (A has not been
// touched) and ReduceExtended runs.
// The one thing a split does not keep is the sign of a zero (-0 comes back as +0). A negative
// zero in A sends the matrix to ReduceExtended at once. Otherwise no entry of the trailing
// matrix, no p and no running sum is ever -0 (each starts from a +0 or a nonzero entry, and a
// rounded sum or difference is -0 only when both of its terms are), and w, which may hold a -0,
// enters only as a factor of terms added to such values, where a zero term of either sign
// leaves the value as it is.
//
// Besides, each step's update of the trailing matrix is fused with the product A w of the next
// step (the two passes over the matrix of the textbook become one, as in LAPACK's xSYTRD, but
// without its deferred updates, which would reorder the sums): the next reflection is formed
// from row i+1 as soon as that row is updated, and each later pair of rows, once updated, adds
// its terms to the running sums of the next p (while the pair is still in the nearest cache) in
// the order the separate product would add them.
//
// The Householder vectors are kept in V's rows (V is not formed yet) and the two blocks are
// exchanged at the end, so that they end up in A's rows as ReduceExtended leaves them.
bool SymEigenSolver::ReduceSplit(int n) {
  for (int i = 1; i <= n; ++i) {
    const long double* ai = ARow(i);
    for (int j = i; j <= n; ++j) {
      if (ai[j] == 0.0L && std::signbit(ai[j])) return false;
    }
  }
  // The caller's flags are put back as they were; the barrier keeps the first conversion
  // after the clearing (and, at the end, the last one before the test).
  std::fexcept_t callerFlags;
  std::fegetexceptflag(&callerFlags, FE_OVERFLOW | FE_UNDERFLOW);
  std::feclearexcept(FE_OVERFLOW | FE_UNDERFLOW);
  asm volatile("" ::: "memory");
  for (int i = 1; i <= n; ++i) {
    const long double* ai = ARow(i);
    TSplit* hi = HRow(i);
    for (int j = i; j <= n; ++j) Put(hi[j], ai[j]);
  }

  std::vector<long double>& d = d_;
  std::vector<long double>& e = e_;
  long double* w = w_.data();
  long double* p = p_.data();
  long double* wNext = wNext_.data();
  long double* pNextX = pNextX_.data();
  TSplit* wS = wSplit_.data();
  TSplit* pS = pSplit_.data();
  TSplit* wNextS = wNextSplit_.data();
  TSplit* pNext = pNextSplit_.data();

  // Forms the reflection of row i from its current values into wv; false when the row is
  // already reduced.
  auto form = [&](int i, long double* wv) {
    const TSplit* hi = HRow(i);
    d[i] = Join(hi[i]);
    long double sumSq = 0.0L;
    for (int k = i + 1; k <= n; ++k) {
      const long double x = Join(hi[k]);
      sumSq += x * x;
    }
    long double alpha = std::sqrt(sumSq);
    const long double t = Join(hi[i + 1]);
    if (t > 0.0L) alpha = -alpha;
    e[i] = alpha;
    reflected_[static_cast<std::size_t>(i)] = alpha != 0.0L;
    if (alpha == 0.0L) return false;
    wv[i + 1] = std::sqrt((1.0L - t / alpha) * 0.5L);
    const long double denom = 2.0L * alpha * wv[i + 1];
    for (int k = i + 2; k <= n; ++k) wv[k] = -Join(hi[k]) / denom;
    return true;
  };

  bool formed = false;  // step i's reflection was formed during step i-1
  bool haveP = false;   // and its p as well
  for (int i = 1; i <= n - 2; ++i) {
    if (!formed && !form(i, w)) {
      haveP = false;
      continue;
    }
    formed = false;
    if (!reflected_[static_cast<std::size_t>(i)]) {
      haveP = false;
      continue;
    }
    for (int k = i + 1; k <= n; ++k) Put(wS[k], w[k]);

    if (!haveP) {
      ProductAw(h_.data(), i, n, wS, w, p);
      for (int k = i + 1; k <= n; ++k) Put(pS[k], p[k]);
    }

    long double pw = 0.0L;
    for (int k = i + 1; k <= n; ++k) pw += p[k] * w[k];
    const long double kk = 2.0L * pw;

    // Row i+1 first: the next reflection is formed from it.
    {
      TSplit* a0 = HRow(i + 1);
      const long double w0 = w[i + 1];
      const long double g0 = p[i + 1] - kk * w0;
      Put(a0[i + 1], Join(a0[i + 1]) - w0 * p[i + 1] - g0 * w[i + 1]);
      for (int k = i + 2; k <= n; ++k) {
        Put(a0[k], Join(a0[k]) - w0 * Join(pS[k]) - g0 * Join(wS[k]));
      }
    }
    const bool fuse = i + 1 <= n - 2 && form(i + 1, wNext);
    formed = i + 1 <= n - 2;
    haveP = fuse;
    if (fuse) {
      for (int k = i + 2; k <= n; ++k) {
        Put(wNextS[k], wNext[k]);
        pNext[k] = TSplit{0.0, 0.0};
      }
      // Rows i+2..n two at a time: the update of step i, then the pair's terms of the next
      // p, which reads the pair's rows again while they are in the nearest cache.
      int j = i + 2;
      for (; j + 1 <= n; j += 2) {
        TSplit* a0 = HRow(j);
        TSplit* a1 = HRow(j + 1);
        UpdateRowPair(a0, a1, j, n, wS, pS, w, p, kk);
        AddRowPairToProduct<TSplit, TSplit>(a0, a1, j, n, wNextS, wNext, pNext);
      }
      if (j == n) {
        UpdateLastRow(HRow(n), n, w, p, kk);
        AddLastRowToProduct<TSplit, TSplit>(HRow(n), n, wNext, pNext);
      }
      for (int k = i + 2; k <= n; ++k) pNextX[k] = Join(pNext[k]);
    } else {
      UpdateTrailing(h_.data(), i + 2, n, wS, pS, w, p, kk);
    }

    long double* vi = VRow(i);
    for (int k = i + 1; k <= n; ++k) vi[k] = w[k];
    std::swap(w, wNext);
    std::swap(wS, wNextS);
    std::swap(p, pNextX);
    std::swap(pS, pNext);
  }

  d[n - 1] = Join(HRow(n - 1)[n - 1]);
  d[n] = Join(HRow(n)[n]);
  e[n - 1] = Join(HRow(n - 1)[n]);
  e[0] = 0.0L;
  e[n] = 0.0L;
  asm volatile("" ::: "memory");
  const bool lost = std::fetestexcept(FE_OVERFLOW | FE_UNDERFLOW) != 0;
  std::fesetexceptflag(&callerFlags, FE_OVERFLOW | FE_UNDERFLOW);
  if (lost) return false;
  a_.swap(v_);
  return true;
}

// V = P1 P2 ... P(n-2), formed row by row from the identity: each row of V is transformed on
// its own, so forming V after the reduction gives every element the operations it would have
// had with V updated inside each step of the reduction.
void SymEigenSolver::AccumulateReflections(int n) {
  for (int r = 1; r <= n; ++r) {
    long double* vr = VRow(r);
    for (int k = 1; k <= n; ++k) vr[k] = (r == k) ? 1.0L : 0.0L;
  }
  for (int i = 1; i <= n - 2; ++i) {
    if (!reflected_[static_cast<std::size_t>(i)]) continue;
    const long double* w = ARow(i);
    for (int r = 1; r <= n; ++r) {
      long double* vr = VRow(r);
      long double sum = 0.0L;
      for (int k = i + 1; k <= n; ++k) sum += vr[k] * w[k];
      const long double q = 2.0L * sum;
      for (int k = i + 1; k <= n; ++k) vr[k] = vr[k] - q * w[k];
    }
  }
}

// Shifted QR on the tridiagonal T (Francis 1961; Kublanovskaya 1961). The shift comes from the
// trailing 2 x 2 block: its eigenvalues mu1 (larger magnitude) and mu2 = det / mu1. A shift is
// taken only once the estimate sigma has settled to within half of itself, so the first sweep
// is always unshifted; sigma is not reset when an eigenvalue deflates. Each sweep factors
// T - tau I = Q R by Givens rotations (R has two superdiagonals: e and z), forms R Q + tau I
// and applies the rotations to V (accumulate) or logs them (logComplete_ false when the log
// outgrew its budget and was given up).
EigenStatus SymEigenSolver::IterateQr(int n, int maxSweeps, bool accumulate) {
  std::vector<long double>& d = d_;
  std::vector<long double>& e = e_;
  std::vector<long double>& c = c_;
  std::vector<long double>& s = s_;
  std::vector<long double>& z = z_;

  const std::size_t nn = static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
  const std::size_t logBudget =
      2 * (rotationLimit_ > 0 ? rotationLimit_ : kLoggedRotationsPerOrderSquared * nn);
  sweepLog_.clear();
  rotationLog_.clear();
  logComplete_ = true;
  if (!accumulate) rotationLog_.reserve(2 * nn);

  long double norm = 0.0L;
  for (int i = 1; i <= n; ++i) {
    const long double rowSum = std::fabs(d[i]) + std::fabs(e[i - 1]) + std::fabs(e[i]);
    if (rowSum > norm) norm = rowSum;
  }
  long double eps = kRelativeTolerance * norm;
  if (eps < kToleranceFloor) eps = kToleranceFloor;

  long double sigma = 0.0L;
  int m = n;
  while (m > 0) {
    if (std::fabs(e[m - 1]) < eps) {
      lambda_[m] = d[m];
      --m;
      continue;
    }
    if (sweeps_ >= maxSweeps) return EigenStatus::NoConvergence;
    ++sweeps_;

    // Top of the unreduced block; e(0) = 0 stops the scan. A NaN stops it too, and then never
    // deflates: the sweep limit ends that case.
    int top = m - 2;
    while (std::fabs(e[top]) >= eps) --top;
    const int l = top + 1;

    const long double a2 = d[m - 1];
    const long double b2 = e[m - 1];
    const long double c2 = d[m];
    const long double tr = a2 + c2;
    const long double det = a2 * c2 - b2 * b2;
    const long double disc = std::sqrt((a2 - c2) * (a2 - c2) + 4.0L * b2 * b2);
    // |mu1| >= disc / 2 >= |b2| >= eps > 0, so the division is safe.
    const long double mu1 = (tr >= 0.0L) ? (tr + disc) / 2.0L : (tr - disc) / 2.0L;
    const long double mu2 = det / mu1;
    long double tau;
    if (std::fabs(mu2 - sigma) < 0.5L * std::fabs(mu2)) {
      tau = mu2;
      sigma = mu2;
    } else if (std::fabs(mu1 - sigma) < 0.5L * std::fabs(mu1)) {
      tau = mu1;
      sigma = mu1;
    } else {
      tau = 0.0L;
      sigma = mu2;
    }

    // T - tau I = Q R. x carries the subdiagonal element the next rotation annihilates;
    // h > 0 because |x| >= eps inside an unreduced block.
    d[l] = d[l] - tau;
    long double x = e[l];
    for (int k = l; k <= m - 1; ++k) {
      const long double a = d[k];
      const long double b = d[k + 1] - tau;
      const long double r = e[k];
      const long double h = std::sqrt(a * a + x * x);
      c[k] = a / h;
      s[k] = x / h;
      d[k] = h;
      d[k + 1] = -s[k] * r + c[k] * b;
      e[k] = c[k] * r + s[k] * b;
      x = e[k + 1];
      e[k + 1] = c[k] * x;
      z[k] = s[k] * x;
    }
    z[l - 1] = 0.0L;
    e[l - 1] = 0.0L;

    // R Q + tau I.
    for (int k = l; k <= m - 1; ++k) {
      const long double ck = c[k];
      const long double sk = s[k];
      const long double a = d[k];
      const long double b = e[k];
      e[k - 1] = e[k - 1] * ck + z[k - 1] * sk;
      d[k] = a * ck + b * sk + tau;
      e[k] = -a * sk + b * ck;
      d[k + 1] = d[k + 1] * ck;
    }
    d[m] = d[m] + tau;

    if (accumulate) {
      // V = V G(l) ... G(m-1): rotation k mixes columns k and k+1. Applying the whole sweep
      // one row at a time gives every element the same sequence of operations as applying
      // each rotation to all rows in turn, and reads V once per sweep instead of once per
      // rotation.
      for (int row = 1; row <= n; ++row) {
        long double* vr = VRow(row);
        long double vk = vr[l];
        for (int k = l; k <= m - 1; ++k) {
          const long double vk1 = vr[k + 1];
          vr[k] = vk * c[k] + vk1 * s[k];
          vk = -vk * s[k] + vk1 * c[k];
        }
        vr[m] = vk;
      }
    } else if (logComplete_) {
      if (rotationLog_.size() + 2 * static_cast<std::size_t>(m - l) > logBudget) {
        logComplete_ = false;
        sweepLog_ = {};
        rotationLog_ = {};
      } else {
        sweepLog_.push_back({l, m});
        for (int k = l; k <= m - 1; ++k) {
          rotationLog_.push_back(c[k]);
          rotationLog_.push_back(s[k]);
        }
      }
    }
  }
  return EigenStatus::Success;
}

// Bubble sort into descending order: adjacent pairs are exchanged only when strictly
// increasing, so equal eigenvalues keep their order. The exchanges are made on the column
// numbers; the columns are moved once, when they are stored.
void SymEigenSolver::Sort(int n) {
  for (int k = 1; k <= n; ++k) order_[k] = k;
  bool swapped = true;
  while (swapped) {
    swapped = false;
    for (int k = 1; k <= n - 1; ++k) {
      if (lambda_[k] < lambda_[k + 1]) {
        std::swap(lambda_[k], lambda_[k + 1]);
        std::swap(order_[k], order_[k + 1]);
        swapped = true;
      }
    }
  }
}

void SymEigenSolver::StoreAccumulated(int n) {
  for (int r = 1; r <= n; ++r) {
    long double* ar = ARow(r);
    const long double* vr = VRow(r);
    for (int k = 1; k <= n; ++k) ar[k] = vr[order_[k]];
  }
}

// Column k of V for k = 1..vectors: the unit vector of its column before the sort, taken
// through the rotations in reverse (the transpose of the forward step: rotation k of a sweep
// maps (x(k), x(k+1)) to (c x(k) - s x(k+1), s x(k) + c x(k+1))) and then through the
// reflections P(n-2), ..., P1, each x - 2 (w'x) w. The columns are built in V's storage and then
// written into A, whose rows hold the Householder vectors until then.
void SymEigenSolver::StoreLeading(int n, int vectors) {
  for (int col = 1; col <= vectors; ++col) {
    long double* x = VRow(col);
    for (int k = 1; k <= n; ++k) x[k] = 0.0L;
    x[order_[col]] = 1.0L;
    std::size_t next = rotationLog_.size();
    for (std::size_t b = sweepLog_.size(); b-- > 0;) {
      // Rotation k's new x(k) is what rotation k-1 reads as x(k): it is carried, not stored and
      // loaded again.
      const TSweepBlock block = sweepLog_[b];
      long double carried = x[block.m];
      for (int k = block.m - 1; k >= block.l; --k) {
        next -= 2;
        const long double c = rotationLog_[next];
        const long double s = rotationLog_[next + 1];
        const long double xk = x[k];
        const long double xk1 = carried;
        carried = xk * c - xk1 * s;
        x[k + 1] = xk * s + xk1 * c;
      }
      x[block.l] = carried;
    }
    for (int i = n - 2; i >= 1; --i) {
      if (!reflected_[static_cast<std::size_t>(i)]) continue;
      const long double* w = ARow(i);
      long double sum = 0.0L;
      for (int k = i + 1; k <= n; ++k) sum += w[k] * x[k];
      const long double q = 2.0L * sum;
      for (int k = i + 1; k <= n; ++k) x[k] = x[k] - q * w[k];
    }
  }
  for (int r = 1; r <= n; ++r) {
    long double* ar = ARow(r);
    for (int col = 1; col <= vectors; ++col) ar[col] = VRow(col)[r];
  }
}

}  // namespace qv
