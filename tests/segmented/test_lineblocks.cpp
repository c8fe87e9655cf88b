// The passes of Silva's models on large tables (segmented/lineblocks.cpp): trials ruled out on
// the genotypes' lines must leave the fit exactly as summing every trial over the cells leaves
// it, and steps solved genotype by genotype must lead the fit where the whole inverse leads it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "analysis/means.h"
#include "segmented/engine.h"
#include "segmented/silva.h"
#include "segmented_test_util.h"

namespace qv {
namespace {

struct TCase {
  const char* name;
  TSilvaVariant variant;
  int g, a;  // order 4g + 2
};

// Fits each case's broken lines with both engines.
template <typename TCheck>
void FitBoth(const TCase& c, TFitEngine& one, TFitEngine& other, TCheck check) {
  SCOPED_TRACE(c.name);
  TGxeMeans means;
  TAnalysisParams params;
  testing::BrokenLines(means, params, c.g, c.a);
  const TMargins margins = Margins(means, c.g, c.a);
  const TSilvaModel model(margins, c.g, c.a, c.variant);
  const TFitResult x = one.FitModel(model, means);
  const TFitResult y = other.FitModel(model, means);
  check(model, x, y);
}
using testing::Near;

const TCase kCases[] = {{"segmented 12 x 30", TSilvaVariant::Segmented, 12, 30},
                        {"modified 12 x 30", TSilvaVariant::Modified, 12, 30},
                        {"segmented 55 x 40", TSilvaVariant::Segmented, 55, 40},
                        {"modified 55 x 40", TSilvaVariant::Modified, 55, 40}};

TEST(LineBlocks, TrialsRuledOutLeaveTheFitAsTheCellsLeaveIt) {
  auto ruling = std::make_unique<TFitEngine>();
  auto summing = std::make_unique<TFitEngine>();
  summing->RuleOutTrials(false);
  for (const TCase& c : kCases) {
    FitBoth(c, *ruling, *summing,
            [&](const TSilvaModel& model, const TFitResult& r, const TFitResult& s) {
              EXPECT_GT(ruling->TrialsRuledOut(), 0);
              EXPECT_EQ(summing->TrialsRuledOut(), 0);
              EXPECT_EQ(r.loopPasses, s.loopPasses);
              EXPECT_EQ(r.converged, s.converged);
              EXPECT_EQ(ruling->SSE(), summing->SSE());
              for (int p = 1; p <= model.Parameters(); ++p) {
                ASSERT_EQ(ruling->Theta(p), summing->Theta(p)) << p;
              }
              for (int p = 1; p <= ruling->Order(); ++p) {
                for (int q = p; q <= ruling->Order(); ++q)
                  ASSERT_EQ(ruling->G(p, q), summing->G(p, q));
              }
            });
  }
}

TEST(LineBlocks, FitsAgreeWithTheWholeInverseUpToRounding) {
  auto lines = std::make_unique<TFitEngine>();
  auto whole = std::make_unique<TFitEngine>();
  whole->UseLineBlocks(false);
  for (const TCase& c : kCases) {
    FitBoth(c, *lines, *whole,
            [&](const TSilvaModel& model, const TFitResult& l, const TFitResult& w) {
              // Below order 200 the whole inverse is cheap, and every pass keeps its rounding.
              if (4 * c.g + 2 < 200) {
                EXPECT_EQ(lines->LineBlockSteps(), 0);
              } else {
                EXPECT_GE(lines->LineBlockSteps(), l.loopPasses / 2);
              }
              EXPECT_EQ(whole->LineBlockSteps(), 0);
              EXPECT_TRUE(l.converged);
              EXPECT_EQ(l.converged, w.converged);
              EXPECT_EQ(l.genotypesAtBound, w.genotypesAtBound);
              EXPECT_TRUE(Near(lines->SSE(), whole->SSE(), 1e-12L)) << lines->SSE() - whole->SSE();
              for (int p = 1; p <= model.Parameters(); ++p) {
                EXPECT_TRUE(Near(lines->Theta(p), whole->Theta(p), 1e-7L))
                    << p << ": " << lines->Theta(p) << " " << whole->Theta(p);
              }
              // The inference comes from the whole inverse of the last pass.
              for (int p = 1; p <= lines->Order(); ++p) {
                EXPECT_EQ(lines->Sweep().Aliased[p], whole->Sweep().Aliased[p]) << p;
                for (int q = p; q <= model.Parameters(); ++q) {
                  ASSERT_TRUE(Near(lines->G(p, q), whole->G(p, q), 1e-7L))
                      << p << "," << q << ": " << lines->G(p, q) << " " << whole->G(p, q);
                }
              }
            });
  }
}

}  // namespace
}  // namespace qv
