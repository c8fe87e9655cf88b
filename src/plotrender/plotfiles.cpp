#include "plotrender/plotfiles.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPageSize>
#include <QPdfWriter>
#include <QSvgGenerator>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>

#include "plotrender/render.h"
#include "plots/methodplots.h"
#include "tables/safefile.h"
#include "tables/tableerror.h"

namespace qv::plotrender {

namespace {

// A PNG is drawn at twice the page's pixels: sharp on a screen of high density and in print.
constexpr double kPngScale = 2;

}  // namespace

std::optional<TPlotFormat> PlotFormatNamed(std::string_view name) {
  std::string lower(name);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (lower == "svg") return TPlotFormat::Svg;
  if (lower == "png") return TPlotFormat::Png;
  if (lower == "pdf") return TPlotFormat::Pdf;
  return std::nullopt;
}

const char* Extension(TPlotFormat format) {
  switch (format) {
    case TPlotFormat::Svg:
      return "svg";
    case TPlotFormat::Png:
      return "png";
    case TPlotFormat::Pdf:
      return "pdf";
  }
  return "svg";
}

std::string PlotFileName(const std::string& variable, const std::string& plotId,
                         TPlotFormat format) {
  std::string name = variable + "-" + plotId;
  for (char& c : name) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos)
      c = '_';
  }
  if (name.front() == '.') name.front() = '_';
  return name + "." + Extension(format);
}

void EnsureGuiApplication() {
  if (QCoreApplication::instance()) return;
  // Without a display Qt would give up: the plots need only fonts, which the offscreen
  // platform gives.
  const auto unset = [](const char* v) {
    const char* value = std::getenv(v);
    return !value || !*value;
  };
  if (unset("QT_QPA_PLATFORM") && unset("DISPLAY") && unset("WAYLAND_DISPLAY")) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
  static int argc = 1;
  static char name[] = "quorvandelia-cli";
  static char* argv[] = {name, nullptr};
  // The offscreen platform's notes on starting (no XDG_RUNTIME_DIR, say) are no news to the
  // user of the command line.
  const QtMessageHandler previous =
      qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type == QtFatalMsg) std::fprintf(stderr, "%s\n", qPrintable(message));
      });
  static std::unique_ptr<QGuiApplication> application =
      std::make_unique<QGuiApplication>(argc, argv);
  qInstallMessageHandler(previous);
}

std::optional<TPlotFormat> PlotFormatOfFile(const std::string& path) {
  const std::string extension = std::filesystem::path(path).extension().string();
  if (extension.size() < 2) return std::nullopt;
  return PlotFormatNamed(extension.substr(1));
}

std::string WritePlotFile(const plots::TPlotModel& plot, const std::string& path,
                          TPlotFormat format, int width, int height,
                          const std::optional<plots::TView>& view) {
  EnsureGuiApplication();
  const TQtTextMeasure measure;
  const plots::TPlotScene scene = plots::LayoutPlot(plot, width, height, measure, view);
  // Drawn in memory, then written as tables are (a complete file beside the old one, renamed
  // over it): a full disk leaves no half plot, and is reported, which QSvgGenerator would not.
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  const std::string failed = "não foi possível desenhar o gráfico " + path;
  switch (format) {
    case TPlotFormat::Svg: {
      QSvgGenerator svg;
      svg.setOutputDevice(&buffer);
      svg.setSize(QSize(width, height));
      svg.setViewBox(QRect(0, 0, width, height));
      svg.setResolution(96);
      svg.setTitle(QString::fromStdString(plot.title));
      svg.setDescription(QString::fromStdString(plot.subtitle));
      QPainter painter;
      if (!painter.begin(&svg)) return failed;
      PaintScene(painter, scene);
      if (!painter.end()) return failed;
      break;
    }
    case TPlotFormat::Png: {
      QImage image(static_cast<int>(width * kPngScale), static_cast<int>(height * kPngScale),
                   QImage::Format_RGB32);
      image.setDotsPerMeterX(static_cast<int>(96 * kPngScale / 0.0254));
      image.setDotsPerMeterY(static_cast<int>(96 * kPngScale / 0.0254));
      image.fill(Qt::white);
      QPainter painter(&image);
      painter.scale(kPngScale, kPngScale);
      PaintScene(painter, scene);
      painter.end();
      if (!image.save(&buffer, "PNG")) return failed;
      break;
    }
    case TPlotFormat::Pdf: {
      QPdfWriter pdf(&buffer);
      pdf.setResolution(96);
      pdf.setPageSize(QPageSize(QSizeF(width * 72.0 / 96, height * 72.0 / 96), QPageSize::Point,
                                QString(), QPageSize::ExactMatch));
      pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
      pdf.setTitle(QString::fromStdString(plot.title));
      pdf.setCreator(QStringLiteral("Quorvandelia"));
      QPainter painter;
      if (!painter.begin(&pdf)) return failed;
      PaintScene(painter, scene);
      if (!painter.end()) return failed;
      break;
    }
  }
  buffer.close();
  try {
    WriteFileSafely(path,
                    std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
  } catch (const TableError& e) {
    return e.what();
  }
  return {};
}

TPlotFilesWritten WriteRunPlots(const TRunOutcome& outcome, const plots::TPlotLabels& labels,
                                const std::string& directory, TPlotFormat format,
                                const plots::TPlotOptions& options) {
  TPlotFilesWritten written;
  std::error_code error;
  const std::filesystem::path dir = std::filesystem::path(directory);
  std::filesystem::create_directories(dir, error);
  if (!std::filesystem::is_directory(dir, error)) {
    written.errors.push_back("não foi possível criar a pasta dos gráficos " + directory);
    return written;
  }
  for (const TVariableRecord& variable : outcome.variables) {
    for (const plots::TPlotModel& plot : plots::VariablePlots(variable, labels, options)) {
      const std::string path =
          (dir / std::filesystem::path(PlotFileName(variable.name, plot.id, format))).string();
      const std::string failure = WritePlotFile(plot, path, format);
      if (failure.empty()) {
        written.files.push_back(path);
      } else {
        written.errors.push_back(failure);
      }
    }
  }
  return written;
}

}  // namespace qv::plotrender
