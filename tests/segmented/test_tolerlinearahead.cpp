// Toler's simple linear model fitted beside the bisegmented one (TTolerLinearAhead): what the
// command takes up must be what fitting it afterwards gives, report included, and inputs that
// changed in between must be fitted again.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "analysis/fitstorage.h"
#include "analysis/means.h"
#include "segmented/toler.h"
#include "segmented/tolerlinear.h"
#include "segmented_test_util.h"

namespace qv {
namespace {

std::string ReportOf(const TComputed<TTolerLinearResult>& linear, char separator) {
  TReport report;
  if (!linear.Refused()) AppendTolerLinearReport(report, linear.Value(), separator);
  return report.Text();
}

TEST(TolerLinearAhead, TakesWhatTheFitAfterwardsGives) {
  // Simple linear model of order 2g + a + 2 = 212: started beside the bisegmented fit.
  const int g = 60, a = 90;
  TGxeMeans means;
  TAnalysisParams params;
  testing::BrokenLinesToFit(means, params, g, a);
  auto storage = std::make_unique<TFitStorage>();
  TComputed<TTolerResult> bisegmented = TolerCompute(means, params, *storage, false, true, ',');
  ASSERT_FALSE(bisegmented.Refused());
  const TTolerResult& b = bisegmented.Value();
  ASSERT_NE(b.linearAhead, nullptr);
  const TComputed<TTolerLinearResult> afterwards =
      TolerLinearCompute(means, b.means.margins, b.T, params, *storage);
  const std::string expected = ReportOf(afterwards, ',');
  ASSERT_FALSE(expected.empty());

  const TComputed<TTolerLinearResult> taken =
      b.linearAhead->Take(means, b.means.margins, b.T, params, *storage);
  EXPECT_EQ(ReportOf(taken, ','), expected);
  ASSERT_NE(b.linearAhead->Report(','), nullptr);
  EXPECT_EQ(*b.linearAhead->Report(','), expected);
  // Another separator: the command writes the report itself.
  EXPECT_EQ(b.linearAhead->Report('.'), nullptr);
  // The thread's result is given once; a second Take fits again, to the same result.
  EXPECT_EQ(ReportOf(b.linearAhead->Take(means, b.means.margins, b.T, params, *storage), ','),
            expected);
  EXPECT_EQ(b.linearAhead->Report(','), nullptr);

  // Means changed after the start: fitted again, and no report from the thread.
  TComputed<TTolerResult> again = TolerCompute(means, params, *storage, false, true, ',');
  ASSERT_FALSE(again.Refused());
  TGxeMeans changed = means;
  changed.Y(7, 11) += 1;
  const TComputed<TTolerLinearResult> refit = again.Value().linearAhead->Take(
      changed, again.Value().means.margins, again.Value().T, params, *storage);
  EXPECT_EQ(ReportOf(refit, ','), ReportOf(TolerLinearCompute(changed, again.Value().means.margins,
                                                              again.Value().T, params, *storage),
                                           ','));
  EXPECT_NE(ReportOf(refit, ','), expected);
  EXPECT_EQ(again.Value().linearAhead->Report(','), nullptr);
}

TEST(TolerLinearAhead, NotStartedForTheSmallModelOrWhenNotAsked) {
  const struct {
    int g, a;
    bool ask;
  } cases[] = {{40, 50, true}, {60, 90, false}};  // orders 132 and 212
  auto storage = std::make_unique<TFitStorage>();
  for (const auto& c : cases) {
    TGxeMeans means;
    TAnalysisParams params;
    testing::BrokenLinesToFit(means, params, c.g, c.a);
    TComputed<TTolerResult> fit = TolerCompute(means, params, *storage, false, c.ask);
    ASSERT_FALSE(fit.Refused());
    EXPECT_EQ(fit.Value().linearAhead, nullptr) << c.g << " x " << c.a;
  }
}

}  // namespace
}  // namespace qv
