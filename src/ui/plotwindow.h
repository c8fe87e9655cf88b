// TFormGraficos: the plots of the last run. The variable and the plot are picked from two
// lists; the plot zooms (wheel, buttons) and pans (drag), names the point under the mouse, and
// is saved as SVG, PNG or PDF or printed as it is shown.
#pragma once

#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/run.h"
#include "plots/labels.h"
#include "plots/methodplots.h"
#include "plots/layout.h"
#include "plots/model.h"

class QComboBox;
class QLineEdit;
class QPrinter;
class QPushButton;

namespace qv::ui {

// The drawing: one plot, painted by the plot renderer at the widget's size.
class TPlotView : public QWidget {
  Q_OBJECT

 public:
  explicit TPlotView(QWidget* parent = nullptr);

  void SetPlot(const plots::TPlotModel* plot);  // nullptr: nothing to draw
  // Zooms by `factor` (> 1 in) about a pixel of the widget; about its middle by default.
  void Zoom(double factor, std::optional<QPointF> about = std::nullopt);
  void ShowAll();
  // The part of the data shown; unset while the whole plot is.
  const std::optional<plots::TView>& View() const { return view_; }
  // The last drawing, in the widget's pixels.
  const plots::TPlotScene& Scene() const { return scene_; }
  // The name of the point whose marker is at (or within a few pixels of) the pixel; "".
  std::string PointAt(QPointF pixel) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  const plots::TPlotModel* plot_ = nullptr;
  std::optional<plots::TView> view_;
  plots::TPlotScene scene_;
  std::optional<QPointF> dragFrom_;
};

class TFormGraficos : public QWidget {
  Q_OBJECT

 public:
  explicit TFormGraficos(QWidget* parent = nullptr);

  // The run whose plots are shown, and the names of its genotypes and environments.
  void SetRun(std::shared_ptr<const TRunOutcome> run, plots::TPlotLabels labels);
  // Whether the run has a variable with plots.
  bool HasPlots() const;

  QComboBox* ComboVariavel() const { return variable_; }
  QComboBox* ComboGrafico() const { return plot_; }
  // The genotypes highlighted in the plots of lines ("1, 5, 7", "todos"; empty: the default).
  QLineEdit* EditDestaque() const { return highlight_; }
  TPlotView* PlotView() const { return view_; }
  // The plot shown, or nullptr.
  const plots::TPlotModel* CurrentPlot() const;

  // Writes the plot as shown (its format by the file's extension); the reason when it could not.
  std::string SaveTo(const std::string& path) const;
  // Prints the plot as shown, scaled to the page.
  void PrintTo(QPrinter& printer) const;

 public slots:
  void SaveClick();
  void PrintClick();

 private:
  void VariableChosen(int index);
  void PlotChosen(int index);
  void HighlightChanged();

  std::shared_ptr<const TRunOutcome> run_;
  plots::TPlotLabels labels_;
  plots::TPlotOptions options_;
  std::vector<const TVariableRecord*> variables_;  // those with plots, as listed
  std::vector<plots::TPlotModel> plots_;           // the plots of the variable chosen
  QComboBox* variable_ = nullptr;
  QComboBox* plot_ = nullptr;
  QLineEdit* highlight_ = nullptr;
  TPlotView* view_ = nullptr;
};

}  // namespace qv::ui
