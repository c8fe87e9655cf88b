// The one-pass corrected sum of squares (Welford 1962; Chan, Golub and LeVeque 1983): a running
// mean m and sum S, both starting at 0; for the k-th value y (k = 1, 2, ...)
//
//   S <- S + (k - 1)/k (y - m)^2,      m <- m + (y - m)/k,
//
// after which S is the corrected sum of squares of the values and m their mean, without the
// cancellation of the textbook form sum y^2 - (sum y)^2 / n.
//
// Every sum of squares the program prints is formed by this update, but not always in the same
// way, and the variants are not interchangeable: the last printed digits of a sum of squares
// depend on the precision the running mean and sum are held in (each update is formed in 80-bit
// extended precision and rounded to the accumulator's type when stored) and on the order of the
// product in the update. Multiplying the weight into the difference first, ((k - 1)/k d) d,
// rounds once more on a different operand than (k - 1)/k (d d); the two results differ in the
// last bits of the extended value, which a 64-bit accumulator can carry into its own last bit.
// Each analysis keeps the variant its figures were checked with (by hand and against R), so the
// variants are named here, side by side, instead of being written out again in each method.
//
//   TJointAnovaSS       mean and sum 64-bit, ((k - 1)/k d) d: the joint analysis of variance of
//                       the regression methods and AMMI (analysis/jointanova.cpp).
//   TDoubleSS           mean and sum 64-bit, (k - 1)/k (d d): Lin and Binns' analysis of
//                       variance and the sums of squares of the means in Silva's models.
//   TExtendedSS         mean and sum 80-bit, (k - 1)/k (d d): the sums of squares of the means in
//                       Toler's models, Annicchiarico's percentages and the residual sums of the
//                       nonlinear fits.
//   TDoubleMeanSS       mean 64-bit, sum 80-bit, (k - 1)/k (d d): the residual sums of the fits
//                       that hold their running mean in 64 bits (Toler's simple linear model and
//                       Silva's models).
#pragma once

namespace qv {

// How the update multiplies the weight (k - 1)/k and the difference d = y - m.
enum class TSquareOrder {
  WeightFirst,  // ((k - 1)/k d) d
  SquareFirst,  // (k - 1)/k (d d)
};

template <typename MeanReal, typename SumReal, TSquareOrder order>
class TRunningSS {
 public:
  void Add(long double y) {
    ++k_;
    const long double d = y - mean_;
    const long double w = static_cast<long double>(k_ - 1) / static_cast<long double>(k_);
    if constexpr (order == TSquareOrder::WeightFirst) {
      sum_ = static_cast<SumReal>(sum_ + w * d * d);
    } else {
      sum_ = static_cast<SumReal>(sum_ + w * (d * d));
    }
    mean_ = static_cast<MeanReal>(mean_ + d / static_cast<long double>(k_));
  }

  SumReal SS() const { return sum_; }      // the corrected sum of squares so far
  MeanReal Mean() const { return mean_; }  // the mean so far
  long long Count() const { return k_; }

 private:
  MeanReal mean_ = 0;
  SumReal sum_ = 0;
  long long k_ = 0;
};

using TJointAnovaSS = TRunningSS<double, double, TSquareOrder::WeightFirst>;
using TDoubleSS = TRunningSS<double, double, TSquareOrder::SquareFirst>;
using TExtendedSS = TRunningSS<long double, long double, TSquareOrder::SquareFirst>;
using TDoubleMeanSS = TRunningSS<double, long double, TSquareOrder::SquareFirst>;

}  // namespace qv
