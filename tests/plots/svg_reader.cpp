#include "plots/svg_reader.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <algorithm>
#include <cmath>

namespace qv::testing {

namespace {

struct TStyle {
  std::string fill = "none", stroke = "none";
  double strokeWidth = 1;
  bool rotated = false;
};

std::vector<TSvgPoint> Numbers(const QString& text) {
  static const QRegularExpression number(QStringLiteral("-?[0-9.]+(e-?[0-9]+)?"));
  std::vector<double> values;
  for (auto it = number.globalMatch(text); it.hasNext();)
    values.push_back(it.next().captured().toDouble());
  std::vector<TSvgPoint> points;
  for (std::size_t k = 0; k + 1 < values.size(); k += 2)
    points.push_back({values[k], values[k + 1]});
  return points;
}

// Least squares through (value, pixel) pairs.
TAxisMap Fit(const std::vector<std::pair<double, double>>& pairs) {
  TAxisMap map;
  map.ticks = static_cast<int>(pairs.size());
  if (pairs.size() < 2) return map;
  double sx = 0, sy = 0, sxx = 0, sxy = 0;
  for (const auto& [v, p] : pairs) {
    sx += v;
    sy += p;
    sxx += v * v;
    sxy += v * p;
  }
  const double n = static_cast<double>(pairs.size());
  map.scale = (n * sxy - sx * sy) / (n * sxx - sx * sx);
  map.offset = (sy - map.scale * sx) / n;
  for (const auto& [v, p] : pairs)
    map.worstResidual = std::max(map.worstResidual, std::fabs(map.Pixel(v) - p));
  return map;
}

bool IsNumber(const std::string& s, double& value) {
  try {
    std::size_t used = 0;
    value = std::stod(s, &used);
    return used == s.size();
  } catch (...) {
    return false;
  }
}

// The ticks are the black 5-pixel strokes outside the frame; each one's number is the tick text
// nearest to it (below an x tick, left of a y tick).
void ReadAxes(TSvgDrawing& d) {
  std::vector<TSvgPoint> xTicks, yTicks;
  for (const TSvgShape& s : d.shapes) {
    if (s.kind != "polyline" || s.stroke != "#000000" || s.points.size() != 2) continue;
    const TSvgPoint a = s.points[0], b = s.points[1];
    if (std::fabs(a.x - b.x) < 1e-6 && std::fabs(std::fabs(a.y - b.y) - 5) < 1e-6)
      xTicks.push_back({a.x, std::max(a.y, b.y)});
    if (std::fabs(a.y - b.y) < 1e-6 && std::fabs(std::fabs(a.x - b.x) - 5) < 1e-6)
      yTicks.push_back({std::min(a.x, b.x), a.y});
  }
  std::vector<std::pair<double, double>> xPairs, yPairs;
  for (const TSvgPoint& t : xTicks) {
    const TSvgText* best = nullptr;
    double value = 0, bestDistance = 1e9;
    for (const TSvgText& text : d.texts) {
      double v = 0;
      if (text.rotated || !IsNumber(text.text, v) || text.y < t.y || text.y > t.y + 20) continue;
      // The text is centred on its tick: its start lies left of it by half its width.
      const double distance = t.x - text.x;
      if (distance >= 0 && distance < bestDistance) {
        bestDistance = distance;
        best = &text;
        value = v;
      }
    }
    if (best) xPairs.push_back({value, t.x});
  }
  for (const TSvgPoint& t : yTicks) {
    const TSvgText* best = nullptr;
    double value = 0, bestDistance = 1e9;
    for (const TSvgText& text : d.texts) {
      double v = 0;
      if (text.rotated || !IsNumber(text.text, v) || text.x > t.x) continue;
      const double distance = std::fabs(text.y - t.y);
      if (distance < bestDistance) {
        bestDistance = distance;
        best = &text;
        value = v;
      }
    }
    if (best && bestDistance < 10) yPairs.push_back({value, t.y});
  }
  d.x = Fit(xPairs);
  d.y = Fit(yPairs);
}

}  // namespace

TSvgPoint TSvgShape::Centre() const {
  TSvgPoint c;
  // A closed path repeats its first vertex.
  std::size_t n = points.size();
  if (n > 1 && std::fabs(points.front().x - points.back().x) < 1e-9 &&
      std::fabs(points.front().y - points.back().y) < 1e-9)
    --n;
  for (std::size_t k = 0; k < n; ++k) {
    c.x += points[k].x / static_cast<double>(n);
    c.y += points[k].y / static_cast<double>(n);
  }
  return c;
}

std::vector<TSvgShape> TSvgDrawing::Shapes(const std::string& kind, const std::string& fill) const {
  std::vector<TSvgShape> out;
  for (const TSvgShape& s : shapes)
    if (s.kind == kind && s.fill == fill) out.push_back(s);
  return out;
}

const TSvgText* TSvgDrawing::TextContaining(const std::string& part) const {
  for (const TSvgText& t : texts)
    if (t.text.find(part) != std::string::npos) return &t;
  return nullptr;
}

TSvgDrawing ReadSvg(const std::string& path) {
  TSvgDrawing d;
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) {
    ADD_FAILURE() << "cannot read " << path;
    return d;
  }
  QXmlStreamReader xml(&file);
  std::vector<TStyle> styles{TStyle{}};
  while (!xml.atEnd()) {
    const auto token = xml.readNext();
    if (token == QXmlStreamReader::EndElement && xml.name() == QLatin1String("g")) {
      styles.pop_back();
      continue;
    }
    if (token != QXmlStreamReader::StartElement) continue;
    const auto attr = [&](const char* name) { return xml.attributes().value(QLatin1String(name)); };
    const QString name = xml.name().toString();
    if (name == QLatin1String("g")) {
      TStyle s = styles.back();
      if (!attr("fill").isEmpty()) s.fill = attr("fill").toString().toStdString();
      if (!attr("stroke").isEmpty()) s.stroke = attr("stroke").toString().toStdString();
      if (!attr("stroke-width").isEmpty()) s.strokeWidth = attr("stroke-width").toDouble();
      // Only the tick texts of the y title are drawn turned (matrix(0,-1,1,0,...)).
      const QString transform = attr("transform").toString();
      s.rotated = transform.startsWith(QLatin1String("matrix(")) &&
                  !transform.startsWith(QLatin1String("matrix(1,0,0,1,"));
      styles.push_back(s);
      continue;
    }
    const TStyle& s = styles.back();
    if (name == QLatin1String("circle")) {
      d.shapes.push_back({"circle",
                          {{attr("cx").toDouble(), attr("cy").toDouble()}},
                          s.fill,
                          s.stroke,
                          s.strokeWidth});
    } else if (name == QLatin1String("path")) {
      d.shapes.push_back({"path", Numbers(attr("d").toString()), s.fill, s.stroke, s.strokeWidth});
    } else if (name == QLatin1String("polyline")) {
      d.shapes.push_back(
          {"polyline", Numbers(attr("points").toString()), "none", s.stroke, s.strokeWidth});
    } else if (name == QLatin1String("text")) {
      TSvgText t;
      t.x = attr("x").toDouble();
      t.y = attr("y").toDouble();
      t.fontSize = attr("font-size").toDouble();
      t.rotated = s.rotated;
      t.text = xml.readElementText().toStdString();
      d.texts.push_back(t);
    }
  }
  if (xml.hasError()) ADD_FAILURE() << path << ": " << xml.errorString().toStdString();
  ReadAxes(d);
  return d;
}

}  // namespace qv::testing
