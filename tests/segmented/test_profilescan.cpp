// The profile scans of the segmented models: given its bends a model is linear, so the best place
// of each junction is sought interval by interval between consecutive index values. The best
// sums quoted are those of the independent fit (tests/segmented/independent_fit.py: SciPy,
// multi-start, the broken-line sum searched pattern by pattern).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "segmented/silva.h"
#include "segmented/silvatoler.h"
#include "segmented/toler.h"
#include "segmented_test_util.h"

namespace qv {
namespace {

struct TExample {
  const char* name;
  int g, a;
};
constexpr TExample kOnofri{"onofri_winterwheat", 8, 7};
constexpr TExample kSharma{"sharma_met", 7, 6};

std::unique_ptr<TGxeMeans> ExampleMeans(const TExample& e) {
  auto means = std::make_unique<TGxeMeans>();
  TAnalysisParams p;
  testing::FillFromExample(*means, p, e.name, e.g, e.a);
  return means;
}

std::vector<long double> Estimates(const TFitEngine& fit) {
  std::vector<long double> theta(static_cast<std::size_t>(fit.ParameterCount()) + 1);
  for (int p = 1; p <= fit.ParameterCount(); ++p) theta[static_cast<std::size_t>(p)] = fit.Theta(p);
  return theta;
}

// Toler's fit from its start ends on the Sharma trial at a local minimum (residual sum of
// squares 374.18396) with environment 2 on the unfavourable side. Moving the bend of every
// genotype (the 0 of the index) to the next interval, with environments 5 and 6 alone below it,
// the scan finds 370.21083, and the fit from there converges to the best fit of the independent
// search, 370.2106355065647. On the Onofri trial the fit is already the best, and the scan finds
// nothing lower.
TEST(ProfileScan, TolerFindsTheBetterPlaceOfTheBend) {
  auto fit = std::make_unique<TFitEngine>();
  const auto sharma = ExampleMeans(kSharma);
  const TMargins sharmaMargins = Margins(*sharma, kSharma.g, kSharma.a);
  const TTolerModel model(sharmaMargins, kSharma.g, kSharma.a);
  ASSERT_TRUE(fit->FitModel(model, *sharma).converged);
  EXPECT_NEAR(fit->SSE(), 374.18396178L, 1e-6);
  std::vector<long double> best;
  const long double scanned = model.ProfileScan(*sharma, Estimates(*fit).data(), best);
  EXPECT_NEAR(scanned, 370.21083, 1e-5);
  EXPECT_GT(best[3 * 7 + 2], 0);  // U(2) favourable
  ASSERT_TRUE(fit->FitModel(model, *sharma, &best).converged);
  EXPECT_NEAR(fit->SSE() / 370.2106355065647L, 1, 1e-10);

  const auto onofri = ExampleMeans(kOnofri);
  const TMargins onofriMargins = Margins(*onofri, kOnofri.g, kOnofri.a);
  const TTolerModel other(onofriMargins, kOnofri.g, kOnofri.a);
  ASSERT_TRUE(fit->FitModel(other, *onofri).converged);
  EXPECT_GE(other.ProfileScan(*onofri, Estimates(*fit).data(), best), fit->SSE() * (1 - 1e-12L));
}

// From 40 environments on the splits are shared by two threads; the best is the one the splits
// in their order give, to the last bit.
TEST(ProfileScan, TolerSharedBetweenThreadsFindsWhatItFindsAlone) {
  const int g = 12, a = 48;
  TGxeMeans means;
  TAnalysisParams params;
  testing::FillMeans(means, params, g, a, [](int i, int j) {
    const long double e = 3 * std::sin(1.7L * j);
    const long double b = e <= 1.2L ? 0.5L + 0.1L * (i % 4) : 1.4L - 0.1L * (i % 3);
    return 40 + i % 5 + b * e + testing::Scatter(i, j) / 4;
  });
  const TMargins margins = Margins(means, g, a);
  TTolerModel model(margins, g, a);
  std::vector<long double> start(static_cast<std::size_t>(model.Parameters()) + 1);
  model.StartValues(start.data());
  std::vector<long double> shared, alone;
  const long double twoThreads = model.ProfileScan(means, start.data(), shared);
  model.ShareScan(false);
  const long double oneThread = model.ProfileScan(means, start.data(), alone);
  ASSERT_GT(oneThread, 0);
  EXPECT_EQ(std::memcmp(&twoThreads, &oneThread, 10), 0);
  ASSERT_EQ(shared.size(), alone.size());
  for (std::size_t p = 1; p < alone.size(); ++p) {
    EXPECT_EQ(std::memcmp(&shared[p], &alone[p], 10), 0) << p;
  }
}

// Silva's forms from their starts end on the Onofri and Sharma trials at local minima; the scan
// from the same starts finds the best junctions of the independent search, where the fit then
// converges: 3.1905793566680787 (Onofri, four junctions on the upper bound) and
// 547.6800165928364 (Sharma), in both forms.
TEST(ProfileScan, SilvaFindsTheBestJunctionsOfTheExamples) {
  struct Case {
    TExample example;
    long double best;
  };
  const Case cases[] = {{kOnofri, 3.1905793566680787L}, {kSharma, 547.6800165928364L}};
  auto fit = std::make_unique<TFitEngine>();
  for (const Case& c : cases) {
    for (TSilvaVariant v : {TSilvaVariant::Segmented, TSilvaVariant::Modified}) {
      SCOPED_TRACE(std::string(c.example.name) +
                   (v == TSilvaVariant::Segmented ? " segmented" : " modified"));
      const auto means = ExampleMeans(c.example);
      const TMargins margins = Margins(*means, c.example.g, c.example.a);
      const TSilvaModel model(margins, c.example.g, c.example.a, v);
      ASSERT_TRUE(fit->FitModel(model, *means).converged);
      EXPECT_GT(fit->SSE(), c.best * (1 + 1e-3L));
      std::vector<long double> start(static_cast<std::size_t>(model.Parameters()) + 1), best;
      model.StartValues(start.data());
      EXPECT_NEAR(model.ProfileScan(*means, start.data(), best) / c.best, 1, 1e-9);
      const TFitResult result = fit->FitModel(model, *means, &best);
      EXPECT_TRUE(result.converged);
      EXPECT_NEAR(fit->SSE() / c.best, 1, 1e-12);
      EXPECT_NEAR(model.ProfileScan(*means, Estimates(*fit).data(), best) / c.best, 1, 1e-12);
    }
  }
}

// A table whose genotypes bend at their own places, the index in no order: the scan moves
// junctions over several sweeps, onto index values and onto crossings inside the intervals.
std::unique_ptr<TGxeMeans> BendingTable(int g, int a) {
  auto means = std::make_unique<TGxeMeans>();
  TAnalysisParams params;
  testing::FillMeans(*means, params, g, a, [](int i, int j) {
    const long double e = 3 * std::sin(1.7L * j);
    const long double x0 = -1.5L + 3.0L * ((i * 29) % 89) / 88.0L;
    const long double b = e <= x0 ? 0.6L + 0.1L * (i % 5) : 1.4L - 0.1L * (i % 4);
    return 40 + i % 5 + b * (e - x0) + testing::Scatter(i, j) / 4;
  });
  return means;
}

// The bytes of the scan's result: its sum, printed in hexadecimal, and a hash (FNV-1a) of the
// ten significant bytes of every estimate.
std::string Fingerprint(long double sse, const std::vector<long double>& best) {
  char text[64];
  std::snprintf(text, sizeof text, "%La ", sse);
  std::uint64_t hash = 14695981039346656037ull;
  for (std::size_t p = 1; p < best.size(); ++p) {
    unsigned char bytes[sizeof(long double)];
    std::memcpy(bytes, &best[p], sizeof bytes);
    for (int b = 0; b < 10; ++b) hash = (hash ^ bytes[b]) * 1099511628211ull;
  }
  return text + std::to_string(hash);
}

// The scan's sums and estimates on a 20 x 60 table, to the last bit, from the start and from
// junctions spread over the index: those of blocks inverted by Gauss-Jordan elimination over
// [H | I] with every entry formed, and each candidate tried in the order of the index, whether
// one thread tries every place of a junction or two share them.
TEST(ProfileScan, SilvaScanResultsToTheLastBit) {
  const int g = 20, a = 60;
  const auto means = BendingTable(g, a);
  const TMargins margins = Margins(*means, g, a);
  struct Case {
    TSilvaVariant variant;
    bool spread;
    const char* expected;
  };
  const Case cases[] = {
      {TSilvaVariant::Segmented, false, "0xf.f6e5958c83b293ap-1 1853296265292571498"},
      {TSilvaVariant::Segmented, true, "0xf.f16932f021284e9p-1 16086883529748183949"},
      {TSilvaVariant::Modified, false, "0xf.f16932f017a87a9p-1 7092055348911086313"},
      {TSilvaVariant::Modified, true, "0xf.f16932f021284eep-1 1243778448883256343"}};
  for (const Case& c : cases) {
    for (const bool shared : {true, false}) {
      SCOPED_TRACE(std::string(c.variant == TSilvaVariant::Segmented ? "segmented" : "modified") +
                   (c.spread ? ", spread" : ", start") + (shared ? ", shared" : ", alone"));
      TSilvaModel model(margins, g, a, c.variant);
      model.ShareScan(shared);
      std::vector<long double> start(static_cast<std::size_t>(model.Parameters()) + 1), best;
      model.StartValues(start.data());
      if (c.spread) {
        for (int i = 1; i <= g; ++i) start[static_cast<std::size_t>(4 * i)] = -2 + 0.2L * i;
      }
      const long double sse = model.ProfileScan(*means, start.data(), best);
      EXPECT_EQ(Fingerprint(sse, best), c.expected);
    }
  }
}

// Toler's scan on a 20 x 60 table, to the last bit, from its start values: as read from
// storage of either kind (a mean of -0 or one below the doubles' range keeps the extended one),
// on one thread and on two.
TEST(ProfileScan, TolerScanResultsToTheLastBit) {
  const int g = 20, a = 60;
  struct Case {
    const char* what;
    long double planted;  // the mean of genotype 3 in environment 5, if not NaN
    const char* expected;
  };
  const Case cases[] = {
      {"the table", std::nanl(""), "0xa.76c5f7dde425a54p+0 1057055899298737552"},
      {"a mean of -0", -0.0L, "0xa.76c5f7dde425a54p+0 1057055899298737552"},
      {"a mean of 1e-300", 1e-300L, "0xa.76c5f7dde425a54p+0 1057055899298737552"}};
  for (const Case& c : cases) {
    // Shifted so that the mean of genotype 3 in environment 5 is 0, and then that mean as
    // planted.
    const auto bending = BendingTable(g, a);
    const long double shift = bending->Y(3, 5);
    auto means = std::make_unique<TGxeMeans>();
    TAnalysisParams params;
    testing::FillMeans(*means, params, g, a, [&](int i, int j) {
      if (i == 3 && j == 5 && !std::isnan(c.planted)) return c.planted;
      return bending->Y(i, j) - shift;
    });
    const TMargins margins = Margins(*means, g, a);
    for (const bool shared : {true, false}) {
      SCOPED_TRACE(std::string(c.what) + (shared ? ", shared" : ", alone"));
      TTolerModel model(margins, g, a);
      model.ShareScan(shared);
      std::vector<long double> start(static_cast<std::size_t>(model.Parameters()) + 1), best;
      model.StartValues(start.data());
      const long double sse = model.ProfileScan(*means, start.data(), best);
      EXPECT_EQ(Fingerprint(sse, best), c.expected);
    }
  }
}

// On the table of the Silva and Toler golden report the fit is the best the scan can find; from
// the model's start the scan's junctions lead the fit to the same minimum, 0.117262464161337.
TEST(ProfileScan, SilvaTolerAgreesWithAFitAtItsMinimum) {
  const std::vector<long double> y = {
      8.2, 8.7, 9.7, 10.7, 12.9, 14.5, 16.1, 18.1, 4.2, 5.6, 7.6, 9.3, 11.2, 12.7, 12.8, 13.6,
      6.3, 8.1, 9.3, 10.2, 11.2, 12.1, 12.7, 13.8, 6.9, 7.6, 8.2, 9.1, 9.9,  10.6, 11.8, 13.8};
  auto means = std::make_unique<TGxeMeans>();
  TAnalysisParams p;
  p.r = 3;
  testing::FillMeans(*means, p, 4, 8, [&](int i, int j) {
    return y[static_cast<std::size_t>((i - 1) * 8 + j - 1)];
  });
  const TMargins margins = Margins(*means, 4, 8);
  const TSilvaTolerModel model(margins, 4, 8);
  auto fit = std::make_unique<TFitEngine>();
  ASSERT_TRUE(fit->FitModel(model, *means).converged);
  const long double fitted = fit->SSE();
  EXPECT_NEAR(fitted, 0.117262464161337L, 1e-12);
  std::vector<long double> best;
  EXPECT_GE(model.ProfileScan(*means, Estimates(*fit).data(), best), fitted * (1 - 1e-12L));
  std::vector<long double> start(static_cast<std::size_t>(model.Parameters()) + 1);
  model.StartValues(start.data());
  ASSERT_GT(model.ProfileScan(*means, start.data(), best), fitted);
  ASSERT_TRUE(fit->FitModel(model, *means, &best).converged);
  EXPECT_NEAR(fit->SSE(), fitted, 1e-12);
}

}  // namespace
}  // namespace qv
