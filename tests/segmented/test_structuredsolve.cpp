// The inversions that exploit the structure of the normal matrix against the full sweep of the
// bordered matrix: whole fits of every segmented model made both ways must take the same passes
// and reach the same estimates, sums of squares and inverse, bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "analysis/means.h"
#include "segmented/engine.h"
#include "segmented/silva.h"
#include "segmented/silvatoler.h"
#include "segmented/toler.h"
#include "segmented/tolerlinear.h"
#include "segmented_test_util.h"

namespace qv {
namespace {

// The same value, and a non-zero to the last bit.
bool Same(long double x, long double y) {
  return x == y && (x == 0 || std::memcmp(&x, &y, 10) == 0);
}

enum class TKind { Toler, TolerLinear, Silva, SilvaMod, SilvaToler };

std::unique_ptr<TSegmentedModel> MakeModel(TKind kind, const TMargins& margins, int g, int a) {
  switch (kind) {
    case TKind::Toler:
      return std::make_unique<TTolerModel>(margins, g, a);
    case TKind::TolerLinear:
      return std::make_unique<TTolerLinearModel>(margins, g, a);
    case TKind::Silva:
      return std::make_unique<TSilvaModel>(margins, g, a, TSilvaVariant::Segmented);
    case TKind::SilvaMod:
      return std::make_unique<TSilvaModel>(margins, g, a, TSilvaVariant::Modified);
    case TKind::SilvaToler:
      return std::make_unique<TSilvaTolerModel>(margins, g, a);
  }
  return nullptr;
}

const char* Name(TKind kind) {
  const char* names[] = {"toler", "toler linear", "silva", "silva-mod", "silva-toler"};
  return names[static_cast<int>(kind)];
}

struct TTable {
  std::string name;
  TGxeMeans means;
  TAnalysisParams params;
};

// The bundled examples, and a table of genotypes with their own junctions and slopes on a
// scattered index.
std::vector<std::unique_ptr<TTable>> Tables() {
  std::vector<std::unique_ptr<TTable>> tables;
  const struct {
    const char* name;
    int g, a;
  } examples[] = {{"onofri_winterwheat", 8, 7}, {"sharma_met", 7, 6}, {"lu_stability", 5, 6}};
  for (const auto& e : examples) {
    auto t = std::make_unique<TTable>();
    t->name = e.name;
    testing::FillFromExample(t->means, t->params, e.name, e.g, e.a);
    tables.push_back(std::move(t));
  }
  auto t = std::make_unique<TTable>();
  t->name = "broken lines 24 x 15";
  testing::FillMeans(t->means, t->params, 24, 15, [](int i, int j) {
    const long double e = 3 * std::sin(1.7L * j), x0 = -1.5L + 3.0L * ((i * 29) % 89) / 88;
    const long double b =
        e <= x0 ? 0.6L + ((i * 37) % 101) / 125.0L : 0.6L + ((i * 53) % 97) / 120.0L;
    return 50 + i % 13 + b * (e - x0) + testing::Scatter(i, j) / 5;
  });
  tables.push_back(std::move(t));
  return tables;
}

TEST(StructuredSolve, FitsMatchTheFullSweepBitForBit) {
  const auto tables = Tables();
  auto structured = std::make_unique<TFitEngine>();
  auto full = std::make_unique<TFitEngine>();
  full->UseReferenceSweep(true);
  int aliasedAtEnd = 0;
  for (const auto& table : tables) {
    const int g = table->params.g, a = table->params.a;
    const TMargins margins = Margins(table->means, g, a);
    for (const TKind kind :
         {TKind::Toler, TKind::TolerLinear, TKind::Silva, TKind::SilvaMod, TKind::SilvaToler}) {
      SCOPED_TRACE(table->name + ", " + Name(kind));
      const auto model = MakeModel(kind, margins, g, a);
      const TFitResult s = structured->FitModel(*model, table->means);
      const TFitResult f = full->FitModel(*model, table->means);
      ASSERT_EQ(s.status, TFitStatus::Done);
      EXPECT_EQ(s.loopPasses, f.loopPasses);
      EXPECT_EQ(s.converged, f.converged);
      EXPECT_EQ(s.stalled, f.stalled);
      EXPECT_EQ(s.genotypesAtBound, f.genotypesAtBound);
      EXPECT_EQ(structured->Pass(), full->Pass());
      EXPECT_TRUE(Same(structured->SSE(), full->SSE()));
      const int n = structured->Order();
      for (int p = 1; p <= model->Parameters(); ++p) {
        EXPECT_TRUE(Same(structured->Theta(p), full->Theta(p))) << p;
        EXPECT_TRUE(Same(structured->Step(p), full->Step(p))) << p;
      }
      bool aliased = false;
      for (int p = 1; p <= n; ++p) {
        EXPECT_EQ(structured->Sweep().Aliased[p], full->Sweep().Aliased[p]) << p;
        aliased = aliased || full->Sweep().Aliased[p];
        for (int q = p; q <= n; ++q) {
          const long double x = structured->G(p, q), y = full->G(p, q);
          // The printed covariances keep even the sign of a zero.
          const bool printed = q <= model->Parameters();
          ASSERT_TRUE(Same(x, y) && (!printed || std::signbit(x) == std::signbit(y)))
              << p << "," << q << ": " << x << " " << y;
        }
      }
      aliasedAtEnd += aliased;
    }
  }
  // The cases include final inverses with aliased parameters.
  EXPECT_GT(aliasedAtEnd, 0);
}

}  // namespace
}  // namespace qv
