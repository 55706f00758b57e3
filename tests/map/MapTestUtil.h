// Helpers of the map tests: a canvas that records what is drawn, a plain
// latitude/longitude grid as the projection, the picture column of a scanner
// offset.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "map/MapWithWarp.h"
#include "platform/Canvas.h"

namespace vivurozed::testing {

// Text is 6 pixels a byte wide and 10 high.
class RecordingCanvas : public TCanvas {
 public:
  struct Text {
    int x, y;
    std::string text;
    TColour colour;
  };
  int Width() const override { return 1000; }
  int Height() const override { return 1000; }
  void Polyline(std::span<const TCanvasPoint> points) override {
    lines.emplace_back(points.begin(), points.end());
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
  std::vector<int> lineWidths;
  std::vector<std::vector<int>> ellipses;
  std::vector<Text> texts;
};

// x = scale (longitude + 180), y = scale (90 - latitude); fails for
// longitudes strictly between failFrom and failTo.
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

// The APT picture column whose samples centre nearest to scanner offset s.
inline int PixelOfOffset(double s) {
  int best = -454;
  for (int u = -454; u <= 454; ++u)
    if (std::abs(AptPixelSampleOffset(u) - s) < std::abs(AptPixelSampleOffset(best) - s)) best = u;
  return best + 454;
}

}  // namespace vivurozed::testing
