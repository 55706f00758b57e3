#include "map/Overlay.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vivurozed {
namespace {

TExtBitmap Grey(int width, int height, std::uint8_t value) {
  TExtBitmap b(width, height, pf8bit);
  for (int y = 0; y < height; ++y)
    std::memset(b.ScanLine(y), value, static_cast<std::size_t>(width));
  return b;
}

TExtBitmap Overlay(int width, int height, std::uint8_t fill = ocSea) {
  TExtBitmap b = Grey(width, height, fill);
  b.SetPalette(OverlayPalette());
  return b;
}

TExtBitmap Colour(int width, int height, TColour c) {
  TExtBitmap b(width, height, pf24bit);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = b.ScanLine(y) + 3 * x;
      p[0] = c.blue, p[1] = c.green, p[2] = c.red;
    }
  return b;
}

TColour At(const TExtBitmap& b, int x, int y) {
  const std::uint8_t* p = b.ScanLine(y) + 3 * x;
  return {p[2], p[1], p[0]};
}

TOverlayOptions AllOn() {
  TOverlayOptions o;
  o.grid = TColour{255, 0, 0};
  o.boundary = TColour{255, 255, 0};
  o.graphic = TColour{0, 255, 255};
  return o;
}

TEST(RenderOverlay, ColoursEachCodeByTheOptions) {
  struct Case {
    const char* what;
    std::uint8_t code;
    bool soft, cloudTop, boundaryOff;
    TColour pixel, expected;
  } cases[] = {
      {"grid, hard", ocGrid, false, false, false, {10, 20, 30}, {255, 0, 0}},
      {"boundary, hard", ocBoundary, false, false, false, {10, 20, 30}, {255, 255, 0}},
      {"graphic, soft", ocGraphic, true, false, false, {100, 20, 30}, {50, 137, 142}},
      {"soft is hard under cloud top", ocGrid, true, true, false, {10, 20, 1}, {255, 0, 0}},
      {"boundary switched off", ocBoundary, false, false, true, {10, 20, 30}, {10, 20, 30}},
      {"land where blue is 1", ocLand, false, true, false, {9, 9, 1}, {140, 140, 140}},
      {"sea where blue is 1", ocSea, false, true, false, {9, 9, 1}, {0, 0, 128}},
      {"land elsewhere untouched", ocLand, false, true, false, {9, 9, 2}, {9, 9, 2}},
      {"land without cloud top", ocLand, false, false, false, {9, 9, 1}, {9, 9, 1}},
      {"other codes untouched", 7, false, false, false, {9, 9, 9}, {9, 9, 9}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TOverlayOptions o = AllOn();
    o.soft = c.soft, o.cloudTop = c.cloudTop;
    if (c.boundaryOff) o.boundary.reset();
    TExtBitmap overlay = Overlay(8, 4, c.code), dest;
    RenderOverlay(Colour(8, 4, c.pixel), overlay, dest, o);
    EXPECT_EQ(At(dest, 3, 1), c.expected);
  }
}

TEST(RenderOverlay, EightBitPicturesInvertUnderLinesHardOrSoft) {
  for (bool soft : {false, true}) {
    for (auto [value, expected] : {std::pair{160, 255}, {161, 0}, {0, 255}, {255, 0}}) {
      TOverlayOptions o = AllOn();
      o.soft = soft;
      TExtBitmap overlay = Overlay(8, 4, ocGrid), dest;
      RenderOverlay(Grey(8, 4, static_cast<std::uint8_t>(value)), overlay, dest, o);
      EXPECT_EQ(dest.ScanLine(1)[2], expected) << value << (soft ? " soft" : " hard");
    }
  }
}

TEST(RenderOverlay, OffsetsTurnAndTheLastOverlayRow) {
  // One boundary pixel at overlay (column 5, row 2).
  TExtBitmap overlay = Overlay(10, 6, ocSea);
  overlay.ScanLine(2)[5] = ocBoundary;
  struct Case {
    int lineOffset, pixelOffset;
    bool rotate;
    int x, y;
  } cases[] = {{0, 0, false, 5, 2}, {1, 2, false, 3, 1}, {0, 0, true, 4, 3}, {-1, -1, true, 3, 2}};
  for (const Case& c : cases) {
    TOverlayOptions o = AllOn();
    o.lineOffset = c.lineOffset, o.pixelOffset = c.pixelOffset, o.rotate180 = c.rotate;
    TExtBitmap ov = overlay, dest;
    RenderOverlay(Colour(10, 6, {1, 2, 3}), ov, dest, o);
    int hits = 0;
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 10; ++x)
        if (At(dest, x, y) == TColour{255, 255, 0}) {
          ++hits;
          EXPECT_EQ(x, c.x);
          EXPECT_EQ(y, c.y);
        }
    EXPECT_EQ(hits, 1);
  }
  // The overlay's last row is never drawn.
  TExtBitmap last = Overlay(10, 6, ocSea), dest;
  last.ScanLine(5)[5] = ocBoundary;
  RenderOverlay(Colour(10, 6, {1, 2, 3}), last, dest, AllOn());
  EXPECT_EQ(At(dest, 5, 5), (TColour{1, 2, 3}));
}

TEST(RenderOverlay, FitsTheOverlayToKnownPictureWidths) {
  struct Case {
    int width;
    int overlayColumn, pictureColumn;  // where one marked column lands
    const char* log;
  } cases[] = {
      {909, 600, 515, "Recognised raw APT - rescaling overlay to 909 pixels wide"},
      {2080, 600, 1200, "Rescaling overlay from 1040 pixels to 2080 pixels wide"},
      {960, 909, 868, "Recognised Resurs O1-N4 - rescaling overlay to 960 pixels wide"},
  };
  for (const Case& c : cases) {
    TExtBitmap overlay = Overlay(1040, 4, ocSea);
    for (int y = 0; y < 4; ++y) overlay.ScanLine(y)[c.overlayColumn] = ocGrid;
    TDiagnostics log;
    TOverlayOptions o = AllOn();
    o.log = &log;
    TExtBitmap dest;
    RenderOverlay(Grey(c.width, 4, 0), overlay, dest, o);
    EXPECT_EQ(overlay.Width(), c.width);
    ASSERT_EQ(log.Count(), 1u);
    EXPECT_EQ(log.Lines()[0], c.log);
    EXPECT_EQ(dest.ScanLine(1)[c.pictureColumn], 255) << c.width;
    EXPECT_EQ(dest.ScanLine(1)[c.pictureColumn - 3], 0) << c.width;
  }
}

TEST(RenderOverlay, TemperatureStripTakesTheLookupColours) {
  TExtBitmap lookup(100, 256, pf24bit);
  for (int r = 0; r < 256; ++r)
    for (int col = 0; col < 100; ++col) {
      std::uint8_t* p = lookup.ScanLine(r) + 3 * col;
      p[0] = static_cast<std::uint8_t>(r), p[1] = static_cast<std::uint8_t>(col), p[2] = 7;
    }
  TOverlayOptions o;
  o.lookup = &lookup;
  TExtBitmap overlay, dest;
  RenderOverlay(Colour(1040, 300, {200, 200, 200}), overlay, dest, o);
  // Three rows a degree (300 / 100); x = 9; y0 = 50.
  const int x = 9, y0 = 50;
  // Row j = 3 * 5 + 1: temperature 34 (column 94); pixel i = 10: brightness 46 (row 209).
  EXPECT_EQ(At(dest, x + 10, y0 + 16), (TColour{7, 94, 209}));
  EXPECT_EQ(At(dest, x + 60, y0 + 30), (TColour{0, 0, 0}));  // tick at 10 degrees
  EXPECT_EQ(At(dest, 2, y0 + 16), (TColour{0, 0, 0}));       // black margin
  EXPECT_EQ(At(dest, x + 67, y0 + 16), (TColour{200, 200, 200}));
  EXPECT_EQ(At(dest, x + 10, y0 + 2), (TColour{200, 200, 200}));  // above the first row
}

TEST(RenderOverlay, ScaleOnlyOnOverlayWidths) {
  for (int width : {1040, 1000}) {
    TOverlayOptions o;
    o.scale = true;
    TExtBitmap overlay, dest;
    RenderOverlay(Colour(width, 240, {0, 0, 0}), overlay, dest, o);
    // The bar lies on row height - 25 with the caption at the top.
    int white = 0;
    for (int x = 0; x < width; ++x) white += At(dest, x, 240 - 25) == TColour{255, 255, 255};
    if (width == 1040) {
      EXPECT_NEAR(white, 152, 2);  // 500 km at 3.3 km a pixel
    } else {
      EXPECT_EQ(white, 0);
    }
  }
}

TEST(RenderOverlay, CaptionBandAndPlace) {
  TOverlayOptions o;
  o.caption = {"NOAA 15  2019 Aug 25"};
  o.textLocation = 3;  // top right
  o.separateBand = true;
  o.bandColour = {0, 0, 255};
  o.fontColour = {0, 255, 0};
  TExtBitmap overlay, dest;
  const int top = RenderOverlay(Colour(400, 100, {0, 0, 0}), overlay, dest, o);
  EXPECT_EQ(top, TextBlockHeight(o.font, 1, false));
  ASSERT_GT(top, 5);
  EXPECT_EQ(dest.Height(), 100 + top);
  EXPECT_EQ(At(dest, 0, top), (TColour{0, 0, 0}));  // the picture below the band
  EXPECT_EQ(At(dest, 2, 1), (TColour{0, 0, 255}));  // band colour left of the text
  int green = 0, greenLeft = 0;
  for (int y = 0; y < top; ++y)
    for (int x = 0; x < 400; ++x)
      if (At(dest, x, y) == TColour{0, 255, 0}) {
        ++green;
        greenLeft += x < 200;
      }
  EXPECT_GT(green, 20);
  EXPECT_EQ(greenLeft, 0);

  o.textLocation = 0;  // hidden
  const int none = RenderOverlay(Colour(400, 100, {0, 0, 0}), overlay, dest, o);
  EXPECT_EQ(none, 0);
  EXPECT_EQ(dest.Height(), 100);
}

TEST(OverlayMarks, MinuteMarkerLine) {
  struct Case {
    std::vector<std::uint8_t> column60;
    int expected;
  } cases[] = {{{12, 12, 0, 19, 12}, 2}, {{0, 19}, 0}, {{12, 0, 12, 19}, 3}, {{12, 12, 12}, 2}};
  for (const Case& c : cases) {
    TExtBitmap b = Overlay(100, static_cast<int>(c.column60.size()), ocGrey);
    for (std::size_t i = 0; i < c.column60.size(); ++i)
      b.ScanLine(static_cast<int>(i))[60] = c.column60[i];
    EXPECT_EQ(FindMinuteMarkerLine(b), c.expected);
  }
}

TEST(OverlayMarks, PaletteCodes) {
  // The companion's overlays are read back by these colours.
  const auto& p = OverlayPalette();
  ASSERT_EQ(p.size(), 20u);
  struct {
    std::uint8_t code;
    TPaletteEntry colour;
  } cases[] = {{ocSea, {0, 0, 128}},       {ocGrid, {255, 0, 0}},    {ocBoundary, {255, 255, 0}},
               {ocGraphic, {0, 255, 255}}, {ocLand, {0, 128, 0}},    {ocBlack, {0, 0, 0}},
               {ocWhite, {255, 255, 255}}, {ocGrey, {128, 128, 128}}};
  for (const auto& c : cases) EXPECT_EQ(p[c.code], c.colour) << int(c.code);
  EXPECT_EQ(ColourFromStored(0x00804020), (TColour{0x20, 0x40, 0x80}));
}

}  // namespace
}  // namespace vivurozed
