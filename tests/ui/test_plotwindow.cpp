// The plot window ("&Gráficos"): the plots of the last run, picked by variable and plot,
// zoomed, named under the mouse, saved and printed as shown.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPrinter>
#include <QPushButton>
#include <QTest>
#include <cmath>

#include "app_fixture.h"
#include "methods/finlay.h"
#include "plots/model.h"
#include "support/golden.h"
#include "support/gxe_fixture.h"
#include "support/steps.h"
#include "support/tables.h"
#include "ui/plotwindow.h"

namespace qv::testing {
namespace {

class PlotWindow : public ProgramTest {
 protected:
  // Wricke's analysis of the 4 x 5 table, from its menu item, to the report window.
  void RunWricke() {
    const std::string table = Table(GxeCsv(4, 5, k4x5));
    ModalDriver run;
    run.File(table);
    run.Params({{"EditNum_gen", "4"}, {"EditNum_amb", "5"}, {"EditNum_rep", "3"}}, 0, 1);
    run.Box(kConfirmParams, QMessageBox::Yes);
    Trigger("Wricke1");
    ASSERT_EQ(run.StepsLeft(), 0u);
  }
  ui::TFormGraficos& Window() { return program->PlotWindow(); }
};

TEST_F(PlotWindow, ShowsThePlotsOfTheLastRun) {
  // Before any analysis there is nothing to draw.
  driver.Box("Não há gráficos para mostrar: faça uma análise primeiro.");
  Trigger("Graficos1");
  EXPECT_EQ(driver.StepsLeft(), 0u);
  EXPECT_FALSE(Window().isVisible());

  RunWricke();
  Trigger("Graficos1");
  ASSERT_TRUE(Window().isVisible());
  ASSERT_EQ(Window().ComboVariavel()->count(), 1);
  EXPECT_EQ(Window().ComboVariavel()->itemText(0).toStdString(), "yield");
  ASSERT_EQ(Window().ComboGrafico()->count(), 1);
  EXPECT_EQ(Window().ComboGrafico()->itemText(0).toStdString(),
            "Wricke (1965): médias e ecovalências");

  // Drawn at the window's size: one marker per genotype, each naming its genotype.
  ui::TPlotView& view = *Window().PlotView();
  view.grab();
  ASSERT_EQ(view.Scene().markers.size(), 4u);
  const auto& first = view.Scene().markers.front();
  EXPECT_EQ(view.PointAt(QPointF(first.x + 2, first.y - 2)), "Genótipo 1");
  EXPECT_EQ(view.PointAt(QPointF(first.x + 40, first.y + 40)).find("Genótipo"), std::string::npos);
}

TEST_F(PlotWindow, ZoomsAboutTheMiddleAndShowsAllAgain) {
  RunWricke();
  Trigger("Graficos1");
  ui::TPlotView& view = *Window().PlotView();
  view.grab();
  const plots::TView all = view.Scene().view;
  QTest::mouseClick(Window().findChild<QPushButton*>("BotaoAmpliar"), Qt::LeftButton);
  view.grab();
  const plots::TView zoomed = view.Scene().view;
  EXPECT_NEAR(zoomed.xmax - zoomed.xmin, (all.xmax - all.xmin) / 1.5, 1e-9);
  EXPECT_NEAR(zoomed.ymax - zoomed.ymin, (all.ymax - all.ymin) / 1.5, 1e-9);
  EXPECT_NEAR(zoomed.xmin + zoomed.xmax, all.xmin + all.xmax, 1e-9);
  QTest::mouseClick(Window().findChild<QPushButton*>("BotaoTudo"), Qt::LeftButton);
  view.grab();
  EXPECT_EQ(view.Scene().view, all);

  // The wheel zooms about the point under the mouse, which stays where it was.
  const QPointF at(view.Scene().plotArea.left + 100, view.Scene().plotArea.top + 80);
  const double x = view.Scene().DataX(at.x()), y = view.Scene().DataY(at.y());
  QWheelEvent wheel(at, view.mapToGlobal(at), QPoint(), QPoint(0, 120), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(&view, &wheel);
  view.grab();
  EXPECT_LT(view.Scene().view.xmax - view.Scene().view.xmin, all.xmax - all.xmin);
  EXPECT_NEAR(view.Scene().PixelX(x), at.x(), 1e-6);
  EXPECT_NEAR(view.Scene().PixelY(y), at.y(), 1e-6);
}

TEST_F(PlotWindow, SavesAndPrintsThePlotAsShown) {
  RunWricke();
  Trigger("Graficos1");
  Window().PlotView()->grab();
  for (const auto& [name, magic] :
       {std::pair{"p.svg", "<?xml"}, {"p.PNG", "\x89PNG"}, {"p.pdf", "%PDF"}}) {
    const std::string path = folder.StdPath(name);
    EXPECT_EQ(Window().SaveTo(path), "") << name;
    EXPECT_EQ(ReadFile(path).rfind(magic, 0), 0u) << name;
  }
  EXPECT_NE(Window().SaveTo(folder.StdPath("p.gif")), "");
  // Zoomed in, the file shows the zoomed view: fewer ticks' worth of data across.
  QTest::mouseClick(Window().findChild<QPushButton*>("BotaoAmpliar"), Qt::LeftButton);
  EXPECT_EQ(Window().SaveTo(folder.StdPath("z.svg")), "");
  EXPECT_NE(ReadFile(folder.StdPath("z.svg")), ReadFile(folder.StdPath("p.svg")));

  QPrinter printer;
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(folder.Path("printed.pdf"));
  Window().PrintTo(printer);
  const std::string printed = ReadFile(folder.StdPath("printed.pdf"));
  EXPECT_EQ(printed.rfind("%PDF", 0), 0u);
  EXPECT_GT(printed.size(), 1000u);
}

// The genotypes typed in "Destacar" are the ones drawn in colour in the plots of lines; a list
// that is not one is refused with a warning and the plot left as it was.
TEST_F(PlotWindow, HighlightsTheGenotypesTyped) {
  auto means = FixtureMeans();
  TStepRun step = RunStep(FinlayMethod(), *means, FixtureParams());
  ASSERT_FALSE(step.Refused());
  auto run = std::make_shared<TRunOutcome>();
  TVariableRecord& record = run->variables.emplace_back();
  record.name = "yield";
  record.result = std::move(step.result.result);
  record.means = ObservedMeans(*means, kFixtureG, kFixtureA);
  Window().SetRun(run, {});
  Window().show();
  ASSERT_EQ(Window().CurrentPlot()->id, "retas");
  const auto coloured = [&] {
    int n = 0;
    for (const plots::TPlotLine& line : Window().CurrentPlot()->lines) n += line.style.width == 2;
    return n;
  };
  EXPECT_EQ(coloured(), kFixtureG);  // up to 8 genotypes, all of them

  QLineEdit& edit = *Window().EditDestaque();
  edit.setText("2, 4");
  QTest::keyClick(&edit, Qt::Key_Return);
  EXPECT_EQ(Window().CurrentPlot()->id, "retas");
  EXPECT_EQ(coloured(), 2);

  driver.Box("genótipo a destacar inválido: \"x\" (códigos 1, 2, ... ou \"todos\")");
  edit.setText("x");
  QTest::keyClick(&edit, Qt::Key_Return);
  EXPECT_EQ(driver.StepsLeft(), 0u);
  EXPECT_EQ(coloured(), 2);
}

}  // namespace
}  // namespace qv::testing
