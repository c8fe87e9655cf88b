// GenZTQF: distribution functions and quantiles of the standard normal, Student's t and
// Snedecor's F distributions, the probabilities behind every test and critical value that
// the stability methods print.
//
// Every probability is a lower-tail probability P(X <= x); callers form upper tails and
// two-sided p-values themselves (1 - ProbF(...) for "Pr>Fc", 2 (1 - ProbT(df, |t|)) for a
// two-sided t test). The approximations are this program's own: each is a classical published
// method evaluated in x87 80-bit extended precision (long double) with the program's constants,
// thresholds and order of operations, because the printed p-values and critical values depend
// on all three. Degrees of freedom are 32-bit signed integers.
//
// Files: genztqf_normal.cpp (ProbNormal, InvNormal), genztqf_t.cpp (ProbTHill, ProbT,
// InvTHill, apinvte), genztqf_f.cpp (LnGamma, StirlingTail, PeizerPrattG, ProbFViaT,
// ProbFPeizerPratt, ProbF), genztqf_invf.cpp (InvFApprox, InvF).
//
// Error contract
// --------------
// The functions never print, throw or stop the program. A function that can fail takes an
// optional last argument `ProbStatus* status`:
//
//   - when `status` is given it is always written: ProbStatus::Ok, or the reason for failure;
//   - on every status other than Ok the function returns a quiet NaN, so that a caller that
//     does not look prints "nan" rather than a plausible but wrong probability.
//
//   ProbStatus::InvalidDf        a degree of freedom is 0 or negative (a residual df typed as 0,
//                                for instance). The formulas divide by the df.
//   ProbStatus::InvalidArgument  a NaN argument; apinvte with p < 0 or p > 1 (a caller error:
//                                no quantile exists); InvF with p outside (0, 1).
//   ProbStatus::NoConvergence    ProbF's series or InvF's secant iteration reached its cap
//                                (kProbFMaxTerms, kInvFMaxSteps), or could not go on: ProbF's
//                                terms overflowed the extended range (only where the p-value is
//                                below 1e-5000, e.g. df 4851 and 10001 at F = 50), InvF's secant
//                                met two equal probabilities, or InvF's approximation for
//                                p > 0.998 has no positive root (p above about 0.99997 with 4 or
//                                5 denominator df).
//
// Typical use in method code:
//
//   ProbStatus status;
//   const long double p = ProbF(df1, df2, fc, &status);
//   if (status != ProbStatus::Ok) { /* refuse the row, e.g. report the invalid df */ }
//
// Arguments at the edge of the domain are moved rather than rejected, so that a ratio of zero or
// of rounding size (the series and the approximations take logarithms of F) or a quantile at
// p = 0 or 1 still gives a number: ProbF takes F < 1e-8 as 1e-5, ProbFPeizerPratt takes
// F <= 0 as 1e-11, InvNormal returns 0 outside (0, 1), apinvte returns -1e10 and +1e10 at p = 0
// and p = 1. An infinite statistic (a mean square divided by a residual mean square typed as 0)
// gets its limit: ProbT(df, +inf) = 1, ProbT(df, -inf) = 0, ProbF(m, n, +inf) =
// ProbFPeizerPratt(m, n, +inf) = 1.
//
// ProbNormal and InvNormal cannot fail and take no status; a NaN argument gives NaN.
#pragma once

#include <cfloat>

static_assert(LDBL_MANT_DIG == 64,
              "the probability functions are defined in x87 80-bit extended precision");

namespace qv {

enum class ProbStatus { Ok, InvalidDf, InvalidArgument, NoConvergence };

// Iteration caps, far above any real need; they only guarantee that no argument can hang the
// program. ProbF's series needs at most 1e5 terms for F <= 10 and 3.5e6 for F <= 100 (df up to
// 20001); InvF's secant at most 13 passes for 0.01 <= p <= 0.99 and 605 near p = 0.998. See
// genztqf_f.cpp and genztqf_invf.cpp for the measurements.
inline constexpr long kProbFMaxTerms = 100'000'000;
inline constexpr int kInvFMaxSteps = 10'000;

// P(Z <= x) for Z standard normal (Hart 1968, with Laplace's continued fraction in the far tail).
long double ProbNormal(long double x);

// z with P(Z <= z) = p (Wichura 1988, AS 241); 0 when p is outside (0, 1).
long double InvNormal(long double p);

// P(T <= t) for Student's t with df degrees of freedom: exact for df <= 4, Hill (1970) above.
long double ProbT(int df, long double t, ProbStatus* status = nullptr);

// t with P(T <= t) = p for Student's t with df degrees of freedom (exact for df 1 and 2,
// Hill (1970) above); -1e10 at p = 0, +1e10 at p = 1; InvalidArgument for p < 0 or p > 1.
long double apinvte(int df, long double p, ProbStatus* status = nullptr);

// P(F <= f) for F with df1 and df2 degrees of freedom, by the series of the incomplete beta
// function ratio (Soper 1921; Majumder and Bhattacharjee 1973, AS 63). The callers' choice for a
// test with Fc > 1.
long double ProbF(int df1, int df2, long double f, ProbStatus* status = nullptr);

// The same probability by Peizer and Pratt's (1968) normal approximation. The callers' choice
// for a test with Fc <= 1.
long double ProbFPeizerPratt(int df1, int df2, long double f, ProbStatus* status = nullptr);

// q with P(F <= q) = p for F with df1 and df2 degrees of freedom (secant iteration on ProbF,
// started from Paulson's 1942 approximation); InvalidArgument for p outside (0, 1).
long double InvF(int df1, int df2, long double p, ProbStatus* status = nullptr);

// Building blocks of the functions above. They assume degrees of freedom of at least 1 and
// report nothing; method code calls the functions above. Exposed for the tests.
namespace detail {

long double ProbTHill(int df, long double t);
long double InvTHill(int df, long double p);
long double ProbFViaT(int df1, int df2, long double f);
long double InvFApprox(int df1, int df2, long double p);
long double LnGamma(long double x);
long double StirlingTail(long double y);
long double PeizerPrattG(long double x);

// ProbF and InvF with the iteration cap as an argument (the public functions pass
// kProbFMaxTerms and kInvFMaxSteps), so that a test can reach the cap cheaply. InvF's inner
// ProbF calls keep kProbFMaxTerms.
long double ProbFCapped(int df1, int df2, long double f, long maxTerms, ProbStatus* status);
// ProbF with every term of its series summed one by one, also where ProbF sums only the terms
// around the series' peak (see genztqf_f.cpp): the reference that the tests hold ProbF to.
long double ProbFEveryTerm(int df1, int df2, long double f, ProbStatus* status);
long double InvFCapped(int df1, int df2, long double p, int maxSteps, ProbStatus* status);

}  // namespace detail
}  // namespace qv
