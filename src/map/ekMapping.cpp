#include "map/ekMapping.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "image/BMPExtImage.h"
#include "platform/Diagnostics.h"

namespace vivurozed {

namespace {

constexpr double kWgs72E2 = 0.006694317778266722;

std::string MeridianLabel(int longitude) {
  if (longitude == 0) return "0" + DegreeSign();
  if (std::abs(longitude) == 180) return "180" + DegreeSign();
  return Format("%d%s%c", std::abs(longitude), DegreeSign().c_str(), longitude < 0 ? 'W' : 'E');
}

}  // namespace

const std::string& DegreeSign() {
  static const std::string sign = "\xC2\xB0";
  return sign;
}

std::unique_ptr<TCanvas> MakeBitmapCanvas(TExtBitmap& bitmap) {
  if (bitmap.PixelFormat() == pf24bit) {
    bitmap.SetModified(true);
    std::uint8_t* pixels = bitmap.Height() > 0 ? bitmap.ScanLine(0) : nullptr;
    return MakeRgbCanvas(pixels, bitmap.Width(), bitmap.Height(), bitmap.RowBytes());
  }
  if (bitmap.PixelFormat() != pf8bit)
    throw EInvalidGraphicOperation("Drawing needs an 8-bit palette or a 24-bit bitmap");
  std::vector<TColour> palette;
  for (const auto& entry : bitmap.Palette())
    palette.push_back({entry.red, entry.green, entry.blue});
  bitmap.SetModified(true);
  std::uint8_t* pixels = bitmap.Height() > 0 ? bitmap.ScanLine(0) : nullptr;
  return MakePaletteCanvas(pixels, bitmap.Width(), bitmap.Height(), bitmap.RowBytes(), palette);
}

bool TMapping::Project(float, float, int&, int&) const {
  return false;
}

bool TMapping::Unproject(int, int, float&, float&) const {
  return false;
}

void TMapping::SetHeight(int height) {
  height_ = height;
  RecomputeFrame();
}

void TMapping::RecomputeFrame() {
  eccentricity_ = static_cast<float>(std::sqrt(kWgs72E2));
}

void TMapping::DrawGrid(TCanvas& canvas, int lonStep, TColour lineColour, TColour labelColour,
                        int latStep) const {
  canvas.SetBrushStyle(bsClear);
  canvas.SetPenColour(lineColour);
  canvas.SetFont("Small Fonts", 7);
  const int maxX = GetWidth() + 100, maxY = height_ + 100;
  std::vector<TCanvasPoint> line;
  auto flush = [&] {
    if (line.size() >= 2) canvas.Polyline(line);
    line.clear();
  };
  // Walks one grid line, breaking it where the projection fails.
  auto walk = [&](bool meridian, int fixed) {
    for (int moving = meridian ? 89 : 179; moving >= (meridian ? -89 : -179); --moving) {
      int x = 0, y = 0;
      const float lat = float(meridian ? moving : fixed), lon = float(meridian ? fixed : moving);
      if (!Project(lat, lon, x, y)) {
        flush();
        continue;
      }
      line.push_back(
          {std::clamp(x, -100, std::max(-100, maxX)), std::clamp(y, -100, std::max(-100, maxY))});
    }
    flush();
  };
  struct TLabel {
    int x, y;
    std::string text;
  };
  std::vector<TLabel> labels;
  if (lonStep > 0) {
    for (int k = -(179 / lonStep); k <= 179 / lonStep; ++k) {
      const int longitude = k * lonStep;
      walk(true, longitude);
      int x = 0, y = 0;
      if (Project(0, float(longitude), x, y)) labels.push_back({x, y, MeridianLabel(longitude)});
    }
  }
  if (latStep > 0) {
    for (int k = -(89 / latStep); k <= 89 / latStep; ++k) walk(false, k * latStep);
  }
  // Labels last, so that no grid line crosses them.
  for (const auto& label : labels) DrawHaloText(canvas, label.x, label.y, label.text, labelColour);
}

void TMapping::DrawHaloText(TCanvas& canvas, int x, int y, const std::string& text,
                            TColour colour) const {
  const int w = canvas.TextWidth(text), h = canvas.TextHeight(text);
  const int limit = width_ > 0 ? width_ : canvas.Width();
  if (x + w > limit || x - w / 2 < 0) return;
  const TBrushStyle brush = canvas.BrushStyle();
  canvas.SetBrushStyle(bsClear);
  canvas.SetFontColour({0, 0, 0});
  for (int dy = -1; dy <= 1; ++dy) {
    for (int dx = -1; dx <= 1; ++dx) {
      if (dx != 0 || dy != 0) canvas.TextOut(x - w / 2 + dx, y - h / 2 + dy, text);
    }
  }
  canvas.SetFontColour(colour);
  canvas.TextOut(x - w / 2, y - h / 2, text);
  canvas.SetBrushStyle(brush);
}

}  // namespace vivurozed
