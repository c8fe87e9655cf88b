// ProbF, ProbFPeizerPratt and their helpers ProbFViaT, LnGamma, StirlingTail and PeizerPrattG:
// the F distribution function.
#include <algorithm>
#include <cmath>
#include <limits>

#include "stats/genztqf.h"

namespace qv {
namespace {

constexpr long double NaN = std::numeric_limits<long double>::quiet_NaN();

void SetStatus(ProbStatus* status, ProbStatus value) {
  if (status != nullptr) {
    *status = value;
  }
}

// Peizer and Pratt's approximation for valid degrees of freedom; see ProbFPeizerPratt.
long double PeizerPratt(int df1, int df2, long double f) {
  // At f = 0 the formula divides by p = 0; a ratio of 0 or less is moved to a tiny positive
  // value, where the probability is 0 for all practical purposes.
  if (f <= 0) {
    f = 1E-11L;
  }
  if (std::isinf(f)) {
    return 1;
  }
  // With one degree of freedom on either side F is the square of a t variable, whose
  // distribution function ProbT has in closed form or far more accurately.
  if (df1 == 1 || df2 == 1) {
    return detail::ProbFViaT(df1, df2, f);
  }
  const long double m = df1;
  const long double n = df2;
  // In Peizer and Pratt's binomial terms P(F <= f) is the chance of at most n/2 - 1 successes
  // in s = (m + n)/2 - 1 trials of success probability q; b and a are the numbers of successes
  // and failures, each plus one half.
  const long double q = n / (m * f + n);
  const long double p = 1 - q;
  const long double s = (m + n - 2) / 2;
  const long double b = (n - 1) / 2;
  const long double a = (m - 1) / 2;
  const long double d =
      (b + 1.0L / 6) - (s + 1.0L / 3) * q + 0.04L * (p / n - q / m + (p + 0.5L) / (m + n));
  const long double g1 = detail::PeizerPrattG(b / s / q);
  const long double g2 = detail::PeizerPrattG(a / s / p);
  const long double z = d * std::sqrt((1 + p * g1 + q * g2) / ((s + 1.0L / 6) * q * p));
  return ProbNormal(z);
}

// ln Gamma(b + k) - ln Gamma(b), for b > 0 and a whole k >= 0. For b >= 16 by the difference of
// Stirling's series written so that nothing large cancels, (b - 1/2) log1p(k/b) +
// k (ln(b + k) - 1) + R(b + k) - R(b), R(x) = x StirlingTail(x^2) (its error, below
// 1/(1188 b^9), is under 2e-14 there); with b = 359,400 each ln Gamma is about 4e6 and their
// plain difference would lose 13 digits of the 19. Below 16 the two values are small enough
// to subtract as they are.
long double LogGammaRise(long double b, long double k) {
  if (b < 16) {
    return std::lgamma(b + k) - std::lgamma(b);
  }
  const long double x = b + k;
  return (b - 0.5L) * std::log1p(k / b) + k * (std::log(x) - 1) +
         (x * detail::StirlingTail(x * x) - b * detail::StirlingTail(b * b));
}

// The finite part of ProbF's series when its terms climb to a huge peak: with many degrees of
// freedom on the side of qq (the pooled residual df of a large trial) and a large F, the terms
// t(k) = prod_{i=1..k} (qq - i) rx / (pp + i) rise from t(0) = 1 to a peak of e^5000 or more
// thousands of terms later and fall back to the stopping tolerance 5e-6 as many terms after it.
// Only the terms within 2^-80 of the peak reach the sum's 64 bits. They are summed outward from
// the peak, on the peak's scale, and the peak's size is taken from ln Gamma (the product above
// is a ratio of Gamma functions): a few hundred terms (about 10 standard deviations of the
// terms' bell shape on either side) instead of tens of thousands, which is what makes the
// F tests of a 600 x 600 table with 718,800 residual df cost microseconds each.
//
// Applies only when the peak exceeds e^50, so that the series' stop (the first term below 5e-6
// after the peak) lies where the terms are below 2^-80 of the peak, and the terms skipped at
// the start are as negligible; and only when all the terms summed belong to the finite part
// (k <= ns, every factor qq - k positive). The sum then differs from the term-by-term sum by
// the rounding of the peak's logarithm, a few units in the 14th digit.
struct TPeakSum {
  enum class Kind { NotApplicable, Sum, Overflow };
  Kind kind;
  long double sum;
};

TPeakSum SumAroundPeak(long double pp, long double qq, long double rx, long long ns,
                       long maxTerms) {
  constexpr TPeakSum kNone{TPeakSum::Kind::NotApplicable, 0};
  constexpr long double kMinLogPeak = 50;
  constexpr long double kNegligible = 0x1p-80L;
  // t(k) / t(k - 1) = (qq - k) rx / (pp + k) falls as k grows, and is at least 1 up to the
  // peak.
  const long double kReal = (qq * rx - pp) / (1 + rx);
  if (!(kReal >= 1) || kReal >= static_cast<long double>(ns) || kReal >= qq - 1) return kNone;
  const long double kPeak = std::floor(kReal);
  const long double logPeak =
      LogGammaRise(qq - kPeak, kPeak) - LogGammaRise(pp + 1, kPeak) + kPeak * std::log(rx);
  if (!(logPeak >= kMinLogPeak)) return kNone;
  // The term-by-term sum leaves the extended range (see below), and gives no number.
  const long double logLargest = std::log(std::numeric_limits<long double>::max());
  if (logPeak >= logLargest) return {TPeakSum::Kind::Overflow, 0};

  // Each term is the one before times a ratio formed on its own, so that the ratio's division
  // overlaps with the earlier terms' multiplications and only one multiplication per term waits
  // for the last; k is counted in integers, and qq - k and pp + k are carried along (whole and
  // half-whole numbers, exact). Chained through the division and with k in extended precision,
  // a term cost twice as long, and the 600 F tests of a 600 x 600 table a fifth of a Cruz,
  // Torres & Vencovsky analysis.
  long terms = 0;
  // Past the peak, k <= ns and qq - k > 0 (the finite part).
  const long long lastK = std::min(ns, static_cast<long long>(std::ceil(qq)) - 1);
  long double after = 0;
  long double t = 1;
  long double qk = qq - (kPeak + 1);
  long double pk = pp + (kPeak + 1);
  for (long long k = static_cast<long long>(kPeak) + 1;; ++k) {
    if (k > lastK || ++terms >= maxTerms) return kNone;
    t = t * (qk * rx / pk);
    after = after + t;
    if (t < kNegligible) break;
    qk = qk - 1;
    pk = pk + 1;
  }
  // Towards the start, k = kPeak, ..., 1.
  long double before = 0;
  t = 1;
  qk = qq - kPeak;
  pk = pp + kPeak;
  for (long long k = static_cast<long long>(kPeak); k > 0; --k) {
    if (++terms >= maxTerms) return kNone;
    t = t * (pk / (qk * rx));
    before = before + t;
    if (t < kNegligible) break;
    qk = qk + 1;
    pk = pk - 1;
  }
  const long double scaled = (before + 1) + after;
  if (logPeak + std::log(scaled) >= logLargest) {
    return {TPeakSum::Kind::Overflow, 0};
  }
  return {TPeakSum::Kind::Sum, std::exp(logPeak) * scaled};
}

long double ProbFSeries(int df1, int df2, long double f, long maxTerms, bool skipToPeak,
                        ProbStatus* status);

}  // namespace

// detail::StirlingTail(y) with y = x^2: x StirlingTail(x^2) = 1/(12x) - 1/(360x^3) +
// 1/(1260x^5) - 1/(1680x^7), the first four terms of the asymptotic (Stirling) series of
// ln Gamma(x) - ((x - 1/2) ln x - x + ln sqrt(2 pi)); see Abramowitz and Stegun (1964) 6.1.41.
long double detail::StirlingTail(long double y) {
  const long double oneThirtieth = 1.0L / 30;
  const long double oneHundredFifth = 1.0L / 105;
  return (1 / (12 * y)) *
         (1 - (1 / y) * (oneThirtieth - (1 / y) * (oneHundredFifth - 1 / (140 * y))));
}

// detail::LnGamma(x) = ln Gamma(x) for x = 0.5 and x >= 1, the arguments ProbF needs (half the
// degrees of freedom). Stirling's series with four correction terms; its error is below the
// first omitted term 1/(1188 x^9): 2.3e-5 at x = 1.5, 1.6e-6 at 2, 4.3e-8 at 3, 8.4e-13 at 10.
// Below that the series is useless, and the two small arguments are special cases:
// Gamma(1) = 1 and Gamma(1/2) = sqrt(pi), the latter written to 6 digits as 1.77246 (ProbF,
// which calls with m/2 and n/2 only for m, n >= 2, never reaches it). Other arguments are
// outside the function's domain: NaN.
long double detail::LnGamma(long double x) {
  if (x > 1) {
    // 6.2831853071795864770 is 2 pi.
    return x * StirlingTail(x * x) + ((x - 0.5L) * std::log(x) - x) +
           std::log(std::sqrt(6.2831853071795864770L));
  }
  if (x == 1) {
    return 0;
  }
  if (x == 0.5L) {
    return std::log(1.77246L);
  }
  return NaN;
}

// detail::PeizerPrattG(x) = g(x) = (1 - x^2 + 2 x ln x) / (1 - x)^2, the function in Peizer and
// Pratt's (1968) normalizing transformation. g(0) = 1 and g(1) = 0 are its limits; near x = 1
// the formula is 0/0 and cancels, so within 0.001 of 1 the limit 0 is used (g(x) is about
// (1 - x)/3 there).
long double detail::PeizerPrattG(long double x) {
  if (x < 1E-9L) {
    return 1;
  }
  if (std::fabs(1 - x) < 0.001L) {
    return 0;
  }
  return (2 * x * std::log(x) + (1 - x * x)) / ((1 - x) * (1 - x));
}

// detail::ProbFViaT(df1, df2, f) = P(F <= f) when df1 = 1 or df2 = 1: F(1, n) is T(n)^2, and
// F(m, 1) = 1/F(1, m).
long double detail::ProbFViaT(int df1, int df2, long double f) {
  if (df1 == 1) {
    return 2 * ProbT(df2, std::sqrt(f)) - 1;
  }
  return 2 - 2 * ProbT(df1, std::sqrt(1 / f));
}

// ProbFPeizerPratt(df1, df2, f) = P(F <= f), by a normal approximation.
//
// Algorithm: Peizer and Pratt's normalizing transformation of the incomplete beta function
// ratio, P = Phi(z), z = d sqrt((1 + p g1 + q g2) / ((s + 1/6) q p)), written with the binomial
// count n/2 - 1 out of s = (m + n)/2 - 1 trials with success probability q = n/(m f + n).
// The callers use it for F ratios of 1 or less, whose p-values are about 0.3 or more, where its
// accuracy is ample: measured against R's pf for F <= 1, within 7.5e-3 with 2 df on either side,
// 1.6e-3 from 5 df, 1e-4 from 30 df.
//
// Peizer and Pratt's third correction term is 0.02 (q' - 1/2)/(s + 1) with q' = p here, that is
// 0.04 (p - 0.5)/(m + n); this program has always used (p + 0.5), which makes P(F <= 1) for
// m = n come out as 0.5074 instead of 0.5 at 2 df (0.5001 at 30 df). The printed probabilities
// depend on it, so it is kept.
//   Peizer, D. B. and Pratt, J. W. (1968). A normal approximation for binomial, F, beta, and
//     other common, related tail probabilities, I. Journal of the American Statistical
//     Association 63, 1416-1456.
long double ProbFPeizerPratt(int df1, int df2, long double f, ProbStatus* status) {
  if (df1 <= 0 || df2 <= 0) {
    SetStatus(status, ProbStatus::InvalidDf);
    return NaN;
  }
  if (std::isnan(f)) {
    SetStatus(status, ProbStatus::InvalidArgument);
    return NaN;
  }
  SetStatus(status, ProbStatus::Ok);
  return PeizerPratt(df1, df2, f);
}

// ProbF(df1, df2, f) = P(F <= f), by series.
//
// Algorithm: P(F <= f) = I_{1-x}(m/2, n/2), x = n/(m f + n), the incomplete beta function
// ratio, summed by the series of Majumder and Bhattacharjee's AS 63 with Soper's reduction:
// finitely many terms in powers of xx/(1 - xx), then the power series in xx, stopped by an
// absolute and relative tolerance of 5e-6 on the last term. Its accuracy is set by that tolerance
// and by LnGamma's Stirling series: measured against R's pf for F > 1 and df up to 1000, within
// 1.3e-5 with an even denominator df, but with an odd one, whose series ends in a slowly
// converging tail that the tolerance cuts early, within 2e-4 from 7 df, 6e-4 at 5 and 7.6e-3 at
// 3 df (the worst at df1 = 1000; the error grows with df1); see the tests.
//   Soper, H. E. (1921). The numerical evaluation of the incomplete B-function. Tracts for
//     Computers 7. Cambridge University Press.
//   Majumder, K. L. and Bhattacharjee, G. P. (1973). Algorithm AS 63: The incomplete beta
//     integral. Applied Statistics 22(3), 409-411.
long double ProbF(int df1, int df2, long double f, ProbStatus* status) {
  return detail::ProbFCapped(df1, df2, f, kProbFMaxTerms, status);
}

// Iteration cap. When qq below is a whole number (for F > 1: an even denominator df) the factors
// qq - i reach 0 and the series is finite, at most qq terms. Otherwise it ends in a power series
// in xx, which approaches 1 as F and the degrees of freedom grow, and the number of terms grows
// with them. Measured over df 2 to 20001: at most 1e5 terms for F <= 10, 3.5e6 for F <= 100,
// 5.9e7 for F = 1000 (df 20001 and 599), the last two only where the p-value is far below any
// printed figure. kProbFMaxTerms = 1e8 is above all of these; a call that reaches it takes about
// a second (9 to 27 ns a term on the development machine): a bad argument costs a pause, not a
// hang.
// Where the terms leave the extended range (about 1e4932) the sum is lost; over the same grid
// that happens only where the p-value is below 1e-5000 (e.g. df 4851 and 10001 at F = 50).
long double detail::ProbFCapped(int df1, int df2, long double f, long maxTerms,
                                ProbStatus* status) {
  return ProbFSeries(df1, df2, f, maxTerms, true, status);
}

long double detail::ProbFEveryTerm(int df1, int df2, long double f, ProbStatus* status) {
  return ProbFSeries(df1, df2, f, kProbFMaxTerms, false, status);
}

namespace {

long double ProbFSeries(int df1, int df2, long double f, long maxTerms, bool skipToPeak,
                        ProbStatus* status) {
  if (df1 <= 0 || df2 <= 0) {
    SetStatus(status, ProbStatus::InvalidDf);
    return NaN;
  }
  if (std::isnan(f)) {
    SetStatus(status, ProbStatus::InvalidArgument);
    return NaN;
  }
  SetStatus(status, ProbStatus::Ok);
  if (std::isinf(f) && f > 0) {
    return 1;
  }
  // At f = 0 the series degenerates (1 - x = 0 below: its logarithm and the ratio x/(1 - x) are
  // infinite). Ratios below 1e-8 are moved to 1e-5, where P(F <= f) is about 1e-5 or less for
  // df1 >= 2.
  if (f < 1E-8L) {
    f = 1E-5L;
  }
  // One degree of freedom on either side: F is a squared t (see ProbFViaT).
  if (df1 == 1 || df2 == 1) {
    return PeizerPratt(df1, df2, f);
  }
  const long double m = df1;
  const long double n = df2;
  const long double halfM = m / 2;
  const long double halfN = n / 2;
  long double sum2 = halfM + halfN;  // P + Q, raised by 1 per term in the power series part
  const long double x = n / (m * f + n);
  const long double lnBeta =
      detail::LnGamma(halfM) + detail::LnGamma(halfN) - detail::LnGamma(sum2);

  // Orientation. For F >= 1 (x <= n/(m + n)) the series is summed for I_{1-x}(m/2, n/2), which
  // is P(F <= f) itself; for F < 1 for I_x(n/2, m/2), and P = 1 - that. AS 63 makes the opposite
  // choice (it sums where the variable lies below the beta mean, where the power series
  // converges faster). This program's choice makes the series finite for F > 1 with an even
  // denominator df; its printed digits depend on it.
  bool complement;
  long double xx, cx, pp, qq;
  if (halfN < sum2 * x) {
    complement = true;
    xx = x;
    cx = 1 - x;
    pp = halfN;
    qq = halfM;
  } else {
    complement = false;
    xx = 1 - x;
    cx = x;
    pp = halfM;
    qq = halfN;
  }

  // Soper's reduction: while ns >= 0 the terms are those of the finite sum in xx/cx (the
  // factors qq - i run to 0 when qq is a whole number, and the series stops exactly there);
  // after that the power series in xx, whose factors are sum2, sum2 + 1, ...
  long long ns = static_cast<long long>(qq + cx * sum2);
  long double sum = 1;
  const TPeakSum peak = skipToPeak ? SumAroundPeak(pp, qq, xx / cx, ns, maxTerms)
                                   : TPeakSum{TPeakSum::Kind::NotApplicable, 0};
  if (peak.kind == TPeakSum::Kind::Overflow) {
    SetStatus(status, ProbStatus::NoConvergence);
    return NaN;
  }
  if (peak.kind == TPeakSum::Kind::Sum) {
    sum = peak.sum;
  } else {
    long double term = 1;
    long double i = 1;
    long double rx = ns == 0 ? xx : xx / cx;
    long double temp = qq - i;
    for (long terms = 0;; ++terms) {
      if (terms == maxTerms) {
        SetStatus(status, ProbStatus::NoConvergence);
        return NaN;
      }
      term = term * temp * rx / (pp + i);
      sum = sum + term;
      i = i + 1;
      ns = ns - 1;
      if (ns >= 0) {
        temp = qq - i;
        if (ns == 0) {
          rx = xx;
        }
      } else {
        temp = sum2;
        sum2 = sum2 + 1;
      }
      if (std::fabs(term) < 5E-6L && std::fabs(term) < 5E-6L * sum) {
        break;
      }
      // Terms beyond the extended range (huge F with many degrees of freedom) can no longer
      // give a number.
      if (!std::isfinite(sum)) {
        SetStatus(status, ProbStatus::NoConvergence);
        return NaN;
      }
    }
  }
  long double result = std::exp(pp * std::log(xx) + (qq - 1) * std::log(cx) - lnBeta) * sum / pp;
  if (result < 0) {
    result = 0;
  } else if (result > 1) {
    result = 1;
  }
  return complement ? 1 - result : result;
}

}  // namespace

}  // namespace qv
