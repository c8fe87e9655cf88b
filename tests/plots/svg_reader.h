// What a test needs of an SVG file drawn by the plot renderer: its markers, polylines and
// texts with their colours, and the linear maps from data to pixels that its axes state. The
// maps are read from the drawing itself (each tick mark paired with the number written under
// or beside it), never from the layout code, so that a test checks the drawing against the
// numbers.
#pragma once

#include <string>
#include <vector>

namespace qv::testing {

struct TSvgPoint {
  double x = 0, y = 0;
};

struct TSvgShape {
  std::string kind;               // "circle", "path", "polyline"
  std::vector<TSvgPoint> points;  // a circle's centre; the vertices of a path or polyline
  std::string fill, stroke;       // "#rrggbb" or "none"
  double strokeWidth = 1;
  TSvgPoint Centre() const;  // of the vertices (a marker's centroid)
};

struct TSvgText {
  double x = 0, y = 0;
  std::string text;
  double fontSize = 0;
  bool rotated = false;
};

// A linear map pixel = offset + scale * value.
struct TAxisMap {
  double offset = 0, scale = 0, worstResidual = 0;
  int ticks = 0;
  double Pixel(double value) const { return offset + scale * value; }
  double Value(double pixel) const { return (pixel - offset) / scale; }
};

struct TSvgDrawing {
  std::vector<TSvgShape> shapes;
  std::vector<TSvgText> texts;
  TAxisMap x, y;

  std::vector<TSvgShape> Shapes(const std::string& kind, const std::string& fill) const;
  const TSvgText* TextContaining(const std::string& part) const;
};

// Reads the file; fails the test (and returns an empty drawing) when it is not a drawing.
TSvgDrawing ReadSvg(const std::string& path);

}  // namespace qv::testing
