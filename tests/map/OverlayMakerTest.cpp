#include "map/OverlayMaker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>

#include "RecordingMessages.h"
#include "WavWriter.h"
#include "map/Overlay.h"
#include "platform/FileTimes.h"

namespace vivurozed {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

const fs::path kData = VZ_TEST_DATA;

TOverlayMakerSettings Settings(const fs::path& elements) {
  TOverlayMakerSettings s;
  s.twoLineDataPath = elements.string();
  s.keplerFolder = elements.string();
  s.homeCaption = "Home";
  return s;
}

// A file of the given name whose last write lies seconds after `start`.
fs::path Recording(const TempDir& dir, const std::string& name, TDateTime start, int seconds) {
  const fs::path p = dir / name;
  testing::WriteBytes(p, {0});
  SetModifiedTime(p, DateTimeToUnix(start) + seconds);
  return p;
}

bool HasLine(const TDiagnostics& log, const std::string& line) {
  return std::find(log.Lines().begin(), log.Lines().end(), line) != log.Lines().end();
}

TEST(ComposeTextLine, FieldsInOrderWithTheGap) {
  const TDateTime aos = EncodeDateTime(2019, 8, 25, 18, 27, 40);
  const TDateTime mid = EncodeDateTime(2019, 8, 25, 18, 32, 40);
  const TDateTime los = EncodeDateTime(2019, 8, 25, 18, 40, 26);
  const std::string wide = "Your information" + std::string(25, ' ') + "Leith";  // at most 25
  struct Case {
    int mask, zone, spacing;
    std::string expected;
  } cases[] = {
      {tfName | tfDate | tfAt | tfPassTime | tfUtc, 0, 2,
       "NOAA 15  2019 Aug 25  at  18:27-18:40  UTC"},
      {tfName | tfDirection | tfElevation, 0, 2, "NOAA 15    North  35\xC2\xBA"},
      {tfMidPass | tfLocal, 0, 3, "18:32  local [UTC -00:00]"},
      {tfMidPass | tfLocal, 90, 2, "18:32  local [UTC +01:30]"},
      {tfUserText | tfLocation, 0, 30, wide},
      {0, 0, 2, ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ComposeTextLine(c.mask, "NOAA 15", c.zone, c.spacing, "Your information", "Leith",
                              34.6, true, "yyyy mmm dd", aos, mid, los),
              c.expected)
        << c.mask;
}

TEST(DecodeFilename, TimesAndSatelliteFromTheNameAndTheFile) {
  TempDir dir;
  testing::RecordingMessages messages;
  TDiagnostics log;
  TOverlayMaker maker(log, Settings(dir.Path()));  // no elements here
  TPassPrediction pass;
  // Written on 1 January: the name's 31 December is of the year before.
  const fs::path late =
      Recording(dir, "12311155 NOAA 15.wav", EncodeDateTime(2020, 1, 1, 0, 10), 600);
  EXPECT_FALSE(maker.DecodeFilename(late, 600, "", 0, pass));
  EXPECT_TRUE(HasLine(log, "  From name: 2019-12-31 11:55:00"));
  EXPECT_TRUE(HasLine(log, "  File start: 2019-12-31 11:55:00"));
  EXPECT_EQ(pass.satellite, "NOAA-15");

  log.Clear();
  const fs::path none = Recording(dir, "pass.wav", EncodeDateTime(2019, 8, 25, 18, 27), 440);
  TOverlayMakerSettings quiet = Settings(dir.Path());
  quiet.activeSatellites = "";
  TOverlayMaker other(log, quiet);
  other.DecodeFilename(none, 440, "", 0, pass);
  EXPECT_EQ(pass.satellite, "NOAA-17");  // nothing to compare it with
  EXPECT_TRUE(HasLine(log, "  Modified - duration: 2019-08-25 18:27:00"));
  // Satellites tried for the prediction leave no message box each.
  EXPECT_LE(messages.entries.size(), 2u);
}

TEST(DecodeFilename, IdentifiesAndPredictsRealPasses) {
  struct Case {
    const char* elements;
    const char* name;
    TDateTime end;
    int seconds;
    const char* satellite;
    TDateTime overhead;  // 0: not checked
  } cases[] = {
      {"weather-2019-08-25.txt", "08251827_NOAA15.wav", EncodeDateTime(2019, 8, 25, 18, 34, 20),
       440, "NOAA-15", EncodeDateTime(2019, 8, 25, 18, 32, 40)},
      {"weather-2018-12-06.txt", "12061112_NOAA19.wav", EncodeDateTime(2018, 12, 6, 11, 24), 720,
       "NOAA-19", 0},
  };
  for (const Case& c : cases) {
    TempDir dir;
    fs::copy_file(kData / c.elements, dir / c.elements);
    TDiagnostics log;
    TOverlayMaker maker(log, Settings(dir.Path()));
    TPassPrediction pass;
    const fs::path file = Recording(dir, c.name, c.end - c.seconds / 86400.0, c.seconds);
    // Only the NOAA 15 pass comes over home (55.9 N 3.2 W): northward about
    // 18:32:40 at 76 degrees.
    EXPECT_EQ(maker.DecodeFilename(file, c.seconds, "", 0, pass), c.overhead != 0);
    EXPECT_EQ(pass.satellite, c.satellite);
    EXPECT_TRUE(maker.Orbit().Valid());
    EXPECT_LT(std::fabs(maker.Orbit().KeplersOffset()), 3.0);
    if (c.overhead == 0) continue;
    EXPECT_LT(pass.aos, pass.mid);
    EXPECT_GT(pass.end, pass.mid);
    EXPECT_FALSE(pass.southBound);
    EXPECT_NEAR((pass.mid - c.overhead) * 86400, 0, 20);
    EXPECT_GT(pass.maxElevation, 70);
  }
}

class RealOverlay : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir = std::make_unique<TempDir>();
    fs::copy_file(kData / "weather-2019-08-25.txt", *dir / "weather.txt");
    log = std::make_unique<TDiagnostics>();
    maker = std::make_unique<TOverlayMaker>(*log, Settings(dir->Path()));
    ok = maker->MakeOverlay("NOAA-15", 7, EncodeDateTime(2019, 8, 25, 18, 27, 45));
  }
  static void TearDownTestSuite() {
    maker.reset();
    log.reset();
    dir.reset();
  }
  static inline std::unique_ptr<TempDir> dir;
  static inline std::unique_ptr<TDiagnostics> log;
  static inline std::unique_ptr<TOverlayMaker> maker;
  static inline bool ok = false;
};

TEST_F(RealOverlay, DrawsEveryCodeWithMinuteTicks) {
  ASSERT_TRUE(ok);
  const TExtBitmap& o = maker->OverlayBitmap();
  ASSERT_EQ(o.Width(), 1040);
  ASSERT_EQ(o.Height(), 840);
  EXPECT_EQ(o.Palette(), OverlayPalette());
  EXPECT_TRUE(maker->Northbound());
  std::set<int> codes;
  for (int y = 0; y < o.Height(); ++y)
    for (int x = 82; x <= 990; ++x) codes.insert(o.ScanLine(y)[x]);
  EXPECT_EQ(codes, (std::set<int>{ocSea, ocGrid, ocBoundary, ocGraphic}));
  // 18:28:00.0 is line 30: two black lines, then two white ones.
  const int expected[] = {ocGrey, ocBlack, ocBlack, ocWhite, ocWhite, ocGrey};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(o.ScanLine(29 + i)[0], expected[i]) << i;
    EXPECT_EQ(o.ScanLine(29 + i)[1039], expected[i]) << i;
  }
  EXPECT_EQ(FindMinuteMarkerLine(o), 31);
  EXPECT_TRUE(HasLine(*log, "NOAA-15 starting overlay at 2019-08-25 18:27:45 UTC"));
  EXPECT_TRUE(HasLine(*log, "  Kepler data from: weather.txt"));
}

TEST_F(RealOverlay, LocationsOfColumnsAndLines) {
  ASSERT_TRUE(ok);
  double lat = 0, lon = 0;
  for (int y : {0, 420, 839}) {
    ASSERT_TRUE(maker->GetLatLon(536, y, lat, lon));  // the channel's centre column
    EXPECT_NEAR(lat, maker->EarthPoints()[std::size_t(y)][25].latitude, 0.01);
    EXPECT_NEAR(lon, maker->EarthPoints()[std::size_t(y)][25].longitude, 0.01);
  }
  EXPECT_FALSE(maker->GetLatLon(81, 10, lat, lon));
  EXPECT_FALSE(maker->GetLatLon(536, 840, lat, lon));
  // Columns further from the centre lie further from the track, on both sides.
  double lat1 = 0, lon1 = 0, lat2 = 0, lon2 = 0;
  ASSERT_TRUE(maker->GetLatLon(150, 420, lat1, lon1));
  ASSERT_TRUE(maker->GetLatLon(920, 420, lat2, lon2));
  EXPECT_GT(std::fabs(lon1 - lon2), 20);

  // One record per line; line 0's point at column 454 lies half a sample
  // from the sub-satellite point.
  const fs::path lcn = *dir / "pass.lcn";
  ASSERT_TRUE(maker->SaveLocationData(lcn, 0, 100));
  const std::vector<std::uint8_t> bytes = testing::ReadBytes(lcn);
  ASSERT_EQ(bytes.size(), 100u * 408);
  TLocationRecord first;
  std::memcpy(&first, bytes.data(), sizeof first);
  const TLatLonPoint& nadir = maker->EarthPoints()[0][25];
  EXPECT_NEAR(first[25].latitude, nadir.latitude, 0.02);
  EXPECT_NEAR(first[25].longitude, nadir.longitude, 0.02);
}

}  // namespace
}  // namespace vivurozed
