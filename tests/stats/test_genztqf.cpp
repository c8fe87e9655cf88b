// The distribution functions: known values, the program's own constants worked by hand, the
// identities that tie the functions together, and the error contract. Accuracy against R is in
// test_genztqf_reference.cpp.
#include <cfloat>
#include <climits>
#include <cmath>
#include <functional>
#include <iomanip>
#include <limits>

#include "gtest/gtest.h"
#include "stats/genztqf.h"

namespace qv {
namespace {

constexpr long double kInf = std::numeric_limits<long double>::infinity();
constexpr long double kNaN = std::numeric_limits<long double>::quiet_NaN();

::testing::AssertionResult Near(long double got, long double ref, long double tol) {
  const long double err = std::fabs(got - ref);
  if (err <= tol) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << std::setprecision(20) << "got " << got << ", expected "
                                       << ref << ", error " << err << " > " << tol;
}

// ---------------------------------------------------------------------------------------------
// Known values and edge cases, with the precision to which each is known ("= 0.5" exactly,
// "~ 2.22814" to the digits given).

TEST(GenZTQF, KnownValues) {
  const struct {
    const char* what;
    long double got;
    long double expected;
    long double tol;
  } cases[] = {
      {"ProbNormal(0)", ProbNormal(0), 0.5L, 0},
      {"ProbNormal(38)", ProbNormal(38), 1, 0},  // beyond the cut-off at 37: exactly 0 or 1
      {"ProbNormal(-38)", ProbNormal(-38), 0, 0},
      {"ProbNormal(-1.96)", ProbNormal(-1.96L), 0.025L, 5e-6L},
      {"InvNormal(0.95)", InvNormal(0.95L), 1.644854L, 5e-7L},
      {"InvNormal(0.5)", InvNormal(0.5L), 0, 0},
      {"InvNormal(0)", InvNormal(0), 0, 0},  // no quantile: 0
      {"InvNormal(1)", InvNormal(1), 0, 0},
      {"ProbT(1, 1)", ProbT(1, 1), 0.75L, LDBL_EPSILON},
      {"ProbT(2, 0)", ProbT(2, 0), 0.5L, 0},
      {"apinvte(1, 0.75)", apinvte(1, 0.75L), 1, 4 * LDBL_EPSILON},
      {"apinvte(2, 0.5)", apinvte(2, 0.5L), 0, 0},
      {"apinvte(5, 0)", apinvte(5, 0), -1E10L, 0},  // the quantile is infinite: -1e10 for it
      {"apinvte(5, 1)", apinvte(5, 1), 1E10L, 0},
      {"apinvte(10, 0.975)", apinvte(10, 0.975L), 2.22814L, 5e-6L},
      {"apinvte(3, 0.975)", apinvte(3, 0.975L), 3.1824L, 5e-5L},
      {"ProbF(2, 2, 1)", ProbF(2, 2, 1), 0.5L, 5e-6L},  // within the series' tolerance
      {"InvF(3, 20, 0.95)", InvF(3, 20, 0.95L), 3.098L, 5e-4L},
      {"InvF(4, 2, 0.95)", InvF(4, 2, 0.95L), 19.25L, 5e-3L},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(Near(c.got, c.expected, c.tol)) << c.what;
  }
}

// ---------------------------------------------------------------------------------------------
// The program's own constants, worked by hand where the formulas collapse.

TEST(GenZTQF, PeizerPrattAtTwoAndTwoDfWorkedByHand) {
  // m = n = 2, F = 1: q = 2/(2 + 2) = 1/2, p = 1/2, s = 1, b = a = 1/2.
  // d = (1/2 + 1/6) - (1 + 1/3)/2 + 0.04 (1/4 - 1/4 + (1/2 + 1/2)/4) = 0.04/4 = 0.01,
  // the whole of d coming from the (p + 0.5) correction term; b/s/q = a/s/p = 1, so g1 = g2 = 0;
  // z = 0.01 sqrt(1 / ((7/6) (1/4))) = 0.01 sqrt(24/7).
  EXPECT_TRUE(
      Near(ProbFPeizerPratt(2, 2, 1), ProbNormal(0.01L * std::sqrt(24.0L / 7)), 8 * LDBL_EPSILON));
}

TEST(GenZTQF, SeriesWithTwoAndTwoDfWorkedByHand) {
  // m = n = 2, F > 1: P = Q = 1, S = 2, X = 1/(1 + F) < Q/S, so the series is summed directly
  // with xx = F/(1 + F), cx = X, pp = qq = 1. Its first factor qq - 1 is 0: sum = 1 and the
  // result is exp(ln xx - L) with L = LnGamma(1) + LnGamma(1) - LnGamma(2) = -LnGamma(2), i.e.
  // the exact F/(1 + F) times exp(LnGamma(2)), Stirling's small error at 2 (below 1.64e-6).
  for (const long double f : {1.5L, 3.0L, 40.0L}) {
    SCOPED_TRACE(::testing::Message() << "F = " << static_cast<double>(f));
    const long double exact = f / (1 + f);
    EXPECT_TRUE(Near(ProbF(2, 2, f), exact * std::exp(detail::LnGamma(2)), 8 * LDBL_EPSILON));
    EXPECT_TRUE(Near(ProbF(2, 2, f), exact, 1.64e-6L));
  }
}

TEST(GenZTQF, LnGammaHelpers) {
  EXPECT_EQ(detail::LnGamma(1), 0);
  EXPECT_EQ(detail::LnGamma(0.5L), std::log(1.77246L));  // sqrt(pi) to 6 digits
  EXPECT_TRUE(std::isnan(detail::LnGamma(0.7L)));        // outside the domain
  // x StirlingTail(x^2) is the four-term Stirling correction.
  for (const long double x : {1.5L, 2.0L, 7.0L}) {
    const long double series = 1 / (12 * x) - 1 / (360 * x * x * x) + 1 / (1260 * std::pow(x, 5)) -
                               1 / (1680 * std::pow(x, 7));
    EXPECT_TRUE(Near(x * detail::StirlingTail(x * x), series, 4 * LDBL_EPSILON * series));
  }
}

TEST(GenZTQF, PeizerPrattGLimits) {
  EXPECT_EQ(detail::PeizerPrattG(0), 1);
  EXPECT_EQ(detail::PeizerPrattG(5e-10L), 1);
  EXPECT_EQ(detail::PeizerPrattG(1), 0);
  EXPECT_EQ(detail::PeizerPrattG(0.9991L), 0);  // within 0.001 of 1: the limit
  EXPECT_EQ(detail::PeizerPrattG(1.0009L), 0);
  // Just outside the band the formula takes over, close to its slope (1 - x)/3 there.
  EXPECT_TRUE(Near(detail::PeizerPrattG(0.998L), 0.002L / 3, 2e-6L));
}

// ---------------------------------------------------------------------------------------------
// Identities

TEST(GenZTQF, ProbTIsSymmetric) {
  // Measured: exactly 1 over df 1 to 300 and t from -40 to 40.
  for (const int df : {1, 2, 3, 4, 5, 9, 30, 1000}) {
    for (const long double t : {0.01L, 0.3L, 1.7L, 4.0L, 25.0L}) {
      SCOPED_TRACE(::testing::Message() << "df = " << df << ", t = " << static_cast<double>(t));
      EXPECT_TRUE(Near(ProbT(df, t) + ProbT(df, -t), 1, LDBL_EPSILON));
    }
  }
}

TEST(GenZTQF, FWithOneDfIsASquaredT) {
  for (const int n : {1, 2, 3, 4, 7, 30}) {
    for (const long double f : {0.2L, 1.0L, 3.5L, 60.0L}) {
      SCOPED_TRACE(::testing::Message() << "n = " << n << ", F = " << static_cast<double>(f));
      const long double viaT = 2 * ProbT(n, std::sqrt(f)) - 1;
      EXPECT_EQ(ProbF(1, n, f), viaT);
      EXPECT_EQ(ProbFPeizerPratt(1, n, f), viaT);
      // F(m, 1) is 1/F(1, m).
      EXPECT_EQ(ProbF(n, 1, f), n == 1 ? viaT : 2 - 2 * ProbT(n, std::sqrt(1 / f)));
    }
  }
}

TEST(GenZTQF, InvFPathsAgree) {
  const struct {
    int m;
    int n;
  } dfs[] = {{2, 2}, {3, 20}, {7, 4}, {12, 60}};
  for (const auto& d : dfs) {
    SCOPED_TRACE(::testing::Message() << "df = " << d.m << ", " << d.n);
    // Lower quantiles are reciprocals of upper quantiles of the reversed ratio.
    for (const long double p : {0.05L, 0.3L}) {
      EXPECT_EQ(InvF(d.m, d.n, p), 1 / InvF(d.n, d.m, 1 - p));
    }
    // One df: through the t quantile.
    for (const long double p : {0.3L, 0.95L}) {
      const long double t = apinvte(d.n, (p + 1) / 2);
      EXPECT_EQ(InvF(1, d.n, p), t * t);
      const long double r = 1 / apinvte(d.m, (2 - p) / 2);
      EXPECT_EQ(InvF(d.m, 1, p), r * r);
    }
    // Beyond 0.998: Paulson's approximation alone.
    EXPECT_EQ(InvF(d.m, d.n, 0.999L), detail::InvFApprox(d.m, d.n, 0.999L));
  }
}

TEST(GenZTQF, InvFInvertsProbF) {
  // The secant stops one step after a step below 1e-4. Measured over df 2 to 1000, p = 0.05 to
  // 0.99: |ProbF(InvF(p)) - p| up to 2.0e-6, and 1.4e-5 when a df is 3 or 5 (where ProbF's
  // series is at its coarsest).
  const struct {
    int m;
    int n;
  } dfs[] = {{2, 2}, {2, 9}, {3, 3}, {4, 30}, {5, 12}, {9, 7}, {30, 600}, {200, 60}};
  for (const auto& d : dfs) {
    const bool coarse = d.m == 3 || d.m == 5 || d.n == 3 || d.n == 5;
    for (const long double p : {0.05L, 0.5L, 0.9L, 0.95L, 0.99L}) {
      SCOPED_TRACE(::testing::Message()
                   << "df = " << d.m << ", " << d.n << "; p = " << static_cast<double>(p));
      ProbStatus status;
      const long double q = InvF(d.m, d.n, p, &status);
      ASSERT_EQ(status, ProbStatus::Ok);
      EXPECT_TRUE(Near(ProbF(d.m, d.n, q), p, coarse ? 1.6e-5L : 2.5e-6L));
    }
  }
}

TEST(GenZTQF, ApinvteInvertsProbT) {
  // Exact forms at df 1 and 2; otherwise Hill's quantile against ProbT. Measured over df 1 to
  // 300, p = 0.0005 to 0.9995: 2.4e-17 at df 1 and 2, 2.9e-5 at 3, 1.2e-5 at 4, 7.4e-6 for 5 to
  // 9, 1.6e-7 for 10 to 29, 7.6e-8 from 30.
  const struct {
    int df;
    long double tol;
  } dfs[] = {{1, 1e-16L}, {2, 1e-16L}, {3, 3.2e-5L}, {4, 1.4e-5L},
             {6, 8e-6L},  {15, 2e-7L}, {40, 1e-7L},  {1000, 1e-7L}};
  for (const auto& d : dfs) {
    for (const long double p : {0.001L, 0.1L, 0.5L, 0.8L, 0.95L, 0.975L, 0.9995L}) {
      SCOPED_TRACE(::testing::Message() << "df = " << d.df << ", p = " << static_cast<double>(p));
      EXPECT_TRUE(Near(ProbT(d.df, apinvte(d.df, p)), p, d.tol));
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Arguments at the edge of the domain are moved, not rejected.

TEST(GenZTQF, EdgeArgumentsAreMoved) {
  // ProbF: F below 1e-8 counts as 1e-5; ProbFPeizerPratt: F <= 0 counts as 1e-11.
  EXPECT_EQ(ProbF(4, 6, 0), ProbF(4, 6, 1e-5L));
  EXPECT_EQ(ProbF(4, 6, -2), ProbF(4, 6, 1e-5L));
  EXPECT_EQ(ProbF(1, 6, 0), ProbFPeizerPratt(1, 6, 1e-5L));
  EXPECT_EQ(ProbFPeizerPratt(4, 6, 0), ProbFPeizerPratt(4, 6, 1e-11L));
  EXPECT_EQ(ProbFPeizerPratt(4, 6, -1), ProbFPeizerPratt(4, 6, 1e-11L));
  EXPECT_EQ(InvNormal(-0.1L), 0);
  EXPECT_EQ(InvNormal(1.5L), 0);
  // An infinite statistic (a residual mean square of 0) gets its limit, with status Ok.
  ProbStatus status = ProbStatus::InvalidDf;
  EXPECT_EQ(ProbT(5, kInf, &status), 1);
  EXPECT_EQ(status, ProbStatus::Ok);
  EXPECT_EQ(ProbT(3, -kInf), 0);
  EXPECT_EQ(ProbT(1, kInf), 1);
  EXPECT_EQ(ProbF(4, 6, kInf, &status), 1);
  EXPECT_EQ(status, ProbStatus::Ok);
  EXPECT_EQ(ProbF(1, 6, kInf), 1);
  EXPECT_EQ(ProbFPeizerPratt(4, 6, kInf), 1);
}

// ---------------------------------------------------------------------------------------------
// Error contract: a status and a NaN, never output or an exit.

TEST(GenZTQF, InvalidArgumentsAreReported) {
  const struct {
    const char* what;
    std::function<long double(ProbStatus*)> call;
    ProbStatus expected;
  } cases[] = {
      {"ProbT(0, 1)", [](ProbStatus* s) { return ProbT(0, 1, s); }, ProbStatus::InvalidDf},
      {"ProbT(-3, 1)", [](ProbStatus* s) { return ProbT(-3, 1, s); }, ProbStatus::InvalidDf},
      {"ProbT(5, NaN)", [](ProbStatus* s) { return ProbT(5, kNaN, s); },
       ProbStatus::InvalidArgument},
      {"apinvte(0, 0.9)", [](ProbStatus* s) { return apinvte(0, 0.9L, s); }, ProbStatus::InvalidDf},
      {"apinvte(5, -0.1)", [](ProbStatus* s) { return apinvte(5, -0.1L, s); },
       ProbStatus::InvalidArgument},
      {"apinvte(5, 1.1)", [](ProbStatus* s) { return apinvte(5, 1.1L, s); },
       ProbStatus::InvalidArgument},
      {"apinvte(1, 2)", [](ProbStatus* s) { return apinvte(1, 2, s); },
       ProbStatus::InvalidArgument},
      {"apinvte(5, NaN)", [](ProbStatus* s) { return apinvte(5, kNaN, s); },
       ProbStatus::InvalidArgument},
      {"ProbF(0, 5, 2)", [](ProbStatus* s) { return ProbF(0, 5, 2, s); }, ProbStatus::InvalidDf},
      {"ProbF(3, 0, 2)", [](ProbStatus* s) { return ProbF(3, 0, 2, s); }, ProbStatus::InvalidDf},
      {"ProbF(3, INT_MIN, 2)", [](ProbStatus* s) { return ProbF(3, INT_MIN, 2, s); },
       ProbStatus::InvalidDf},
      {"ProbF(3, 5, NaN)", [](ProbStatus* s) { return ProbF(3, 5, kNaN, s); },
       ProbStatus::InvalidArgument},
      {"ProbFPeizerPratt(-1, 5, 0.5)",
       [](ProbStatus* s) { return ProbFPeizerPratt(-1, 5, 0.5L, s); }, ProbStatus::InvalidDf},
      {"ProbFPeizerPratt(3, 0, 0.5)", [](ProbStatus* s) { return ProbFPeizerPratt(3, 0, 0.5L, s); },
       ProbStatus::InvalidDf},
      {"ProbFPeizerPratt(3, 5, NaN)", [](ProbStatus* s) { return ProbFPeizerPratt(3, 5, kNaN, s); },
       ProbStatus::InvalidArgument},
      {"InvF(0, 5, 0.95)", [](ProbStatus* s) { return InvF(0, 5, 0.95L, s); },
       ProbStatus::InvalidDf},
      {"InvF(3, -2, 0.95)", [](ProbStatus* s) { return InvF(3, -2, 0.95L, s); },
       ProbStatus::InvalidDf},
      {"InvF(3, 5, 0)", [](ProbStatus* s) { return InvF(3, 5, 0, s); },
       ProbStatus::InvalidArgument},
      {"InvF(3, 5, 1)", [](ProbStatus* s) { return InvF(3, 5, 1, s); },
       ProbStatus::InvalidArgument},
      {"InvF(1, 5, 1.5)", [](ProbStatus* s) { return InvF(1, 5, 1.5L, s); },
       ProbStatus::InvalidArgument},
      {"InvF(3, 5, NaN)", [](ProbStatus* s) { return InvF(3, 5, kNaN, s); },
       ProbStatus::InvalidArgument},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ProbStatus status = ProbStatus::Ok;
    EXPECT_TRUE(std::isnan(c.call(&status)));
    EXPECT_EQ(status, c.expected);
    EXPECT_TRUE(std::isnan(c.call(nullptr)));  // the status is optional on the error path too
  }
}

TEST(GenZTQF, StatusIsOverwrittenOnSuccess) {
  ProbStatus status = ProbStatus::InvalidDf;
  EXPECT_FALSE(std::isnan(ProbT(5, 1.2L, &status)));
  EXPECT_EQ(status, ProbStatus::Ok);
  status = ProbStatus::NoConvergence;
  EXPECT_FALSE(std::isnan(InvF(3, 20, 0.95L, &status)));
  EXPECT_EQ(status, ProbStatus::Ok);
}

TEST(GenZTQF, ReachingAnIterationCapIsReported) {
  // F(3, 5) has an odd denominator df: the series needs more than one term at F = 20.
  ProbStatus status = ProbStatus::Ok;
  EXPECT_TRUE(std::isnan(detail::ProbFCapped(3, 5, 20, 1, &status)));
  EXPECT_EQ(status, ProbStatus::NoConvergence);
  EXPECT_EQ(detail::ProbFCapped(3, 5, 20, kProbFMaxTerms, &status), ProbF(3, 5, 20));
  EXPECT_EQ(status, ProbStatus::Ok);
  // One secant pass cannot both move and then take a step below 1e-4.
  EXPECT_TRUE(std::isnan(detail::InvFCapped(3, 20, 0.95L, 1, &status)));
  EXPECT_EQ(status, ProbStatus::NoConvergence);
  EXPECT_EQ(detail::InvFCapped(3, 20, 0.95L, kInvFMaxSteps, &status), InvF(3, 20, 0.95L));
  EXPECT_EQ(status, ProbStatus::Ok);
}

TEST(GenZTQF, SumAroundThePeakAgreesWithEveryTerm) {
  // Large trials: the pooled residual df of up to 600 x 600 x 2 cells, even and odd, and F from
  // just above 1 to far in the tail, where the series' terms climb to e^50 and beyond and ProbF
  // sums only the terms near the peak. Every printed p-value has at most 6 decimals; the two
  // sums agree to far more.
  const int numerators[] = {2, 3, 5, 19, 599, 1000};
  const int denominators[] = {2000, 10001, 100000, 718800, 718801};
  const long double ratios[] = {1.01L, 1.2L, 2, 5, 30, 300, 3000};
  for (int m : numerators) {
    for (int n : denominators) {
      for (long double f : ratios) {
        SCOPED_TRACE(::testing::Message() << "df = " << m << ", " << n << "; F = " << f);
        ProbStatus fast = ProbStatus::InvalidDf;
        ProbStatus slow = ProbStatus::InvalidDf;
        const long double p = ProbF(m, n, f, &fast);
        const long double ref = detail::ProbFEveryTerm(m, n, f, &slow);
        EXPECT_EQ(fast, slow);
        if (std::isnan(ref)) {
          EXPECT_TRUE(std::isnan(p));
        } else {
          EXPECT_TRUE(Near(p, ref, 1e-13L));
        }
      }
    }
  }
}

TEST(GenZTQF, CapsLeaveRoomForTheHardestRealCases) {
  ProbStatus status = ProbStatus::InvalidDf;
  // 3.5e6 terms: the most measured for F <= 100 (df up to 20001).
  EXPECT_TRUE(Near(ProbF(20001, 1001, 100, &status), 1, 1e-6L));
  EXPECT_EQ(status, ProbStatus::Ok);
  // 605 secant passes: the start far above the quantile, the iteration creeping back from 0.001
  // (R's qf(0.998, 5000, 4) is 30.9565; ProbF's error at 4 df puts ours 2.8e-4 below).
  EXPECT_TRUE(Near(InvF(5000, 4, 0.998L, &status), 30.9565L, 0.01L));
  EXPECT_EQ(status, ProbStatus::Ok);
}

TEST(GenZTQF, ArgumentsThatCannotConvergeAreReported) {
  const struct {
    const char* what;
    std::function<long double(ProbStatus*)> call;
  } cases[] = {
      // F(3, 3) at F = 1e12: the tail terms shrink by a factor of about 1 - 1e-12 each; the
      // cap of 1e8 terms comes first, after about a second.
      {"ProbF(3, 3, 1e12)", [](ProbStatus* s) { return ProbF(3, 3, 1e12L, s); }},
      // The terms overflow the extended range (the p-value is below 1e-5000).
      {"ProbF(5000, 10001, 50)", [](ProbStatus* s) { return ProbF(5000, 10001, 50, s); }},
      // ProbF(20001, 3, F) is clamped at 1 beyond the quantile: the secant has nothing to
      // steer by.
      {"InvF(20001, 3, 0.95)", [](ProbStatus* s) { return InvF(20001, 3, 0.95L, s); }},
      // Paulson's quadratic has no positive root this far in the tail with 4 df.
      {"InvF(600, 4, 0.99999)", [](ProbStatus* s) { return InvF(600, 4, 0.99999L, s); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ProbStatus status = ProbStatus::Ok;
    EXPECT_TRUE(std::isnan(c.call(&status)));
    EXPECT_EQ(status, ProbStatus::NoConvergence);
  }
}

}  // namespace
}  // namespace qv
