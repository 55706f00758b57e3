#include "map/ekCartography.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>

#include "MapTestUtil.h"
#include "WavWriter.h"
#include "image/BMPExtImage.h"
#include "platform/Diagnostics.h"
#include "platform/Folders.h"
#include "platform/qt/SettingsStore.h"

namespace vivurozed {
namespace {

using testing::GridMapping;
using testing::RecordingCanvas;
using Bytes = std::vector<std::uint8_t>;

const std::string kMapData = std::string(VZ_TEST_DATA) + "/map/";

void Put32(Bytes& out, std::int32_t value, bool bigEndian = false) {
  for (int i = 0; i < 4; ++i)
    out.push_back(std::uint8_t(std::uint32_t(value) >> (bigEndian ? 24 - 8 * i : 8 * i)));
}

// A GSHHS polygon; the point pairs are whole degrees.
void PutPolygon(Bytes& out, int id, int level, int area, std::vector<int> points) {
  for (int v : {id, int(points.size() / 2), level, 0, 0, 0, 0, area}) Put32(out, v);
  Put32(out, 0);
  for (int v : points) Put32(out, v * 1000000);
}

// A native record; the point pairs are whole minutes.
void PutRecord(Bytes& out, int type, std::vector<int> points) {
  Put32(out, int(points.size() / 2));
  out.push_back(std::uint8_t(type));
  for (int v : points) {
    out.push_back(std::uint8_t(v & 0xff));
    out.push_back(std::uint8_t((v >> 8) & 0xff));
  }
}

Bytes Text(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

TEST(CartogList, ThreeFormatsOfTheSameCoastsGiveTheSameSegments) {
  TCartogList le, be, text;
  text.SetTextFormat(true);
  le.LoadFromFile(kMapData + "coast_le.b");
  be.LoadFromFile(kMapData + "coast_be.b");
  text.LoadFromFile(kMapData + "coast_text.txt");
  EXPECT_EQ(le.Format(), TCartogList::ffGSHHS);
  EXPECT_EQ(be.Format(), TCartogList::ffGSHHS);
  EXPECT_EQ(text.Format(), TCartogList::ffText);
  EXPECT_TRUE(le.Closed());
  EXPECT_FALSE(text.Closed());
  EXPECT_EQ(text.FileName(), kMapData + "coast_text.txt");
  ASSERT_EQ(le.Count(), 12);
  int points = 0;
  for (int i = 0; i < le.Count(); ++i) {
    EXPECT_EQ(le.Items(i), be.Items(i)) << i;
    EXPECT_EQ(le.Items(i), text.Items(i)) << i;
    points += le.Items(i).PointCount();
  }
  EXPECT_EQ(points, 459);
  EXPECT_EQ(le.LargestPointCount(), 75);
  // New Guinea, first in the file.
  EXPECT_FLOAT_EQ(le.Items(0).points[0].longitude, 150.0f);
  EXPECT_FLOAT_EQ(le.Items(0).points[0].latitude, -10.087917f);
  EXPECT_NEAR(le.Items(0).west, 131, 1);
  EXPECT_NEAR(le.Items(0).north, -0.7, 0.5);
}

TEST(CartogList, GshhsKeepsLandIslandsInLakesAndLakesOfTenSquareKilometres) {
  struct Case {
    int level, area;
    bool kept;
  };
  const Case cases[] = {
      {1, 0, true}, {2, 99, false}, {2, 100, true}, {3, 1, true}, {4, 5000, false}};
  Bytes data;
  for (int i = 0; i < 5; ++i) PutPolygon(data, i, cases[i].level, cases[i].area, {i, 1, i, 2});
  TCartogList list;
  list.LoadFromMemory(data);
  std::vector<float> kept;
  for (int i = 0; i < list.Count(); ++i) kept.push_back(list.Items(i).points[0].longitude);
  std::vector<float> expected;
  for (int i = 0; i < 5; ++i)
    if (cases[i].kept) expected.push_back(float(i));
  EXPECT_EQ(kept, expected);
}

TEST(CartogList, GshhsLongitudesStayAsStoredAndTheExtentComesBackWest) {
  Bytes data;
  PutPolygon(data, 0, 1, 0, {350, 10, 355, 12, 352, 14});
  TCartogList list;
  list.LoadFromMemory(data);
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Items(0).points[1], (TGeoPoint{355, 12}));
  EXPECT_EQ(list.Items(0).type, 1);
  EXPECT_FLOAT_EQ(list.Items(0).west, -10);
  EXPECT_FLOAT_EQ(list.Items(0).east, -5);
}

TEST(CartogList, MalformedFilesLoadWhatComesBeforeTheFault) {
  Bytes native;
  PutRecord(native, 0, {60, 120, 90, 150});
  PutRecord(native, 4, {-60, -120, -90, -150, 0, 0});
  Bytes gshhs;
  PutPolygon(gshhs, 0, 1, 0, {1, 2, 3, 4});
  PutPolygon(gshhs, 1, 1, 0, {5, 6, 7, 8});
  struct Case {
    const char* name;
    Bytes data;
    bool acceptText;
    int segments;
  };
  Bytes negative = native;
  Put32(negative, -5);
  negative.push_back(0);
  negative.resize(negative.size() + 8);
  const Case cases[] = {
      {"whole native", native, false, 2},
      {"native cut inside a record", Bytes(native.begin(), native.end() - 3), false, 1},
      {"native header at the very end", Bytes(native.begin(), native.begin() + 5), false, 0},
      {"negative point count", negative, false, 2},
      {"GSHHS cut inside a polygon", Bytes(gshhs.begin(), gshhs.end() - 1), false, 1},
      {"GSHHS cut inside a header", Bytes(gshhs.begin(), gshhs.begin() + 30), false, 0},
      {"three bytes", Bytes{1, 2, 3}, false, 0},
      {"text not accepted", Text("# -b\n1\t2\n3\t4\n"), false, 0},
      {"text", Text("# -b\n1.5\t2.0\n3.0\t4.0\r\n# -b\n5.0\t6.0\n"), true, 2},
      {"text with a bad number", Text("# -b\n1.0\t2.0\n# -b\n3.0\t4.0\n5.0\tx.x\n7.0\t8.0\n"), true,
       2},
      {"text with no number at all", Text("# -b\nnan\tinf\n"), true, 0},
  };
  for (const auto& c : cases) {
    TCartogList list;
    list.SetTextFormat(c.acceptText);
    list.LoadFromMemory(c.data);
    EXPECT_EQ(list.Count(), c.segments) << c.name;
  }
}

TEST(CartogList, ShippedCountriesAndWhereTheyAreFound) {
  testing::TempDir dir;
  TSettingsStore::SetFolder(dir.Path());
  const auto source = std::filesystem::path(VZ_TEST_DATA).parent_path().parent_path() / "data";
  SetShippedDataFolders({dir / "nothing", source});
  {
    TCartogList list;
    EXPECT_EQ(list.CountriesPath(), source / "map" / "Countries.dat");
    TDiagnostics log;
    ASSERT_TRUE(list.LoadCountries(log));
    EXPECT_EQ(list.Format(), TCartogList::ffNative);
    int points = 0, borders = 0;
    for (int i = 0; i < list.Count(); ++i) {
      points += list.Items(i).PointCount();
      borders += list.Items(i).type == 4;
    }
    EXPECT_EQ(list.Count(), 1885);
    EXPECT_EQ(points, 86705);
    EXPECT_EQ(borders, 362);
  }
  // The companion program's folder wins when it holds the file.
  std::filesystem::create_directories(dir / "companion");
  std::ofstream(dir / "companion" / "Countries.dat", std::ios::binary) << "xyzw";
  TSettingsStore("\\Software\\Vovidada\\App Paths")
      .WriteString("Zevuvid", (dir / "companion").string());
  EXPECT_EQ(TCartogList().CountriesPath(), dir / "companion" / "Countries.dat");

  SetShippedDataFolders({dir / "nothing"});
  std::filesystem::remove(dir / "companion" / "Countries.dat");
  TCartogList missing;
  TDiagnostics log;
  EXPECT_FALSE(missing.LoadCountries(log));
  EXPECT_EQ(log.Lines().back(),
            "No coastline file \"Countries.dat\" found: the overlay has no coastlines or borders");
  EXPECT_THROW(missing.LoadFromFile(dir / "nothing"), EFOpenError);
  SetShippedDataFolders({});
}

TEST(CartogList, DrawsCoastsBordersAndLakesButNotOtherTypes) {
  Bytes data;
  for (int type = 0; type < 10; ++type) PutRecord(data, type, {0, type * 60, 60, type * 60});
  TCartogList list;
  list.LoadFromMemory(data);
  ASSERT_EQ(list.Count(), 10);
  GridMapping mapping;
  list.SetMapping(&mapping);
  RecordingCanvas canvas;
  list.Draw(canvas, 0, 0);
  std::vector<int> drawn;
  for (const auto& line : canvas.lines) drawn.push_back(90 - line[0].y);
  EXPECT_EQ(drawn, (std::vector<int>{0, 1, 4, 5, 8, 9}));
}

TEST(CartogList, LinesBreakWhereTheyLeaveTheMapOrJumpAcross) {
  struct Case {
    const char* name;
    std::vector<TGeoPoint> points;
    bool closed;
    std::vector<std::vector<TCanvasPoint>> lines;
  };
  // The mapping fails between 10 and 20 degrees east; the jump limit is 300.
  const Case cases[] = {
      {"through the gap",
       {{0, 0}, {5, 0}, {15, 0}, {25, 0}, {30, 0}},
       false,
       {{{180, 90}, {185, 90}}, {{205, 90}, {210, 90}}}},
      {"across the picture",
       {{-170, 0}, {-175, 0}, {170, 0}, {175, 0}},
       false,
       {{{10, 90}, {5, 90}}, {{350, 90}, {355, 90}}}},
      {"closed ring",
       {{0, 0}, {0, 5}, {5, 5}},
       true,
       {{{180, 90}, {180, 85}, {185, 85}, {180, 90}}}},
      {"closing line would jump", {{-170, 0}, {-175, 0}, {170, 0}}, true, {{{10, 90}, {5, 90}}}},
      {"repeated pixels",
       {{0, 0}, {0.2f, 0}, {1, 0}, {1.2f, 0}},
       false,
       {{{180, 90}, {181, 90}, {181, 90}}}},
      {"single point", {{0, 0}}, false, {}},
  };
  GridMapping mapping(1, 10, 20);
  for (const auto& c : cases) {
    TCartogList list;
    Bytes native;
    std::vector<int> minutes;
    for (const auto& p : c.points) {
      minutes.push_back(int(std::lround(p.longitude * 60)));
      minutes.push_back(int(std::lround(p.latitude * 60)));
    }
    PutRecord(native, 0, minutes);
    list.LoadFromMemory(native);
    list.SetClosed(c.closed);
    list.SetMapping(&mapping);
    RecordingCanvas canvas;
    list.Draw(canvas, 0, 0);
    EXPECT_EQ(canvas.lines, c.lines) << c.name;
  }
}

TEST(CartogList, LongLinesAreDrawnInPiecesOf16000Points) {
  // 40 000 points on distinct pixels of a fine grid.
  Bytes data;
  std::vector<int> minutes;
  for (int i = 0; i < 40000; ++i) {
    minutes.push_back(i % 200 - 100);
    minutes.push_back(i / 200 - 100);
  }
  PutRecord(data, 0, minutes);
  TCartogList list;
  list.LoadFromMemory(data);
  GridMapping mapping(60);  // a pixel per minute
  list.SetMapping(&mapping);
  RecordingCanvas canvas;
  list.Draw(canvas, 3, 2);
  ASSERT_EQ(canvas.lines.size(), 3u);
  EXPECT_EQ(canvas.lines[0].size(), 16000u);
  EXPECT_EQ(canvas.lines[1].size(), 16000u);
  EXPECT_EQ(canvas.lines[2].size(), 8002u);
  EXPECT_EQ(canvas.lines[1].front(), canvas.lines[0].back());
  EXPECT_EQ(canvas.lines[2].front(), canvas.lines[1].back());
  EXPECT_EQ(canvas.lines[0].front(), (TCanvasPoint{180 * 60 - 100 + 3, 90 * 60 + 100 - 2}));
}

TEST(CartogList, SelectionDrawsOnlyOverlappingSegments) {
  Bytes data;
  PutRecord(data, 0, {0, 0, 60, 60});        // 0..1 E, 0..1 N
  PutRecord(data, 0, {600, 600, 660, 660});  // 10..11 E, 10..11 N
  TCartogList list;
  list.LoadFromMemory(data);
  GridMapping mapping;
  list.SetMapping(&mapping);
  struct Case {
    double south, north, west, east;
    std::size_t lines;
  };
  const Case cases[] = {{0, 0, 50, 60, 2},
                        {-5, 5, -5, 5, 1},
                        {1, 10, 1, 10, 1},
                        {1.5, 9, -5, 20, 0},
                        {-5, 20, 11.5, 20, 0}};
  for (const auto& c : cases) {
    list.SetSelection(c.south, c.north, c.west, c.east);
    RecordingCanvas canvas;
    list.Draw(canvas, 0, 0);
    EXPECT_EQ(canvas.lines.size(), c.lines) << c.south << " " << c.west;
  }
}

TEST(CartogList, MarkersTheirCaptionsAndTheKeptPen) {
  TCartogList list;
  GridMapping mapping;
  list.SetMapping(&mapping);
  struct Case {
    char marker;
    bool flip;
    std::vector<std::vector<TCanvasPoint>> lines;
    std::vector<std::vector<int>> ellipses;
    int captionX, captionY;
  };
  // (10 N, 20 E) projects to (200, 80); offsets move it to (205, 78).
  const Case cases[] = {
      {'o', false, {}, {{198, 71, 213, 86}}, 205 - 12, 88},
      {'O', true, {}, {{195, 68, 216, 89}}, 205 + 12, 98},
      {'x', false, {{{200, 73}, {210, 83}}, {{210, 73}, {200, 83}}}, {}, 193, 88},
      {'+', false, {{{199, 78}, {211, 78}}, {{205, 72}, {205, 84}}}, {}, 193, 88},
      {'*',
       false,
       {{{199, 78}, {211, 78}},
        {{205, 72}, {205, 84}},
        {{200, 73}, {210, 83}},
        {{210, 73}, {200, 83}}},
       {},
       193,
       88},
      {' ', false, {}, {}, 193, 88},
  };
  for (const auto& c : cases) {
    RecordingCanvas canvas;
    canvas.SetPenColour({1, 2, 3});
    canvas.SetFontColour({4, 5, 6});
    list.DrawMarker(canvas, 5, c.flip, "Home", c.marker, {0, 255, 255}, 10, 20, 2);
    EXPECT_EQ(canvas.lines, c.lines) << c.marker;
    EXPECT_EQ(canvas.ellipses, c.ellipses) << c.marker;
    for (int width : canvas.lineWidths) EXPECT_EQ(width, 3);
    ASSERT_EQ(canvas.texts.size(), 1u);
    EXPECT_EQ(canvas.texts[0].x, c.captionX) << c.marker;
    EXPECT_EQ(canvas.texts[0].y, c.captionY) << c.marker;
    EXPECT_EQ(canvas.texts[0].colour, (TColour{0, 255, 255}));
    EXPECT_EQ(canvas.PenColour(), (TColour{1, 2, 3}));
    EXPECT_EQ(canvas.FontColour(), (TColour{4, 5, 6}));
    EXPECT_EQ(canvas.PenWidth(), 1);
  }
}

TEST(CartogList, CoastlineLandsOnItsPixelsInExactlyThePaletteIndexAskedFor) {
  // The overlay's palette: dark blue background 4, yellow coasts 15.
  TExtBitmap bitmap(60, 40, pf8bit);
  std::vector<TPaletteEntry> palette(20);
  palette[4] = {0, 0, 128};
  palette[13] = {255, 0, 0};
  palette[15] = {255, 255, 0};
  palette[19] = {255, 255, 255};
  bitmap.SetPalette(palette);
  for (int y = 0; y < 40; ++y) std::memset(bitmap.ScanLine(y), 4, 60);
  // A ring from (10, 5) to (50, 5) to (50, 30): two degrees a pixel.
  Bytes data;
  PutRecord(data, 0, {-160 * 60, 80 * 60, -80 * 60, 80 * 60, -80 * 60, 30 * 60});
  TCartogList list;
  list.LoadFromMemory(data);
  list.SetClosed(true);
  GridMapping mapping(0.5);
  list.SetMapping(&mapping);
  auto canvas = MakeBitmapCanvas(bitmap);
  canvas->SetPenColour({255, 255, 0});
  list.Draw(*canvas, 0, 0);
  int yellow = 0;
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 60; ++x) {
      const bool onEdge = (y == 5 && x >= 10 && x <= 50) || (x == 50 && y >= 5 && y <= 30);
      const int value = bitmap.ScanLine(y)[x];
      if (onEdge) {
        EXPECT_EQ(value, 15) << x << "," << y;
      }
      yellow += value == 15;
      // The closing diagonal: nothing but background or yellow anywhere.
      EXPECT_TRUE(value == 4 || value == 15) << x << "," << y;
    }
  }
  // The two sides (41 + 26 - 1 pixels) and the closing diagonal, 41 pixels
  // long, of which the ends and perhaps one more are on the sides already.
  EXPECT_GE(yellow, 66 + 38);
  EXPECT_LE(yellow, 66 + 39);
  EXPECT_TRUE(bitmap.Modified());
}

}  // namespace
}  // namespace vivurozed
