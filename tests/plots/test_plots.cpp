// The plots drawn from small fixtures and read back from the SVG files: every marker must sit
// where the method's numbers put it on the axes the drawing states, the axes of the AMMI
// components must name their shares of the interaction, and a segmented fit must bend at its
// junction. The expected numbers are computed here from the means by the textbook formulas,
// not taken from the method's code, wherever that is short.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "analysis/means.h"
#include "analysis/run.h"
#include "methods/ammi.h"
#include "methods/finlay.h"
#include "methods/wricke.h"
#include "plotrender/plotfiles.h"
#include "plots/layout.h"
#include "plots/methodplots.h"
#include "plots/svg_reader.h"
#include "segmented/silva.h"
#include "support/gxe_fixture.h"
#include "support/steps.h"

namespace {

using qv::testing::ReadSvg;
using qv::testing::TSvgDrawing;
using qv::testing::TSvgShape;

constexpr const char* kGenotypeFill = "#1f5fa8";
constexpr const char* kEnvironmentFill = "#c0392b";
// Pixels: the SVG writes coordinates to 6 significant digits.
constexpr double kPixelTolerance = 0.02;

class PlotDrawing : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("qv_plots_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  // Every plot of the variable, analysed by `method` on `y` (g x a, row by row).
  std::vector<qv::plots::TPlotModel> Plots(const qv::TMethod& method, int g, int a,
                                           const std::vector<double>& y,
                                           qv::TAnalysisParams params = {}) {
    auto means = std::make_unique<qv::TGxeMeans>();
    // The grand mean as the run accumulates it for the methods that use it.
    means->MediaGeral = 0;
    for (int i = 1; i <= g; ++i)
      for (int j = 1; j <= a; ++j) {
        means->Y(i, j) = static_cast<long double>(y[static_cast<std::size_t>((i - 1) * a + j - 1)]);
        means->MediaGeral += y[static_cast<std::size_t>((i - 1) * a + j - 1)] / (g * a);
      }
    params.g = g;
    params.a = a;
    if (params.r <= 0) params.r = 3;
    if (params.gle <= 0) params.gle = 30;
    if (params.QME <= 0) params.QME = 0.8;
    qv::testing::TStepRun run = qv::testing::RunStep(method, *means, params);
    EXPECT_FALSE(run.Refused()) << run.Cause();
    record_.name = "PROD";
    record_.result = std::move(run.result.result);
    record_.means = qv::ObservedMeans(*means, g, a);
    return qv::plots::VariablePlots(record_, {});
  }

  // The plot drawn into an SVG file and read back.
  TSvgDrawing Draw(const qv::plots::TPlotModel& plot) {
    const std::string path = (dir_ / (plot.id + ".svg")).string();
    EXPECT_EQ(qv::plotrender::WritePlotFile(plot, path, qv::plotrender::TPlotFormat::Svg), "");
    TSvgDrawing d = ReadSvg(path);
    // The axes are read from the drawing: a straight map through every tick.
    EXPECT_GE(d.x.ticks, 3);
    EXPECT_GE(d.y.ticks, 3);
    EXPECT_LT(d.x.worstResidual, kPixelTolerance);
    EXPECT_LT(d.y.worstResidual, kPixelTolerance);
    return d;
  }

  static const qv::plots::TPlotModel& Find(const std::vector<qv::plots::TPlotModel>& plots,
                                           const std::string& id) {
    for (const auto& p : plots)
      if (p.id == id) return p;
    ADD_FAILURE() << "no plot " << id;
    return plots.front();
  }

  std::filesystem::path dir_;
  qv::TVariableRecord record_;
};

// Whether some marker's centre lies at the data point (x, y).
::testing::AssertionResult MarkerAt(const TSvgDrawing& d, const std::vector<TSvgShape>& markers,
                                    double x, double y) {
  const double px = d.x.Pixel(x), py = d.y.Pixel(y);
  double nearest = 1e9;
  for (const TSvgShape& m : markers) {
    const auto c = m.Centre();
    nearest = std::min(nearest, std::hypot(c.x - px, c.y - py));
  }
  if (nearest < kPixelTolerance) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "no marker at (" << x << ", " << y << "); nearest " << nearest << " px away";
}

// AMMI on means whose interaction has two known components: Z = 3 u1 v1' + 1 u2 v2' with
// u1 = (1, 1, -1, -1)/2, u2 = (1, -1, 1, -1)/2, v1 = (1, -1, 0)/sqrt 2, v2 = (1, 1, -2)/sqrt 6,
// over the additive part 10 + g(i) + e(j). Singular values 3 and 1: the components explain
// 9/10 and 1/10 of the interaction sum of squares; the scores are sqrt(d) u and sqrt(d) v.
TEST_F(PlotDrawing, AmmiBiplotsPlaceScoresAndNameShares) {
  const double u1[4] = {0.5, 0.5, -0.5, -0.5}, u2[4] = {0.5, -0.5, 0.5, -0.5};
  const double v1[3] = {1 / std::sqrt(2.0), -1 / std::sqrt(2.0), 0};
  const double v2[3] = {1 / std::sqrt(6.0), 1 / std::sqrt(6.0), -2 / std::sqrt(6.0)};
  const double ge[4] = {0.5, -0.2, 0.1, -0.4}, ee[3] = {1, -0.5, -0.5};
  std::vector<double> y;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 3; ++j) y.push_back(10 + ge[i] + ee[j] + 3 * u1[i] * v1[j] + u2[i] * v2[j]);
  const auto plots = Plots(qv::AmmiMethod(), 4, 3, y);
  ASSERT_EQ(plots.size(), 2u);

  const TSvgDrawing ammi1 = Draw(Find(plots, "ammi1"));
  ASSERT_NE(ammi1.TextContaining("CP1 (90.0% da SQ da interação)"), nullptr);
  const auto genotypes1 = ammi1.Shapes("circle", kGenotypeFill);
  const auto environments1 = ammi1.Shapes("path", kEnvironmentFill);
  // One sign for the whole component (an eigenvector's sign is arbitrary): the one drawn.
  const double s1 = ammi1.y.Value(genotypes1.front().Centre().y) > 0 ? 1 : -1;
  const double sign1 = u1[0] > 0 ? s1 : -s1;
  for (int i = 0; i < 4; ++i)
    EXPECT_TRUE(MarkerAt(ammi1, genotypes1, 10 + ge[i], sign1 * std::sqrt(3.0) * u1[i])) << i;
  for (int j = 0; j < 3; ++j)
    EXPECT_TRUE(MarkerAt(ammi1, environments1, 10 + ee[j], sign1 * std::sqrt(3.0) * v1[j])) << j;

  const TSvgDrawing ammi2 = Draw(Find(plots, "ammi2"));
  ASSERT_NE(ammi2.TextContaining("CP1 (90.0% da SQ da interação)"), nullptr);
  ASSERT_NE(ammi2.TextContaining("CP2 (10.0% da SQ da interação)"), nullptr);
  // A biplot: a unit spans as many pixels across as up.
  EXPECT_NEAR(ammi2.x.scale, -ammi2.y.scale, 1e-3 * ammi2.x.scale);
  const auto genotypes2 = ammi2.Shapes("circle", kGenotypeFill);
  const auto environments2 = ammi2.Shapes("path", kEnvironmentFill);
  ASSERT_EQ(genotypes2.size(), 5u);  // four genotypes and the legend's marker
  ASSERT_EQ(environments2.size(), 4u);
  double sign2 = 0;
  for (const TSvgShape& m : genotypes2) {
    const double second = ammi2.y.Value(m.Centre().y);
    if (std::fabs(second) > 0.1 && std::fabs(ammi2.x.Value(m.Centre().x)) < 5) {
      sign2 = (second > 0) == (u2[0] > 0) ? 1 : -1;
      const double first = ammi2.x.Value(m.Centre().x);
      // Genotype 1 or 3 (u2 = +1/2) or 2 or 4 (-1/2): find which by the first score.
      int i = 0;
      while (i < 4 && std::fabs(sign1 * std::sqrt(3.0) * u1[i] - first) > 1e-3) ++i;
      ASSERT_LT(i, 4);
      sign2 = std::fabs(second - u2[i]) < 1e-3 ? 1 : -1;
      break;
    }
  }
  ASSERT_NE(sign2, 0);
  for (int i = 0; i < 4; ++i)
    EXPECT_TRUE(MarkerAt(ammi2, genotypes2, sign1 * std::sqrt(3.0) * u1[i], sign2 * u2[i])) << i;
  for (int j = 0; j < 3; ++j)
    EXPECT_TRUE(MarkerAt(ammi2, environments2, sign1 * std::sqrt(3.0) * v1[j], sign2 * v2[j])) << j;
}

// Finlay and Wilkinson on the shared 4 x 5 fixture: the slopes b(i) = sum_j Y(i, j) I(j) /
// sum_j I(j)^2 on the index I(j) = environment mean - grand mean, the intercepts the genotype
// means.
TEST_F(PlotDrawing, FinlayLinesAndMeanSlopePlane) {
  using qv::testing::kFixtureA;
  using qv::testing::kFixtureG;
  using qv::testing::kFixtureY;
  std::vector<double> y;
  for (int i = 0; i < kFixtureG; ++i)
    for (int j = 0; j < kFixtureA; ++j) y.push_back(static_cast<double>(kFixtureY[i][j]));
  double grand = 0, index[kFixtureA], mean[kFixtureG], slope[kFixtureG];
  for (double v : y) grand += v / (kFixtureG * kFixtureA);
  double sumI2 = 0;
  for (int j = 0; j < kFixtureA; ++j) {
    index[j] = -grand;
    for (int i = 0; i < kFixtureG; ++i) index[j] += y[i * kFixtureA + j] / kFixtureG;
    sumI2 += index[j] * index[j];
  }
  for (int i = 0; i < kFixtureG; ++i) {
    mean[i] = slope[i] = 0;
    for (int j = 0; j < kFixtureA; ++j) {
      mean[i] += y[i * kFixtureA + j] / kFixtureA;
      slope[i] += y[i * kFixtureA + j] * index[j] / sumI2;
    }
  }
  const auto plots = Plots(qv::FinlayMethod(), kFixtureG, kFixtureA, y);

  const TSvgDrawing plane = Draw(Find(plots, "media-b1"));
  const auto points = plane.Shapes("circle", kGenotypeFill);
  ASSERT_EQ(points.size(), static_cast<std::size_t>(kFixtureG));
  for (int i = 0; i < kFixtureG; ++i) EXPECT_TRUE(MarkerAt(plane, points, mean[i], slope[i])) << i;

  // Each genotype's line (width 2) runs over the range of the index along b0 + b1 I.
  const TSvgDrawing lines = Draw(Find(plots, "retas"));
  const double lo = *std::min_element(index, index + kFixtureA);
  const double hi = *std::max_element(index, index + kFixtureA);
  int matched = 0;
  for (const TSvgShape& s : lines.shapes) {
    if (s.kind != "polyline" || s.strokeWidth != 2) continue;
    ASSERT_EQ(s.points.size(), 2u);
    EXPECT_NEAR(lines.x.Value(s.points[0].x), lo, 1e-4);
    EXPECT_NEAR(lines.x.Value(s.points[1].x), hi, 1e-4);
    for (int i = 0; i < kFixtureG; ++i) {
      if (std::fabs(lines.y.Value(s.points[0].y) - (mean[i] + slope[i] * lo)) < 1e-4 &&
          std::fabs(lines.y.Value(s.points[1].y) - (mean[i] + slope[i] * hi)) < 1e-4) {
        ++matched;
      }
    }
  }
  EXPECT_EQ(matched, kFixtureG);
  // The observed means of every genotype (all highlighted: 4 <= 8) at (I(j), Y(i, j)).
  std::vector<TSvgShape> observed;
  for (const TSvgShape& s : lines.shapes)
    if (s.kind == "circle") observed.push_back(s);
  for (int i = 0; i < kFixtureG; ++i)
    for (int j = 0; j < kFixtureA; ++j)
      EXPECT_TRUE(MarkerAt(lines, observed, index[j], y[i * kFixtureA + j])) << i << "," << j;
}

// A chosen few highlighted: their lines in colour and width 2 with their observed means, the
// others thin and grey.
TEST_F(PlotDrawing, ChosenGenotypesAreHighlighted) {
  using qv::testing::kFixtureA;
  using qv::testing::kFixtureG;
  using qv::testing::kFixtureY;
  std::vector<double> y;
  for (int i = 0; i < kFixtureG; ++i)
    for (int j = 0; j < kFixtureA; ++j) y.push_back(static_cast<double>(kFixtureY[i][j]));
  Plots(qv::FinlayMethod(), kFixtureG, kFixtureA, y);
  std::string error;
  const auto options = qv::plots::ReadHighlighted("3", error);
  ASSERT_TRUE(options) << error;
  const TSvgDrawing d = Draw(Find(qv::plots::VariablePlots(record_, {}, *options), "retas"));
  int coloured = 0, grey = 0;
  for (const TSvgShape& s : d.shapes) {
    if (s.kind != "polyline" || s.points.size() != 2 || s.points[0].x == s.points[1].x) continue;
    coloured += s.strokeWidth == 2;
    grey += s.stroke == "#c8c8c8";
  }
  EXPECT_EQ(coloured, 1);
  EXPECT_EQ(grey, kFixtureG - 1 + 1);  // the other genotypes, and the legend's sample
  std::size_t observed = 0;
  for (const TSvgShape& s : d.shapes) observed += s.kind == "circle";
  EXPECT_EQ(observed, static_cast<std::size_t>(kFixtureA) + 1);  // and the legend's marker
}

TEST(PlotOptions, HighlightedGenotypesAreReadFromAList) {
  struct TCase {
    const char* text;
    bool valid;
    std::vector<int> codes;  // empty: the default choice
  };
  const TCase cases[] = {{"", true, {}},        {"  ", true, {}},  {"1, 5 7", true, {1, 5, 7}},
                         {"2;3", true, {2, 3}}, {"0", false, {}},  {"a", false, {}},
                         {"-1", false, {}},     {"1.5", false, {}}};
  for (const TCase& c : cases) {
    std::string error;
    const auto options = qv::plots::ReadHighlighted(c.text, error);
    ASSERT_EQ(options.has_value(), c.valid) << c.text;
    if (!c.valid) {
      EXPECT_NE(error.find("genótipo"), std::string::npos);
      continue;
    }
    EXPECT_EQ(options->highlighted.has_value(), !c.codes.empty()) << c.text;
    if (options->highlighted) {
      EXPECT_EQ(*options->highlighted, c.codes) << c.text;
    }
  }
  std::string error;
  const auto all = qv::plots::ReadHighlighted("todos", error);
  ASSERT_TRUE(all && all->highlighted);
  EXPECT_EQ(all->highlighted->size(), 600u);
}

// Wricke's ecovalence W(i) = sum_j (Y(i, j) - mean(i) - mean(j) + grand mean)^2 against the
// genotype mean.
TEST_F(PlotDrawing, WrickePlacesGenotypesByMeanAndEcovalence) {
  const int g = 3, a = 4;
  const std::vector<double> y = {5, 7, 6, 9, 4, 8, 5, 7, 6, 6, 7, 8};
  double grand = 0, rowMean[g] = {}, colMean[a] = {};
  for (int i = 0; i < g; ++i)
    for (int j = 0; j < a; ++j) {
      rowMean[i] += y[i * a + j] / a;
      colMean[j] += y[i * a + j] / g;
      grand += y[i * a + j] / (g * a);
    }
  const TSvgDrawing d = Draw(Find(Plots(qv::WrickeMethod(), g, a, y), "media-w"));
  const auto points = d.Shapes("circle", kGenotypeFill);
  ASSERT_EQ(points.size(), static_cast<std::size_t>(g));
  for (int i = 0; i < g; ++i) {
    double w = 0;
    // Wricke (1965) weighs the squares by the replicates behind each mean (r = 3).
    for (int j = 0; j < a; ++j)
      w += 3 * std::pow(y[i * a + j] - rowMean[i] - colMean[j] + grand, 2);
    EXPECT_TRUE(MarkerAt(d, points, rowMean[i], w)) << i;
  }
  EXPECT_NE(d.TextContaining("Ecovalência W(i)"), nullptr);
  // A file that cannot be written is reported, in every format, and nothing is left behind.
  for (const auto format : {qv::plotrender::TPlotFormat::Svg, qv::plotrender::TPlotFormat::Png,
                            qv::plotrender::TPlotFormat::Pdf}) {
    const std::string path = (dir_ / "nao-existe" / "w.svg").string();
    EXPECT_NE(qv::plotrender::WritePlotFile(Find(Plots(qv::WrickeMethod(), g, a, y), "media-w"),
                                            path, format),
              "");
    EXPECT_FALSE(std::filesystem::exists(path));
  }
}

// Silva's segmented model on the shared fixture: each genotype's line changes slope from b1 to
// b2 at its own junction X0, where a diamond marks it.
TEST_F(PlotDrawing, SilvaSegmentsBendAtTheJunction) {
  using qv::testing::kFixtureA;
  using qv::testing::kFixtureG;
  using qv::testing::kFixtureY;
  std::vector<double> y;
  for (int i = 0; i < kFixtureG; ++i)
    for (int j = 0; j < kFixtureA; ++j) y.push_back(static_cast<double>(kFixtureY[i][j]));
  const auto plots = Plots(qv::SilvaMethod(), kFixtureG, kFixtureA, y);
  ASSERT_EQ(plots.size(), 1u);
  const auto* silva = record_.result.As<qv::TSilvaResult>();
  ASSERT_NE(silva, nullptr);
  const TSvgDrawing d = Draw(plots.front());
  const auto diamonds = d.Shapes("path", "#ffffff");
  int bent = 0;
  for (int i = 1; i <= kFixtureG; ++i) {
    const double a = static_cast<double>(silva->a(i)), b1 = static_cast<double>(silva->b1(i));
    const double b2 = static_cast<double>(silva->b2(i)), x0 = static_cast<double>(silva->X0(i));
    const double y0 = a + b1 * x0;
    // The genotype's polyline: the one of three vertices whose middle one is its junction.
    for (const TSvgShape& s : d.shapes) {
      if (s.kind != "polyline" || s.strokeWidth != 2 || s.points.size() != 3) continue;
      if (std::hypot(s.points[1].x - d.x.Pixel(x0), s.points[1].y - d.y.Pixel(y0)) >
          kPixelTolerance)
        continue;
      const auto slope = [&](const auto& p, const auto& q) {
        return (d.y.Value(q.y) - d.y.Value(p.y)) / (d.x.Value(q.x) - d.x.Value(p.x));
      };
      EXPECT_NEAR(slope(s.points[0], s.points[1]), b1, 1e-4 * (1 + std::fabs(b1))) << i;
      EXPECT_NEAR(slope(s.points[1], s.points[2]), b2, 1e-4 * (1 + std::fabs(b2))) << i;
      EXPECT_TRUE(MarkerAt(d, diamonds, x0, y0)) << i;
      ++bent;
      break;
    }
  }
  // Every genotype whose junction lies inside the range of the index is drawn bent there.
  int inside = 0;
  const double lo = static_cast<double>(silva->means.margins.Index(1));
  double mn = lo, mx = lo;
  for (int j = 1; j <= kFixtureA; ++j) {
    mn = std::min(mn, static_cast<double>(silva->means.margins.Index(j)));
    mx = std::max(mx, static_cast<double>(silva->means.margins.Index(j)));
  }
  for (int i = 1; i <= kFixtureG; ++i) inside += silva->X0(i) > mn && silva->X0(i) < mx;
  EXPECT_GT(inside, 0);
  EXPECT_EQ(bent, inside);
}

// 600 genotypes crowded in a small cloud: every marker is drawn, the labels that would
// overlap are left out, and none of those placed overlaps another label or a marker.
TEST(PlotLayout, CrowdedLabelsAreThinnedMarkersStay) {
  qv::plots::TPlotModel model;
  model.title = "t";
  qv::plots::TPointSeries series;
  for (int i = 1; i <= 600; ++i) {
    const double t = i * 2.399963;  // the golden angle: a sunflower of points
    const double r = std::sqrt(i);
    series.points.push_back({r * std::cos(t), r * std::sin(t), "G" + std::to_string(i), ""});
  }
  model.series.push_back(series);
  const qv::plots::TApproximateTextMeasure measure;
  const auto scene = qv::plots::LayoutPlot(model, 900, 650, measure);
  EXPECT_EQ(scene.markers.size(), 600u);
  EXPECT_EQ(scene.labelsPlaced + scene.labelsDropped, 600);
  EXPECT_GT(scene.labelsDropped, 0);
  EXPECT_GT(scene.labelsPlaced, 50);
  std::vector<qv::plots::TRect> boxes;
  for (const auto& t : scene.texts) {
    if (t.role != qv::plots::TTextRole::Label) continue;
    const qv::plots::TRect box{t.x, t.y - measure.Ascent(t.role), measure.Width(t.text, t.role),
                               measure.Height(t.role)};
    EXPECT_TRUE(scene.plotArea.Contains(box.left, box.top) &&
                scene.plotArea.Contains(box.Right(), box.Bottom()));
    for (const auto& other : boxes) ASSERT_FALSE(box.Intersects(other)) << t.text;
    for (const auto& m : scene.markers) {
      const double half = m.style.size / 2;
      ASSERT_FALSE(box.Intersects({m.x - half, m.y - half, m.style.size, m.style.size})) << t.text;
    }
    boxes.push_back(box);
  }
  EXPECT_EQ(static_cast<int>(boxes.size()), scene.labelsPlaced);

  // Spread out, every label finds room.
  qv::plots::TPlotModel sparse;
  for (int i = 0; i < 10; ++i) series.points.resize(10);
  for (int i = 0; i < 10; ++i)
    series.points[static_cast<std::size_t>(i)] = {double(i), double(i % 3), "G", ""};
  sparse.series.push_back(series);
  const auto spread = qv::plots::LayoutPlot(sparse, 900, 650, measure);
  EXPECT_EQ(spread.labelsPlaced, 10);
  EXPECT_EQ(spread.labelsDropped, 0);
}

}  // namespace
