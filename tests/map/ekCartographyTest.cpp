#include "map/ekCartography.h"

#include <gtest/gtest.h>

#include <fstream>

#include "MapTestUtil.h"
#include "WavWriter.h"
#include "platform/Diagnostics.h"
#include "platform/Folders.h"
#include "platform/qt/SettingsStore.h"

namespace vivurozed {
namespace {

using testing::GridMapping;
using testing::RecordingCanvas;
using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::vector<TCanvasPoint>>;

void Put32(Bytes& out, std::int32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(std::uint8_t(std::uint32_t(value) >> 8 * i));
}

// A GSHHS polygon of whole-degree points.
void PutPolygon(Bytes& out, int level, int area, std::vector<int> points) {
  for (int v : {0, int(points.size() / 2), level, 0, 0, 0, 0, area, 0}) Put32(out, v);
  for (int v : points) Put32(out, v * 1000000);
}

// A native record of whole-minute points.
void PutRecord(Bytes& out, int type, std::vector<int> points) {
  Put32(out, int(points.size() / 2));
  out.push_back(std::uint8_t(type));
  for (int v : points) out.insert(out.end(), {std::uint8_t(v & 0xff), std::uint8_t(v >> 8)});
}

Bytes Text(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

Lines Drawn(const TCartogList& list, int xOffset = 0, int yOffset = 0) {
  RecordingCanvas canvas;
  list.Draw(canvas, xOffset, yOffset);
  return canvas.lines;
}

TEST(CartogList, ThreeFormatsOfTheSameCoastsGiveTheSameSegments) {
  const std::string data = std::string(VZ_TEST_DATA) + "/map/";
  TCartogList le, be, text;
  text.SetTextFormat(true);
  le.LoadFromFile(data + "coast_le.b");
  be.LoadFromFile(data + "coast_be.b");
  text.LoadFromFile(data + "coast_text.txt");
  EXPECT_EQ(be.Format(), TCartogList::ffGSHHS);
  EXPECT_EQ(text.Format(), TCartogList::ffText);
  EXPECT_TRUE(be.Closed());
  EXPECT_FALSE(text.Closed());
  ASSERT_EQ(le.Count(), 12);
  int points = 0;
  for (int i = 0; i < le.Count(); ++i) {
    EXPECT_EQ(le.Items(i), be.Items(i)) << i;
    EXPECT_EQ(le.Items(i), text.Items(i)) << i;
    points += le.Items(i).PointCount();
  }
  EXPECT_EQ(points, 459);
  EXPECT_EQ(le.LargestPointCount(), 75);
  EXPECT_EQ(le.Items(0).points[0], (TGeoPoint{150.0f, -10.087917f}));  // New Guinea
}

TEST(CartogList, GshhsKeepsLandIslandsInLakesAndLakesOfTenSquareKilometres) {
  const std::vector<std::pair<int, int>> levelArea{{1, 0}, {2, 99}, {2, 100}, {3, 1}, {4, 5000}};
  Bytes data;
  for (int i = 0; i < 5; ++i)
    PutPolygon(data, levelArea[std::size_t(i)].first, levelArea[std::size_t(i)].second,
               {350 + i, 1, 355, 2});
  TCartogList list;
  list.LoadFromMemory(data);
  std::vector<float> kept;
  for (int i = 0; i < list.Count(); ++i) kept.push_back(list.Items(i).points[0].longitude);
  EXPECT_EQ(kept, (std::vector<float>{350, 352, 353}));
  // Points keep their 0 ... 360 longitudes; the extent comes back west.
  EXPECT_FLOAT_EQ(list.Items(0).west, -10);
  EXPECT_FLOAT_EQ(list.Items(0).east, -5);
}

TEST(CartogList, MalformedFilesLoadWhatComesBeforeTheFault) {
  Bytes native, gshhs;
  PutRecord(native, 0, {60, 120, 90, 150});
  PutRecord(native, 4, {-60, -120, -90, -150, 0, 0});
  PutPolygon(gshhs, 1, 0, {1, 2, 3, 4});
  PutPolygon(gshhs, 1, 0, {5, 6, 7, 8});
  Bytes negative = native;
  Put32(negative, -5);
  negative.resize(negative.size() + 9);
  struct Case {
    const char* name;
    Bytes data;
    bool acceptText;
    int segments;
  };
  const Case cases[] = {
      {"native", native, false, 2},
      {"native cut inside a record", Bytes(native.begin(), native.end() - 3), false, 1},
      {"native header at the very end", Bytes(native.begin(), native.begin() + 5), false, 0},
      {"negative point count", negative, false, 2},
      {"GSHHS cut inside a polygon", Bytes(gshhs.begin(), gshhs.end() - 1), false, 1},
      {"GSHHS cut inside a header", Bytes(gshhs.begin(), gshhs.begin() + 30), false, 0},
      {"text not accepted", Text("# -b\n1.0\t2.0\n"), false, 0},
      {"text", Text("# -b\n1.5\t2.0\n3.0\t4.0\r\n# -b\n5.0\t6.0\n"), true, 2},
      {"bad number", Text("# -b\n1.0\t2.0\n# -b\n3.0\t4.0\n5.0\tx.x\n7.0\t8.0\n"), true, 2},
      {"no number at all", Text("# -b\nnan\tinf\n"), true, 0},
  };
  for (const auto& c : cases) {
    TCartogList list;
    list.SetTextFormat(c.acceptText);
    list.LoadFromMemory(c.data);
    EXPECT_EQ(list.Count(), c.segments) << c.name;
  }
}

TEST(CartogList, FindsCountriesBesideTheCompanionOrInTheShippedData) {
  testing::TempDir dir;
  TSettingsStore::SetFolder(dir.Path());
  const auto source = std::filesystem::path(VZ_TEST_DATA).parent_path().parent_path() / "data";
  SetShippedDataFolders({dir / "nothing", source});
  TCartogList shipped;
  TDiagnostics log;
  ASSERT_TRUE(shipped.LoadCountries(log));
  EXPECT_EQ(shipped.FileName(), source / "map" / "Countries.dat");
  int points = 0, borders = 0;
  for (int i = 0; i < shipped.Count(); ++i) {
    points += shipped.Items(i).PointCount();
    borders += shipped.Items(i).type == 4;
  }
  EXPECT_EQ(shipped.Count(), 1885);
  EXPECT_EQ(points, 86705);
  EXPECT_EQ(borders, 362);

  std::filesystem::create_directories(dir / "companion");
  std::ofstream(dir / "companion" / "Countries.dat") << "xyzw";
  TSettingsStore("\\Software\\Vovidada\\App Paths")
      .WriteString("Zevuvid", (dir / "companion").string());
  EXPECT_EQ(TCartogList().CountriesPath(), dir / "companion" / "Countries.dat");

  std::filesystem::remove(dir / "companion" / "Countries.dat");
  SetShippedDataFolders({dir / "nothing"});
  TCartogList missing;
  EXPECT_FALSE(missing.LoadCountries(log));
  EXPECT_EQ(log.Lines().back(),
            "No coastline file \"Countries.dat\" found: the overlay has no coastlines or borders");
  EXPECT_THROW(missing.LoadFromFile(dir / "nothing"), EFOpenError);
  SetShippedDataFolders({});
}

TEST(CartogList, DrawsOnlyCoastsBordersAndLakesOfTheSelectedArea) {
  Bytes data;
  for (int type = 0; type < 10; ++type) PutRecord(data, type, {0, type * 60, 60, type * 60});
  PutRecord(data, 0, {600, 600, 660, 660});  // 10 ... 11 E and N
  TCartogList list;
  list.LoadFromMemory(data);
  GridMapping mapping;
  list.SetMapping(&mapping);
  std::vector<int> latitudes;
  for (const auto& line : Drawn(list)) latitudes.push_back(90 - line[0].y);
  EXPECT_EQ(latitudes, (std::vector<int>{0, 1, 4, 5, 8, 9, 10}));
  struct Case {
    double south, north, west, east;
    std::size_t lines;
  };
  const Case cases[] = {
      {-5, 10, -5, 10, 6}, {1, 10.5, 1, 10.5, 6}, {9.5, 12, 1, 12, 1}, {-5, 10, 1.5, 12, 0}};
  for (const auto& c : cases) {
    list.SetSelection(c.south, c.north, c.west, c.east);
    EXPECT_EQ(Drawn(list).size(), c.lines) << c.south;
  }
}

TEST(CartogList, LinesBreakWhereTheyLeaveTheMapOrJumpAcrossIt) {
  struct Case {
    const char* name;
    std::vector<int> points;  // degrees
    bool closed;
    Lines lines;
  };
  // The mapping fails between 10 and 20 degrees east; the jump limit is 300.
  const Case cases[] = {
      {"through the gap",
       {0, 0, 5, 0, 15, 0, 25, 0, 30, 0},
       false,
       {{{180, 90}, {185, 90}}, {{205, 90}, {210, 90}}}},
      {"across",
       {-170, 0, -175, 0, 170, 0, 175, 0},
       false,
       {{{10, 90}, {5, 90}}, {{350, 90}, {355, 90}}}},
      {"closed ring", {0, 0, 0, 5, 5, 5}, true, {{{180, 90}, {180, 85}, {185, 85}, {180, 90}}}},
      {"closing would jump", {-170, 0, -175, 0, 170, 0}, true, {{{10, 90}, {5, 90}}}},
  };
  GridMapping mapping(1, 10, 20);
  for (const auto& c : cases) {
    std::vector<int> minutes;
    for (int v : c.points) minutes.push_back(v * 60);
    Bytes data;
    PutRecord(data, 0, minutes);
    TCartogList list;
    list.LoadFromMemory(data);
    list.SetClosed(c.closed);
    list.SetMapping(&mapping);
    EXPECT_EQ(Drawn(list), c.lines) << c.name;
  }
  // Repeated pixels are dropped, but for the last point.
  Bytes data;
  PutRecord(data, 0, {0, 0, 12, 0, 60, 0, 72, 0});
  TCartogList list;
  list.LoadFromMemory(data);
  list.SetMapping(&mapping);
  EXPECT_EQ(Drawn(list), (Lines{{{180, 90}, {181, 90}, {181, 90}}}));
}

TEST(CartogList, LongLinesAreDrawnInPiecesOf16000Points) {
  Bytes data;
  std::vector<int> minutes;
  for (int i = 0; i < 40000; ++i) minutes.insert(minutes.end(), {i % 200 - 100, i / 200 - 100});
  PutRecord(data, 0, minutes);
  TCartogList list;
  list.LoadFromMemory(data);
  GridMapping mapping(60);  // a pixel a minute
  list.SetMapping(&mapping);
  const Lines lines = Drawn(list, 3, 2);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].size(), 16000u);
  EXPECT_EQ(lines[1].size(), 16000u);
  EXPECT_EQ(lines[2].size(), 8002u);
  EXPECT_EQ(lines[1].front(), lines[0].back());
  EXPECT_EQ(lines[2].front(), lines[1].back());
  EXPECT_EQ(lines[0].front(), (TCanvasPoint{180 * 60 - 100 + 3, 90 * 60 + 100 - 2}));
}

TEST(CartogList, MarkersTheirCaptionsAndTheKeptPen) {
  TCartogList list;
  GridMapping mapping;
  list.SetMapping(&mapping);
  struct Case {
    char marker;
    bool flip;
    Lines lines;
    std::vector<std::vector<int>> ellipses;
    int captionX, captionY;
  };
  // (10 N, 20 E) is (200, 80), moved by the offsets to (205, 78); "Home" is
  // 24 x 10 on the fake canvas.
  const Case cases[] = {
      {'O', true, {}, {{195, 68, 216, 89}}, 205 + 12, 78 + 20},
      {'*',
       false,
       {{{199, 78}, {211, 78}},
        {{205, 72}, {205, 84}},
        {{200, 73}, {210, 83}},
        {{210, 73}, {200, 83}}},
       {},
       205 - 12,
       78 + 10},
  };
  for (const auto& c : cases) {
    RecordingCanvas canvas;
    canvas.SetPenColour({1, 2, 3});
    list.DrawMarker(canvas, 5, c.flip, "Home", c.marker, {0, 255, 255}, 10, 20, 2);
    EXPECT_EQ(canvas.lines, c.lines) << c.marker;
    EXPECT_EQ(canvas.ellipses, c.ellipses) << c.marker;
    for (int width : canvas.lineWidths) EXPECT_EQ(width, 3);
    ASSERT_EQ(canvas.texts.size(), 1u);
    EXPECT_EQ(canvas.texts[0].x, c.captionX) << c.marker;
    EXPECT_EQ(canvas.texts[0].y, c.captionY) << c.marker;
    EXPECT_EQ(canvas.texts[0].colour, (TColour{0, 255, 255}));
    EXPECT_EQ(canvas.PenColour(), (TColour{1, 2, 3}));
    EXPECT_EQ(canvas.PenWidth(), 1);
  }
}

}  // namespace
}  // namespace vivurozed
