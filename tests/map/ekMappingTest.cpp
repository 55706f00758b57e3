#include "map/ekMapping.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "MapTestUtil.h"
#include "image/BMPExtImage.h"

namespace vivurozed {
namespace {

using testing::GridMapping;
using testing::RecordingCanvas;

constexpr TColour kRed{255, 0, 0}, kYellow{255, 255, 0};

// Fails between 20 and 30 degrees north.
class GappedMapping : public GridMapping {
 public:
  bool Project(float latitude, float longitude, int& x, int& y) const override {
    return !(latitude > 20 && latitude < 30) && GridMapping::Project(latitude, longitude, x, y);
  }
};

// A hundred pixels a degree, far beyond its 80 x 50 picture.
class WideMapping : public TMapping {
 public:
  WideMapping() {
    SetWidth(80);
    SetHeight(50);
  }
  bool Project(float latitude, float longitude, int& x, int& y) const override {
    x = int(longitude * 100);
    y = int(-latitude * 100);
    return true;
  }
};

// Columns of its own, as the overlay's mapping has, while the width field
// stays 0.
class OverlayLikeMapping : public GridMapping {
 public:
  OverlayLikeMapping() : GridMapping(2) { SetWidth(0); }
  int GetWidth() const override { return 720; }
};

TEST(Mapping, GridOfFifteenDegreesWithLabelsInsideThePicture) {
  GridMapping mapping;  // 360 x 180, a pixel a degree
  RecordingCanvas canvas;
  mapping.DrawGrid(canvas, 15, kRed, kYellow, 15);
  ASSERT_EQ(canvas.lines.size(), 23u + 11u);
  for (std::size_t i = 0; i < canvas.lines.size(); ++i)
    EXPECT_EQ(canvas.lines[i].size(), i < 23 ? 179u : 359u);
  EXPECT_EQ(canvas.lines.front().front(), (TCanvasPoint{180 - 165, 1}));
  EXPECT_EQ(canvas.lines.back().back(), (TCanvasPoint{1, 90 - 75}));
  EXPECT_EQ(canvas.PenColour(), kRed);
  // Labels that would cross the picture's edges are left out; 180 degrees
  // never comes. Each is outlined at the eight neighbours first.
  std::vector<std::string> labels;
  for (const auto& t : canvas.texts)
    if (t.colour == kYellow) labels.push_back(t.text);
  std::vector<std::string> expected;
  for (int lon = -150; lon <= 135; lon += 15)
    expected.push_back(lon == 0 ? "0°" : std::to_string(std::abs(lon)) + (lon < 0 ? "°W" : "°E"));
  EXPECT_EQ(labels, expected);
  ASSERT_EQ(canvas.texts.size(), 9 * expected.size());
  const auto zero = std::find_if(canvas.texts.begin(), canvas.texts.end(),
                                 [](const auto& t) { return t.text == "0°"; });
  int halo = 0;
  for (auto t = zero; t != zero + 8; ++t)
    halo += t->colour == TColour{} && std::abs(t->x - 171) <= 1 && std::abs(t->y - 85) <= 1;
  EXPECT_EQ(halo, 8);
  EXPECT_EQ(zero[8].x, 180 - 9);  // "0°" is 18 x 10, centred on (180, 90)
  EXPECT_EQ(zero[8].y, 90 - 5);
}

TEST(Mapping, GridLinesBreakWhereProjectionFailsAndAreClampedNearThePicture) {
  GappedMapping gapped;
  RecordingCanvas canvas;
  gapped.DrawGrid(canvas, 90, kRed, kYellow, 90);  // meridians -90, 0, 90; the equator
  ASSERT_EQ(canvas.lines.size(), 3u * 2u + 1u);
  EXPECT_EQ(canvas.lines[0].size(), 60u);   // 89 ... 30
  EXPECT_EQ(canvas.lines[1].size(), 110u);  // 20 ... -89

  WideMapping wide;
  RecordingCanvas far;
  wide.DrawGrid(far, 45, kRed, kYellow, 45);
  int atEdge = 0;
  for (const auto& line : far.lines) {
    for (const auto& p : line) {
      EXPECT_TRUE(p.x >= -100 && p.x <= 180 && p.y >= -100 && p.y <= 150) << p.x << "," << p.y;
      atEdge += p.x == -100 || p.x == 180 || p.y == -100 || p.y == 150;
    }
  }
  EXPECT_GT(atEdge, 0);
}

TEST(Mapping, OverlayGridLabelsAreBoundedByThePictureWhenTheWidthIsUnset) {
  OverlayLikeMapping mapping;
  TExtBitmap bitmap(720, 360, pf8bit);
  std::vector<TPaletteEntry> palette(20);
  palette[4] = {0, 0, 128};
  palette[13] = {255, 0, 0};
  palette[15] = {255, 255, 0};
  palette[19] = {255, 255, 255};
  bitmap.SetPalette(palette);
  for (int y = 0; y < bitmap.Height(); ++y) std::memset(bitmap.ScanLine(y), 4, 720);
  mapping.DrawGrid(*MakeBitmapCanvas(bitmap), 15, kRed, kYellow, 15);
  std::map<int, int> counts;
  for (int y = 0; y < bitmap.Height(); ++y)
    for (int x = 0; x < bitmap.Width(); ++x) ++counts[bitmap.ScanLine(y)[x]];
  // Background, red lines, black outlines and yellow labels; nothing blended.
  EXPECT_EQ(counts.size(), 4u);
  EXPECT_GT(counts[13], 30 * 300);
  EXPECT_GT(counts[15], 200);
  EXPECT_GT(counts[0], counts[15]);
  for (int x = 350; x <= 370; ++x) EXPECT_EQ(bitmap.ScanLine(150)[x], 13);  // 15 N
  int label = 0;  // "0°" on the equator at x 360
  for (int y = 170; y <= 190; ++y)
    for (int x = 345; x <= 375; ++x) label += bitmap.ScanLine(y)[x] == 15;
  EXPECT_GT(label, 5);
}

}  // namespace
}  // namespace vivurozed
