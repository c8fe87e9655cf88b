#include "ui/plotwindow.h"

#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QToolTip>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <cmath>

#include "plotrender/plotfiles.h"
#include "plotrender/render.h"
#include "plots/methodplots.h"
#include "ui/messages.h"

namespace qv::ui {

namespace {

QString Text(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// A marker this close to the mouse (pixels) names its point.
constexpr double kPointRadius = 6;

}  // namespace

TPlotView::TPlotView(QWidget* parent) : QWidget(parent) {
  setObjectName("PlotView");
  setMouseTracking(true);
  setMinimumSize(480, 360);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TPlotView::SetPlot(const plots::TPlotModel* plot) {
  plot_ = plot;
  view_.reset();
  scene_ = {};
  update();
}

void TPlotView::Zoom(double factor, std::optional<QPointF> about) {
  if (!plot_ || !(factor > 0)) return;
  // The view the user sees: the laid-out one, which for a biplot is wider than the data's.
  const plots::TView v = scene_.width > 0 ? scene_.view : plots::DataView(*plot_);
  double cx = (v.xmin + v.xmax) / 2, cy = (v.ymin + v.ymax) / 2;
  if (about && scene_.width > 0) {
    cx = scene_.DataX(about->x());
    cy = scene_.DataY(about->y());
  }
  view_ = plots::TView{cx - (cx - v.xmin) / factor, cx + (v.xmax - cx) / factor,
                       cy - (cy - v.ymin) / factor, cy + (v.ymax - cy) / factor};
  update();
}

void TPlotView::ShowAll() {
  view_.reset();
  update();
}

std::string TPlotView::PointAt(QPointF pixel) const {
  if (!plot_) return {};
  const plots::TSceneMarker* best = nullptr;
  double nearest = kPointRadius;
  for (const plots::TSceneMarker& m : scene_.markers) {
    if (m.series < 0) continue;
    const double d = std::hypot(m.x - pixel.x(), m.y - pixel.y());
    if (d <= nearest) {
      nearest = d;
      best = &m;
    }
  }
  if (!best) return {};
  return plot_->series[static_cast<std::size_t>(best->series)]
      .points[static_cast<std::size_t>(best->point)]
      .name;
}

void TPlotView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (!plot_) {
    painter.fillRect(rect(), Qt::white);
    return;
  }
  scene_ = plotrender::PaintPlot(painter, *plot_, width(), height(), view_);
}

void TPlotView::wheelEvent(QWheelEvent* event) {
  const double steps = event->angleDelta().y() / 120.0;
  if (steps != 0) Zoom(std::pow(1.25, steps), event->position());
  event->accept();
}

void TPlotView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) dragFrom_ = event->position();
}

void TPlotView::mouseMoveEvent(QMouseEvent* event) {
  if (dragFrom_ && scene_.width > 0) {
    // The data under the mouse follows it.
    const double dx = scene_.DataX(dragFrom_->x()) - scene_.DataX(event->position().x());
    const double dy = scene_.DataY(dragFrom_->y()) - scene_.DataY(event->position().y());
    const plots::TView v = scene_.view;
    view_ = plots::TView{v.xmin + dx, v.xmax + dx, v.ymin + dy, v.ymax + dy};
    dragFrom_ = event->position();
    update();
    return;
  }
  const std::string name = PointAt(event->position());
  if (name.empty()) {
    QToolTip::hideText();
  } else {
    QToolTip::showText(event->globalPosition().toPoint(), Text(name), this);
  }
}

void TPlotView::mouseReleaseEvent(QMouseEvent*) {
  dragFrom_.reset();
}

TFormGraficos::TFormGraficos(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("FormGraficos");
  setWindowTitle(QStringLiteral("Gráficos"));
  resize(960, 720);

  variable_ = new QComboBox(this);
  variable_->setObjectName("ComboVariavel");
  plot_ = new QComboBox(this);
  plot_->setObjectName("ComboGrafico");
  plot_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  highlight_ = new QLineEdit(this);
  highlight_->setObjectName("EditDestaque");
  highlight_->setPlaceholderText(QStringLiteral("padrão"));
  highlight_->setToolTip(QStringLiteral(
      "Genótipos destacados nos gráficos de retas e segmentos: códigos separados por vírgulas, "
      "ou \"todos\""));
  view_ = new TPlotView(this);

  const auto button = [this](const char* name, const char* caption, const char* tip) {
    auto* b = new QPushButton(QString::fromUtf8(caption), this);
    b->setObjectName(name);
    b->setToolTip(QString::fromUtf8(tip));
    return b;
  };
  QPushButton* zoomIn =
      button("BotaoAmpliar", "&Ampliar", "Aproxima o centro do gráfico (ou use a roda do mouse)");
  QPushButton* zoomOut = button("BotaoReduzir", "&Reduzir", "Afasta o gráfico");
  QPushButton* all = button("BotaoTudo", "&Tudo", "Mostra o gráfico inteiro");
  QPushButton* save = button("BotaoSalvar", "&Salvar...", "Salva o gráfico como SVG, PNG ou PDF");
  QPushButton* print = button("BotaoImprimir", "&Imprimir...", "Imprime o gráfico");

  auto* controls = new QHBoxLayout;
  auto* variableLabel = new QLabel(QStringLiteral("&Variável:"), this);
  variableLabel->setBuddy(variable_);
  auto* plotLabel = new QLabel(QStringLiteral("&Gráfico:"), this);
  plotLabel->setBuddy(plot_);
  controls->addWidget(variableLabel);
  controls->addWidget(variable_);
  controls->addWidget(plotLabel);
  controls->addWidget(plot_, 1);
  auto* highlightLabel = new QLabel(QStringLiteral("&Destacar:"), this);
  highlightLabel->setBuddy(highlight_);
  controls->addWidget(highlightLabel);
  controls->addWidget(highlight_);
  for (QPushButton* b : {zoomIn, zoomOut, all, save, print}) controls->addWidget(b);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(controls);
  layout->addWidget(view_, 1);

  connect(variable_, &QComboBox::currentIndexChanged, this, &TFormGraficos::VariableChosen);
  connect(plot_, &QComboBox::currentIndexChanged, this, &TFormGraficos::PlotChosen);
  connect(highlight_, &QLineEdit::editingFinished, this, &TFormGraficos::HighlightChanged);
  connect(zoomIn, &QPushButton::clicked, this, [this] { view_->Zoom(1.5); });
  connect(zoomOut, &QPushButton::clicked, this, [this] { view_->Zoom(1 / 1.5); });
  connect(all, &QPushButton::clicked, this, [this] { view_->ShowAll(); });
  connect(save, &QPushButton::clicked, this, &TFormGraficos::SaveClick);
  connect(print, &QPushButton::clicked, this, &TFormGraficos::PrintClick);
}

void TFormGraficos::SetRun(std::shared_ptr<const TRunOutcome> run, plots::TPlotLabels labels) {
  run_ = std::move(run);
  labels_ = std::move(labels);
  variables_.clear();
  const QSignalBlocker blocker(variable_);
  variable_->clear();
  if (run_) {
    for (const TVariableRecord& v : run_->variables) {
      if (v.status != TVariableStatus::Analysed || v.result.Empty()) continue;
      variables_.push_back(&v);
      variable_->addItem(Text(v.name));
    }
  }
  VariableChosen(variables_.empty() ? -1 : 0);
}

bool TFormGraficos::HasPlots() const {
  return !variables_.empty() && !plots_.empty();
}

void TFormGraficos::VariableChosen(int index) {
  // The view keeps no pointer into the old plots.
  view_->SetPlot(nullptr);
  plots_.clear();
  if (index >= 0 && index < static_cast<int>(variables_.size())) {
    plots_ = plots::VariablePlots(*variables_[static_cast<std::size_t>(index)], labels_, options_);
  }
  const QSignalBlocker blocker(plot_);
  plot_->clear();
  for (const plots::TPlotModel& p : plots_) plot_->addItem(Text(p.title));
  PlotChosen(plots_.empty() ? -1 : 0);
}

void TFormGraficos::PlotChosen(int index) {
  view_->SetPlot(index >= 0 && index < static_cast<int>(plots_.size())
                     ? &plots_[static_cast<std::size_t>(index)]
                     : nullptr);
}

void TFormGraficos::HighlightChanged() {
  std::string error;
  const auto options = plots::ReadHighlighted(highlight_->text().toStdString(), error);
  if (!options) {
    ShowBox(this, TBoxKind::Warning, error);
    return;
  }
  options_ = *options;
  // The same plot again, drawn with the new choice.
  const int plot = plot_->currentIndex();
  VariableChosen(variable_->currentIndex());
  if (plot >= 0 && plot < plot_->count()) plot_->setCurrentIndex(plot);
}

const plots::TPlotModel* TFormGraficos::CurrentPlot() const {
  const int index = plot_->currentIndex();
  return index >= 0 && index < static_cast<int>(plots_.size())
             ? &plots_[static_cast<std::size_t>(index)]
             : nullptr;
}

std::string TFormGraficos::SaveTo(const std::string& path) const {
  const plots::TPlotModel* plot = CurrentPlot();
  if (!plot) return "Não há gráfico para salvar.";
  const auto format = plotrender::PlotFormatOfFile(path);
  if (!format) return "O arquivo deve terminar em .svg, .png ou .pdf: " + path;
  // The page of the file is the window's drawing, and the view the one shown.
  return plotrender::WritePlotFile(*plot, path, *format, std::max(view_->width(), 320),
                                   std::max(view_->height(), 240), view_->View());
}

void TFormGraficos::PrintTo(QPrinter& printer) const {
  const plots::TPlotModel* plot = CurrentPlot();
  if (!plot) return;
  QPainter painter;
  if (!painter.begin(&printer)) return;
  const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
  // The plot's page in the window's pixels, scaled to fit the printed page.
  const double width = std::max(view_->width(), 320), height = std::max(view_->height(), 240);
  const double scale = std::min(page.width() / width, page.height() / height);
  painter.scale(scale, scale);
  plotrender::PaintPlot(painter, *plot, width, height, view_->View());
  painter.end();
}

void TFormGraficos::SaveClick() {
  const plots::TPlotModel* plot = CurrentPlot();
  if (!plot) return;
  QString filter;
  const QString chosen = QFileDialog::getSaveFileName(
      this, QStringLiteral("Salvar gráfico"),
      Text(variables_.empty()
               ? plot->id
               : plotrender::PlotFileName(
                     variables_[static_cast<std::size_t>(variable_->currentIndex())]->name,
                     plot->id, plotrender::TPlotFormat::Svg)),
      QStringLiteral("SVG (*.svg);;PNG (*.png);;PDF (*.pdf)"), &filter);
  if (chosen.isEmpty()) return;
  std::string path = chosen.toStdString();
  if (!plotrender::PlotFormatOfFile(path)) {
    path += filter.startsWith(QLatin1String("PNG"))   ? ".png"
            : filter.startsWith(QLatin1String("PDF")) ? ".pdf"
                                                      : ".svg";
  }
  const std::string error = SaveTo(path);
  if (!error.empty()) ShowBox(this, TBoxKind::Warning, error);
}

void TFormGraficos::PrintClick() {
  if (!CurrentPlot()) return;
  QPrinter printer(QPrinter::HighResolution);
  printer.setPageOrientation(QPageLayout::Landscape);
  QPrintDialog dialog(&printer, this);
  dialog.setObjectName("PrintDialogGraficos");
  if (dialog.exec() == QDialog::Accepted) PrintTo(printer);
}

}  // namespace qv::ui
