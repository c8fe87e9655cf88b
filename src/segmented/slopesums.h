// Least squares of the segmented models once their bends are fixed.
//
// With every junction (and, in the models that estimate it, the environmental index) held, each
// genotype's response is linear in its own intercept and slopes, and the genotypes are tied only
// by the two constraints on the sums of their slopes, sum b1(i) = sum b2(i) = g. The normal
// equations are then block diagonal with a border of two rows, and their solution is found from
// the genotypes' blocks and one 2 x 2 system for the two Lagrange multipliers mu:
//
//   beta(i) = H(i)^-1 (c(i) - E' mu),   (sum_i E H(i)^-1 E') mu = sum_i E H(i)^-1 c(i) - (g, g),
//
// with H(i) = X(i)'X(i), c(i) = X(i)'y(i) and E picking the two slopes out of beta(i). The residual
// sum of squares is then
//
//   SSE = sum_i [y(i)'y(i) - c(i)' H(i)^-1 c(i)] + mu' M mu,   M = sum_i E H(i)^-1 E',
//
// so that one genotype's block can be exchanged for another at the cost of a 2 x 2 solve: the
// profile scans (Hudson 1966, J. Amer. Statist. Assoc. 61: 1097-1129) try every place of one
// junction this way.
//
// Two designs for a genotype's block, on an index x (the classic index of Silva's models, the
// estimated U(j) of Toler's and of the Silva and Toler model):
//  - a junction x0 in place: a, b1, b2 with the cell on the lower line (x at or below x0) at
//    a + b1 x and above it at a + b1 x0 + b2 (x - x0), the segmented form of Silva (1998), which
//    spans the same broken lines as the modified form and, with x0 = 0, Toler's (1990) model;
//  - two free lines: alpha + b1 x below, gamma + b2 x above, whose crossing is the junction that
//    fits best within the interval the split of the cells allows, when it lies inside it.
#pragma once

#include <cstddef>
#include <vector>

#include "analysis/means.h"

namespace qv {

// A block's share of the totals of its genotypes: y'y - c'H^-1 c, E H^-1 c and E H^-1 E'.
struct TBlockTotals {
  long double r, v[2], M[2][2];
};

// What the crossing of a genotype's two free lines takes from their block: their share of the
// totals of the slopes, and the parts of beta = H^-1 (c - E' mu) that do not depend on the
// multipliers mu. The lines share no cross-products, so beta(p) has one term with the
// intercept of p's line and one with its slope.
struct TLinesTotals {
  long double v[2];      // E H^-1 c
  long double fixed[4];  // 0 + H^-1(p, o) c(o), o the intercept of p's line
  long double slope[4];  // H^-1(p, e), e the slope of p's line
  long double c[2];      // c of the two slopes
};

class TGenotypeBlock {
 public:
  friend class TSortedCells;
  // Junction x0 in place (three parameters) or two free lines (four).
  explicit TGenotypeBlock(bool twoLines = false) : n_(twoLines ? 4 : 3) {}

  void Add(long double y, long double x, long double x0, bool lower);
  // Inverts the block and forms its share of the totals; false when it is singular (a line
  // without cells, or without two distinct index values for a free line).
  bool Prepare();
  // The inversion alone, for a block whose totals do not matter (a design for PrepareWith);
  // false when it is singular.
  bool Invert();
  // Prepare for a genotype whose cells lie on the index of `design` (a prepared block of the same
  // kind) with the responses whose cross-products with the design are c and whose sum of
  // squares is yy: the same block as one formed cell by cell, without inverting the design
  // again. Where every genotype shares the index, only these totals differ between them.
  void PrepareWith(const TGenotypeBlock& design, const long double* c, long double yy);
  // For a block of two free lines: inverts it and forms what their crossing takes; false when
  // it is singular.
  bool PrepareLines(TLinesTotals& lines);
  // Once prepared.
  const TBlockTotals& Totals() const { return totals_; }

  int Size() const { return n_; }
  // The cross-products X'X (upper triangle, p <= q) and, once inverted, the inverse.
  long double CrossProduct(int p, int q) const { return H_[p][q]; }
  long double Inverse(int p, int q) const { return Hi_[p][q]; }
  // The positions of b1 and b2 in beta.
  int B1() const { return 1; }
  int B2() const { return n_ == 4 ? 3 : 2; }

 private:
  friend class TSlopeSums;
  void FormTotals();
  template <int N>
  void FormTotalsOf();
  int n_;
  long double H_[4][4] = {}, c_[4] = {}, yy_ = 0;
  long double Hi_[4][4] = {};
  TBlockTotals totals_{};
};

// One genotype's cells in the order of the index, with running sums, so that the block of any
// junction (the cells at or below it on the lower line) is formed at once: the scans try every
// place of a junction, and forming each block from its cells would cost a pass over them.
class TSortedCells {
 public:
  // x(1..a) the index, y(1..a) the genotype's responses; `order` lists 1..a by ascending x.
  void Assign(const long double* x, const long double* y, const std::vector<int>& order);
  // The block with the junction at x0 (or two free lines split at x0).
  TGenotypeBlock Block(long double x0, bool twoLines) const;
  // The number of cells at or below x0: the same for every genotype of one index.
  std::size_t Split(long double x0) const;
  // Block in place: the cross-products of `block` (of either kind) with the junction at x0, the
  // first `split` cells on the lower line; its inverse and totals are left to Prepare.
  void Fill(std::size_t split, long double x0, TGenotypeBlock& block) const;

 private:
  struct TSums {
    long double n = 0, x = 0, xx = 0, y = 0, xy = 0, yy = 0;
  };
  std::vector<long double> sortedX_;
  std::vector<TSums> running_;  // running_[k]: the first k cells in the order
};

// Every genotype's cells of `means`, each in the order of the index x(1..a) (x[0] unused);
// element 0 is unused.
std::vector<TSortedCells> SortedCellsOf(const TGxeMeans& means, int g, int a,
                                        const std::vector<long double>& x);

// The totals of the genotypes' blocks and the solution under sum b1 = sum b2 = target.
class TSlopeSums {
 public:
  explicit TSlopeSums(long double target) : target_(target) {}
  void Add(const TBlockTotals& block, int sign = 1);
  void Add(const TGenotypeBlock& block, int sign = 1) { Add(block.Totals(), sign); }
  void Remove(const TGenotypeBlock& block) { Add(block, -1); }
  // The residual sum of squares of the solution; false when the multipliers' system is singular.
  bool SSE(long double& sse) const;
  // SSE with a block's totals added to these.
  bool SSEWith(const TBlockTotals& block, long double& sse) const;
  // beta of a block (Size() values) in the solution of these totals.
  void Solution(const TGenotypeBlock& block, long double* beta) const;
  // With a genotype's block of two free lines added to these totals (the other genotypes'): the
  // junction where its two lines cross, when it lies strictly between lo and hi.
  bool Crossing(TGenotypeBlock lines, long double lo, long double hi, long double& at) const {
    TLinesTotals totals;
    return lines.PrepareLines(totals) && Crossing(totals, lo, hi, at);
  }
  bool Crossing(const TLinesTotals& lines, long double lo, long double hi, long double& at) const;

 private:
  bool Multipliers(long double* mu) const;
  long double target_;
  long double R_ = 0, M_[2][2] = {}, V_[2] = {};
};

}  // namespace qv
