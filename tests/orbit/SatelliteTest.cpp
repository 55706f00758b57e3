#include "orbit/Satellite.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>

#include "OrbitTestData.h"
#include "orbit/SGP_Constants.h"
#include "orbit/SGP_Time.h"
#include "platform/MathError.h"

namespace vivurozed {
namespace {

using testing::CsvRows;
using testing::kNoaa15Line1;
using testing::kNoaa15Line2;
using testing::TestSatellite;
using testing::TestSets;

std::string WithColumns(std::string line, int start, const std::string& text) {
  return line.replace(start - 1, text.size(), text);
}

TEST(Satellite, LoadsTheFieldsOfTheElementLines) {
  TSatellite s;
  s.LoadElements(kNoaa15Line1, kNoaa15Line2);
  EXPECT_EQ(s.CatalogueNumber(), "25338");
  EXPECT_EQ(s.ElementSetNumber(), "999");
  EXPECT_DOUBLE_EQ(s.EpochAsRead(), 19237.55125393);
  EXPECT_NEAR(s.Epoch(), 2458720.5 + 0.55125393, 1e-8);  // 2019-08-25 = day 237
  EXPECT_DOUBLE_EQ(s.FirstDerivative(), 0.00000021 * kTwoPi / (1440.0 * 1440.0));
  EXPECT_DOUBLE_EQ(s.BStar(), 0.27641e-4);
  EXPECT_DOUBLE_EQ(s.Inclination(), 98.7445 * kPi / 180);
  EXPECT_DOUBLE_EQ(s.Eccentricity(), 0.0011278);
  EXPECT_DOUBLE_EQ(s.MeanMotion(), 14.25927920 * kTwoPi / 1440);
  EXPECT_EQ(s.Revolution(), 10692);
  EXPECT_FALSE(s.DeepSpace());

  // Lower case is kept upper-cased; B* and the second derivative take
  // their exponents; an all-zero mantissa is 0.
  s.LoadElements(WithColumns(WithColumns(kNoaa15Line1, 45, " 12345-3 -11606-4"), 8, "u"),
                 kNoaa15Line2);
  EXPECT_EQ(s.Line1().substr(0, 8), "1 25338U");
  EXPECT_DOUBLE_EQ(s.BStar(), -1.1606e-5);
  EXPECT_DOUBLE_EQ(s.SecondDerivative(), 0.12345e-3 * kTwoPi / (1440.0 * 1440.0 * 1440.0));
  s.LoadElements(WithColumns(kNoaa15Line1, 54, " 00000+0"), kNoaa15Line2);
  EXPECT_EQ(s.BStar(), 0);

  EXPECT_THROW(s.LoadElements(kNoaa15Line1, WithColumns(kNoaa15Line2, 53, "-4.25927920")),
               EMathError);
}

TEST(Satellite, The225MinuteLimitAppliesToTheModelsMeanMotion) {
  // 6.4 revolutions a day is 225 minutes as read. The model's mean motion is
  // slower for an equatorial orbit (period above 225: deep space) and
  // faster for a polar one.
  const std::string line2 = WithColumns(kNoaa15Line2, 53, " 6.40000000");
  TSatellite s;
  s.LoadElements(kNoaa15Line1, WithColumns(line2, 9, "  0.0000"));
  EXPECT_TRUE(s.DeepSpace());
  s.LoadElements(kNoaa15Line1, WithColumns(line2, 9, " 90.0000"));
  EXPECT_FALSE(s.DeepSpace());
}

TEST(Propagation, AgreesWithTheReferenceLibraryOverFourDays) {
  const std::map<std::string, bool> deepSpace = {
      {"25338", false}, {"28654", false}, {"33591", false}, {"88888", false},
      {"27509", true},  {"29155", true},  {"11801", true},  {"99901", true}};
  std::map<std::string, std::unique_ptr<TSatellite>> satellites;
  double worstPosition[2] = {0, 0}, worstVelocity[2] = {0, 0};
  int rows = 0;
  for (const std::vector<double>& row : CsvRows("orbit-reference.csv")) {
    char catalogue[8];
    std::snprintf(catalogue, sizeof catalogue, "%05d", static_cast<int>(row[0]));
    auto& satellite = satellites[catalogue];
    if (!satellite) satellite = TestSatellite(catalogue);
    ASSERT_EQ(satellite->DeepSpace(), deepSpace.at(catalogue)) << catalogue;
    TVector4 p, v;
    satellite->PositionAt(satellite->Epoch() + row[1] / 1440, p, v);
    TSatellite::ScaleToKm(p, v);
    const int deep = satellite->DeepSpace();
    worstPosition[deep] =
        std::max(worstPosition[deep], std::hypot(p.x - row[2], p.y - row[3], p.z - row[4]));
    worstVelocity[deep] =
        std::max(worstVelocity[deep], std::hypot(v.x - row[5], v.y - row[6], v.z - row[7]));
    EXPECT_NEAR(p.w, std::hypot(row[2], row[3], row[4]), 10);
    ++rows;
  }
  EXPECT_EQ(rows, 8 * 17);
  EXPECT_LT(worstPosition[0], 1.0);
  EXPECT_LT(worstPosition[1], 10.0);
  EXPECT_LT(worstVelocity[0], 1e-3);
  EXPECT_LT(worstVelocity[1], 1e-2);
  RecordProperty("NearEarthWorstKm", std::to_string(worstPosition[0]));
  RecordProperty("DeepSpaceWorstKm", std::to_string(worstPosition[1]));
  std::printf("worst position: near-earth %.4f km, deep space %.4f km\n", worstPosition[0],
              worstPosition[1]);
}

TEST(Propagation, DeepSpaceSatellitesDoNotShareState) {
  // Each satellite alone, then all of them initialised and propagated in
  // turns, back and forth in time.
  const char* catalogues[] = {"99901", "29155", "11801"};
  const double days[] = {3, -1, 2.5, 0.2, -0.7, 3};
  std::map<std::string, std::vector<TVector4>> alone;
  for (const char* c : catalogues) {
    for (double d : days) {
      auto s = TestSatellite(c);
      TVector4 p, v;
      s->PositionAt(s->Epoch() + d, p, v);
      alone[c].push_back(p);
    }
  }
  std::vector<std::unique_ptr<TSatellite>> together;
  for (const char* c : catalogues) together.push_back(TestSatellite(c));
  for (std::size_t k = 0; k < std::size(days); ++k) {
    for (std::size_t i = 0; i < together.size(); ++i) {
      TVector4 p, v;
      together[i]->PositionAt(together[i]->Epoch() + days[k], p, v);
      EXPECT_DOUBLE_EQ(p.x, alone[catalogues[i]][k].x) << catalogues[i] << " day " << days[k];
      EXPECT_DOUBLE_EQ(p.z, alone[catalogues[i]][k].z) << catalogues[i] << " day " << days[k];
    }
  }
}

TEST(LookAngles, AzimuthElevationRangeAndRateFromTheObserversFrame) {
  const double jd = 2458721.25;
  struct Case {
    double azimuth, elevation;  // degrees
    bool visible;
    double expectedElevation;  // with Bennett's refraction, by hand
  };
  const Case cases[] = {
      {0, 90, true, 90 + 1.02 / std::tan(Radians(90 + 10.3 / 95.11)) / 60},
      {90, 45, true, 45 + 1.02 / std::tan(Radians(45 + 10.3 / 50.11)) / 60},
      {200, 5, true, 5 + 1.02 / std::tan(Radians(5 + 10.3 / 10.11)) / 60},
      {300, -10, false, -10},
  };
  for (const Case& c : cases) {
    TObserver home{Radians(52.5), Radians(13.4), 0.1};
    TVector4 op, ov;
    ObserverInertial(home, jd, op, ov);
    // The line of sight from the local north, east and up directions.
    const double lat = home.latitude, th = home.theta;
    const double az = Radians(c.azimuth), el = Radians(c.elevation);
    const double n = std::cos(el) * std::cos(az), e = std::cos(el) * std::sin(az);
    const double u = std::sin(el);
    TVector4 line{
        -n * std::sin(lat) * std::cos(th) - e * std::sin(th) + u * std::cos(lat) * std::cos(th),
        -n * std::sin(lat) * std::sin(th) + e * std::cos(th) + u * std::cos(lat) * std::sin(th),
        n * std::cos(lat) + u * std::sin(lat), 1};
    const TVector4 satellite = VecAdd(op, ScalarMultiply(1500, line));
    const TVector4 velocity = VecAdd(ov, ScalarMultiply(2.5, line));
    TLookAngles look;
    EXPECT_EQ(TopocentricLookAngles(satellite, velocity, home, jd, look), c.visible);
    if (c.elevation < 90) {
      EXPECT_NEAR(Degrees(look.azimuth), c.azimuth, 1e-7);
    }
    EXPECT_NEAR(Degrees(look.elevation), c.expectedElevation, 1e-7);
    EXPECT_NEAR(look.range, 1500, 1e-6);
    EXPECT_NEAR(look.rangeRate, 2.5, 1e-9);
  }
}

TEST(LookAngles, GeodeticCoordinatesOfObserversComeBack) {
  // At J2000.0 the sidereal angle is 280.46 degrees: an observer on the
  // equator at longitude 0 lies there in the inertial frame.
  TObserver equator{0, 0, 0};
  TVector4 p, v;
  ObserverInertial(equator, 2451545.0, p, v);
  EXPECT_NEAR(p.x, kEarthRadius * std::cos(4.894961212823059), 1e-6);
  EXPECT_NEAR(p.y, kEarthRadius * std::sin(4.894961212823059), 1e-6);
  EXPECT_NEAR(v.w, kEarthRadius * kEarthRotation, 1e-12);
  for (const TObserver o :
       {TObserver{Radians(-33.9), Radians(18.4), 0.05}, TObserver{Radians(89.9), Radians(350), 4.0},
        TObserver{Radians(45), Radians(180), 850.0}}) {
    TObserver copy = o;
    ObserverInertial(copy, 2458721.3, p, v);
    const TGeodetic g = GeodeticFromInertial(p, 2458721.3);
    EXPECT_NEAR(g.latitude, o.latitude, 1e-9);
    EXPECT_NEAR(g.longitude, o.longitude, 1e-9);
    EXPECT_NEAR(g.height, o.height, 1e-6);
  }
}

TEST(LookAngles, FromASatelliteSeeTheSubSatellitePointAndDirection) {
  auto noaa15 = TestSatellite("25338");
  const double jd = JulianDateOf(EncodeDateTime(2019, 8, 25, 18, 30));
  TObserver nowhere{0, 0, 0};
  TSatelliteLook look;
  noaa15->LookAnglesAt(nowhere, 0, jd, look);
  EXPECT_FALSE(look.southbound);  // the evening pass over Europe runs north
  TObserver below{look.latitude, look.longitude, 0};
  EXPECT_TRUE(noaa15->LookAnglesAt(below, 80, jd, look));
  EXPECT_NEAR(Degrees(look.elevation), 90, 0.01);
  EXPECT_NEAR(look.range, 803, 5);
  EXPECT_FALSE(noaa15->LookAnglesAt(below, 90.1, jd, look));
}

}  // namespace
}  // namespace vivurozed
