#include "orbit/Orbits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <vector>

#include "OrbitTestData.h"
#include "RecordingMessages.h"
#include "orbit/SGP_Constants.h"
#include "platform/MathError.h"

namespace vivurozed {
namespace {

using testing::CsvRows;
using testing::DataText;
using testing::RecordingMessages;
using testing::TempDir;

// Picture line 0 of the NOAA 15 recording 08251827_NOAA15.
const TDateTime kPassStart = EncodeDateTime(2019, 8, 25, 18, 27, 45);

TDateTime LineTime(int line) {
  return kPassStart + line * 0.5 / 86400;
}

// Great-circle distance on a sphere of the mean earth radius, km.
double Distance(double lat1, double lon1, double lat2, double lon2) {
  const double a = std::sin(Radians(lat2 - lat1) / 2), b = std::sin(Radians(lon2 - lon1) / 2);
  const double h = a * a + std::cos(Radians(lat1)) * std::cos(Radians(lat2)) * b * b;
  return 2 * 6371 * std::asin(std::sqrt(h));
}

struct Noaa15Pass : ::testing::Test {
  TempDir dir;
  TOrbit orbit;
  void SetUp() override {
    std::ofstream(dir / "weather-2019-08-25.txt", std::ios::binary)
        << DataText("weather-2019-08-25.txt");
    orbit.SetKeplerFolder(dir.Path().string());
    orbit.SetTwoLineDataPath(dir.Path().string());
    orbit.SetSatelliteName("NOAA15");
    orbit.SetSatelliteName("NOAA 15");
    ASSERT_TRUE(orbit.LoadForTime(kPassStart));
  }
};

TEST(OrbitNames, NormaliseAndPickCodeCatalogueAndHalfAngle) {
  struct Case {
    const char* given;
    const char* name;
    const char* code;
    const char* catalogue;
    float halfAngle;
  };
  const Case cases[] = {
      {"xx NOAA 16 [P]", "NOAA-16", "n16", "26536", 55.25f},
      {"NOAA 15 [B]", "NOAA-15", "n15", "25338", 55.37f},  // after NOAA 16: its own angle
      {"METEOR 3-5", "METEOR 3-5", "", "", 55.37f},
      {"SPOT-4", "SPOT-4", "spot-4", "25260", 50.5f},
      {"NOAA-17", "NOAA-17", "n17", "27453", 55.25f},  // already normal
      {"noaa 15", "noaa 15", "", "", 55.25f},          // case counts; angle left alone
      {"NOAA18", "NOAA-18", "n18", "28654", 55.37f},
      {"NOAA 19", "NOAA-19", "n19", "33591", 55.37f},
      {"FENGYUN 1D NOAA 12", "NOAA-12", "n12", "21263", 55.37f},  // later rows win
  };
  TOrbit orbit;
  EXPECT_EQ(orbit.ScanHalfAngle(), 55.37f);
  EXPECT_FALSE(orbit.Valid());
  for (const Case& c : cases) {
    orbit.SetSatelliteName(c.given);
    EXPECT_EQ(orbit.SatelliteName(), c.name) << c.given;
    EXPECT_EQ(orbit.ShortCode(), c.code) << c.given;
    EXPECT_EQ(orbit.CatalogueNumber(), c.catalogue) << c.given;
    EXPECT_EQ(orbit.ScanHalfAngle(), c.halfAngle) << c.given;
  }
}

TEST(OrbitNames, WithoutASetNothingIsPredicted) {
  RecordingMessages messages;
  TempDir dir;
  TOrbit orbit;
  orbit.SetKeplerFolder(dir.Path().string());
  orbit.SetSatelliteName("NOAA 15");
  EXPECT_FALSE(orbit.LoadForTime(kPassStart));
  ASSERT_EQ(messages.entries.size(), 1u);
  EXPECT_EQ(messages.entries[0].text,
            "Folder for Kepler data: " + dir.Path().string() + "/Keps/ was not found.");
  TObserver home;
  TSatelliteLook look;
  try {
    orbit.LookAngles(home, 0, 2458721.3, look);
    ADD_FAILURE();
  } catch (const EMathError& e) {
    EXPECT_STREQ(e.what(), "No valid orbit data");
  }
  TScanLinePoints points;
  points[0].latitude = 12;
  double height = -1;
  EXPECT_FALSE(orbit.ScanLineEarthPoints(kPassStart, height, points));
  EXPECT_EQ(points[0].latitude, 12);
  EXPECT_EQ(height, -1);
}

TEST_F(Noaa15Pass, EarthPointsAgreeWithTheReferenceGeometry) {
  EXPECT_EQ(orbit.KeplerFileName(), "weather-2019-08-25.txt");
  EXPECT_NEAR(orbit.KeplersOffset(), 19237.55125393 - 19237 - (18 + 27.75 / 60) / 24, 1e-8);
  std::vector<std::vector<double>> rows = CsvRows("pass-08251827-noaa15.csv");
  ASSERT_EQ(rows.size(), 32u);
  double worst = 0;
  for (const std::vector<double>& row : rows) {
    const int line = static_cast<int>(row[0]), point = static_cast<int>(row[1]);
    TScanLinePoints points;
    double height = 0;
    ASSERT_TRUE(orbit.ScanLineEarthPoints(LineTime(line), height, points));
    double lat, lon;
    if (point < 0) {
      TObserver home;
      TSatelliteLook look;
      orbit.LookAngles(home, 0, JulianDateOf(LineTime(line)), look);
      EXPECT_FALSE(look.southbound);
      lat = Degrees(look.latitude);
      lon = WrapLongitude(Degrees(look.longitude));
      EXPECT_NEAR(height, row[4], 0.01);
    } else {
      lat = points[point].latitude;
      lon = points[point].longitude;
    }
    worst = std::max(worst, Distance(lat, lon, row[2], row[3]));
  }
  EXPECT_LT(worst, 0.05);  // km
  std::printf("worst earth point: %.4f km from the reference\n", worst);
}

TEST_F(Noaa15Pass, RecordsAndTablesOfScanPositionsGiveTheSamePointsAndMissBeyondTheHorizon) {
  std::vector<double> table(909);
  for (int c = 0; c < 909; ++c) table[c] = (c - 454) * 40.0 / 18;
  TScanLinePoints fixed, fromTable;
  TLocationRecord record;
  static_assert(sizeof record == 408);
  double height = 0;
  orbit.ScanLineEarthPoints(LineTime(100), height, fixed);
  ASSERT_TRUE(orbit.ScanLineEarthPoints(LineTime(100), height, record));
  ASSERT_TRUE(orbit.ScanLineEarthPointsAt(table, LineTime(100), height, fromTable));
  for (int i = 0; i < kScanLinePoints; ++i) {
    EXPECT_NEAR(fromTable[i].latitude, fixed[i].latitude, 1e-4);
    EXPECT_NEAR(fromTable[i].longitude, fixed[i].longitude, 1e-4);
    EXPECT_EQ(record[i].latitude, fixed[i].latitude);
    EXPECT_EQ(record[i].longitude, fixed[i].longitude);
  }
  // Offsets of 1900 look 103 degrees from the nadir, past the horizon.
  table[4] = table[904] = 1900;
  ASSERT_TRUE(orbit.ScanLineEarthPointsAt(table, LineTime(100), height, record));
  EXPECT_FALSE(IsEarthPoint(record[0]));
  EXPECT_FALSE(IsEarthPoint(record[50]));
  EXPECT_EQ(record[0].longitude, kNoEarthPoint);
  EXPECT_TRUE(IsEarthPoint(record[1]));
  EXPECT_THROW(orbit.ScanLineEarthPointsAt(std::span(table).first(904), kPassStart, height, record),
               std::invalid_argument);
}

TEST_F(Noaa15Pass, ScanPositionZeroLooksHalfAPositionOffTheNadir) {
  // A table offset of -0.5 is the exact nadir; position 0 lies 0.027 degrees
  // of scan angle from it, about 0.38 km on the ground at 804 km, to the west.
  std::vector<double> table(909, -0.5);
  TScanLinePoints nadir, centre;
  double height = 0;
  orbit.ScanLineEarthPointsAt(table, LineTime(10), height, nadir);
  orbit.ScanLineEarthPoints(LineTime(10), height, centre);
  const double off =
      Distance(nadir[25].latitude, nadir[25].longitude, centre[25].latitude, centre[25].longitude);
  EXPECT_NEAR(off, height * std::tan(Radians(0.5 * 55.37 / 1023.5)), 0.03);
  EXPECT_LT(centre[25].longitude, nadir[25].longitude);
  EXPECT_EQ(WrapLongitude(180.0), 180.0);
  EXPECT_EQ(WrapLongitude(180.5), -179.5);
  EXPECT_EQ(WrapLongitude(0.0), 0.0);
}

}  // namespace
}  // namespace vivurozed
