// Fakes for the map tests: a canvas that records what is drawn, and a plain
// latitude/longitude grid as the projection.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "map/ekMapping.h"
#include "platform/Canvas.h"

namespace vivurozed::testing {

class RecordingCanvas : public TCanvas {
 public:
  struct Text {
    int x, y;
    std::string text;
    TColour colour;
  };
  explicit RecordingCanvas(int width = 1000, int height = 1000) : width_(width), height_(height) {}
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  void Polyline(std::span<const TCanvasPoint> points) override {
    lines.emplace_back(points.begin(), points.end());
    lineColours.push_back(PenColour());
    lineWidths.push_back(PenWidth());
  }
  void Ellipse(int x1, int y1, int x2, int y2) override { ellipses.push_back({x1, y1, x2, y2}); }
  void FillRect(int, int, int, int) override {}
  void TextOut(int x, int y, const std::string& text) override {
    texts.push_back({x, y, text, FontColour()});
  }
  int TextWidth(const std::string& text) override { return 6 * int(text.size()); }
  int TextHeight(const std::string&) override { return 10; }

  std::vector<std::vector<TCanvasPoint>> lines;
  std::vector<TColour> lineColours;
  std::vector<int> lineWidths;
  std::vector<std::vector<int>> ellipses;
  std::vector<Text> texts;

 private:
  int width_, height_;
};

// x = scale * (longitude + 180), y = scale * (90 - latitude); fails where
// longitude lies in (failFrom, failTo).
class GridMapping : public TMapping {
 public:
  explicit GridMapping(double scale = 1, double failFrom = 1000, double failTo = 1000)
      : scale_(scale), failFrom_(failFrom), failTo_(failTo) {
    SetWidth(int(std::lround(360 * scale)));
    SetHeight(int(std::lround(180 * scale)));
  }
  bool Project(float latitude, float longitude, int& x, int& y) const override {
    if (longitude > failFrom_ && longitude < failTo_) return false;
    x = int(std::lround(scale_ * (longitude + 180)));
    y = int(std::lround(scale_ * (90 - latitude)));
    return true;
  }

 private:
  double scale_, failFrom_, failTo_;
};

}  // namespace vivurozed::testing
