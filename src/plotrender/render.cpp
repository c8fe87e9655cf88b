#include "plotrender/render.h"

#include <QFontMetricsF>
#include <QPainterPath>
#include <QPolygonF>
#include <cmath>

namespace qv::plotrender {

namespace {

constexpr plots::TTextRole kRoles[] = {plots::TTextRole::Title,     plots::TTextRole::Subtitle,
                                       plots::TTextRole::AxisTitle, plots::TTextRole::Tick,
                                       plots::TTextRole::Label,     plots::TTextRole::Legend};

QColor Color(plots::TColor c) {
  return QColor((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
}

QString Text(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

void PaintMarker(QPainter& painter, const plots::TSceneMarker& m) {
  const double r = m.style.size / 2;
  painter.setPen(QPen(Color(m.style.stroke), 1));
  painter.setBrush(Color(m.style.fill));
  switch (m.style.shape) {
    case plots::TMarkerShape::Circle:
      painter.drawEllipse(QPointF(m.x, m.y), r, r);
      break;
    case plots::TMarkerShape::Square:
      painter.drawRect(QRectF(m.x - r, m.y - r, 2 * r, 2 * r));
      break;
    case plots::TMarkerShape::Triangle: {
      // Its centroid on the point.
      const double h = r * std::sqrt(3.0);
      const QPointF p[3] = {{m.x, m.y - 2 * h / 3}, {m.x - r, m.y + h / 3}, {m.x + r, m.y + h / 3}};
      painter.drawPolygon(p, 3);
      break;
    }
    case plots::TMarkerShape::Diamond: {
      const QPointF p[4] = {{m.x, m.y - r}, {m.x + r, m.y}, {m.x, m.y + r}, {m.x - r, m.y}};
      painter.drawPolygon(p, 4);
      break;
    }
  }
}

}  // namespace

QFont PlotFont(plots::TTextRole role) {
  QFont font(QStringLiteral("Liberation Sans"));
  font.setStyleHint(QFont::SansSerif);
  font.setPixelSize(static_cast<int>(plots::FontPixelSize(role)));
  font.setBold(role == plots::TTextRole::Title);
  return font;
}

TQtTextMeasure::TQtTextMeasure() {
  for (const plots::TTextRole role : kRoles) {
    const auto k = static_cast<std::size_t>(role);
    if (metrics_.size() <= k) metrics_.resize(k + 1, QFontMetricsF(QFont()));
    metrics_[k] = QFontMetricsF(PlotFont(role));
  }
}

double TQtTextMeasure::Width(const std::string& text, plots::TTextRole role) const {
  return metrics_[static_cast<std::size_t>(role)].horizontalAdvance(Text(text));
}
double TQtTextMeasure::Ascent(plots::TTextRole role) const {
  return metrics_[static_cast<std::size_t>(role)].ascent();
}
double TQtTextMeasure::Descent(plots::TTextRole role) const {
  return metrics_[static_cast<std::size_t>(role)].descent();
}

void PaintScene(QPainter& painter, const plots::TPlotScene& scene) {
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.fillRect(QRectF(0, 0, scene.width, scene.height), Qt::white);

  painter.setBrush(Qt::NoBrush);
  for (const plots::TScenePath& path : scene.paths) {
    QPen pen(Color(path.style.color), path.style.width);
    if (path.style.dashed) pen.setStyle(Qt::DashLine);
    pen.setCapStyle(Qt::FlatCap);
    painter.setPen(pen);
    QPolygonF polyline;
    polyline.reserve(static_cast<qsizetype>(path.points.size()));
    for (const plots::TDataPoint& p : path.points) polyline << QPointF(p.x, p.y);
    painter.drawPolyline(polyline);
  }

  for (const plots::TSceneMarker& m : scene.markers) PaintMarker(painter, m);

  QFont current;
  std::optional<QFontMetricsF> metrics;
  int currentRole = -1;
  for (const plots::TSceneText& t : scene.texts) {
    if (static_cast<int>(t.role) != currentRole) {
      currentRole = static_cast<int>(t.role);
      current = PlotFont(t.role);
      metrics.emplace(current);
      painter.setFont(current);
    }
    painter.setPen(Color(t.color));
    const QString text = Text(t.text);
    double dx = 0;
    if (t.align != plots::TAlign::Left) {
      const double w = metrics->horizontalAdvance(text);
      dx = t.align == plots::TAlign::Center ? -w / 2 : -w;
    }
    if (t.vertical) {
      painter.save();
      painter.translate(t.x, t.y);
      painter.rotate(-90);
      painter.drawText(QPointF(dx, 0), text);
      painter.restore();
    } else {
      painter.drawText(QPointF(t.x + dx, t.y), text);
    }
  }
  painter.restore();
}

plots::TPlotScene PaintPlot(QPainter& painter, const plots::TPlotModel& plot, double width,
                            double height, const std::optional<plots::TView>& view) {
  const TQtTextMeasure measure;
  plots::TPlotScene scene = plots::LayoutPlot(plot, width, height, measure, view);
  PaintScene(painter, scene);
  return scene;
}

}  // namespace qv::plotrender
