#include "orbit/SGP_Time.h"

#include <gtest/gtest.h>

#include <cmath>

#include "orbit/SGP_Constants.h"
#include "orbit/SGP_Math.h"
#include "orbit/Support.h"
#include "platform/MathError.h"

namespace vivurozed {
namespace {

TEST(Time, JulianDatesAndSiderealAnglesAgreeWithTheReferenceLibrary) {
  // Julian dates and sidereal angles from python3-sgp4 (jday, gstime).
  struct Case {
    int year, month, day, hour, minute, second, millisecond;
    double jd, sidereal;
  };
  const Case cases[] = {
      {2000, 1, 1, 12, 0, 0, 0, 2451545.0, 4.894961212823059},
      {1957, 10, 4, 19, 28, 34, 0, 2436116.3115046294, 5.329470618536426},
      {2019, 8, 25, 18, 27, 45, 500, 2458721.2692766204, 4.375036539703018},
      {2020, 2, 29, 23, 59, 59, 990, 2458909.499999884, 2.7796222105622874},
      {1900, 3, 1, 0, 0, 0, 0, 2415079.5, 2.763501449885773},  // 1900 is no leap year
      {2056, 1, 1, 0, 0, 0, 0, 2471998.5, 1.7522956701266565},
  };
  for (const Case& c : cases) {
    const TDateTime t =
        EncodeDateTime(c.year, c.month, c.day, c.hour, c.minute, c.second, c.millisecond);
    EXPECT_NEAR(JulianDateOf(t), c.jd, 2e-9) << c.year;
    EXPECT_NEAR(DateTimeOfJulianDate(c.jd), t, 2e-9) << c.year;
    EXPECT_NEAR(SiderealAngle(c.jd), c.sidereal, 1e-9) << c.year;
  }
  EXPECT_NEAR(Degrees(SiderealAngle(2451545.0)), 280.4606, 1e-4);
  // Thousandths below the hundredth of a second are dropped.
  EXPECT_DOUBLE_EQ(JulianDateOf(EncodeDateTime(2000, 1, 1, 12, 0, 0, 19)),
                   2451545.0 + 0.01 / 86400);
  EXPECT_EQ(YearStartJulianDate(2000), 2451543.5);
}

TEST(Time, ElementEpochsPivotBetween1957And2056) {
  struct Case {
    double epoch, jd;
  };
  const Case cases[] = {{56001.0, 2471998.5},
                        {57001.0, 2435839.5},
                        {1.5, 2451545.0},
                        {99365.0, 2451543.5},
                        {19237.55125393, 2458720.5 + 0.55125393}};
  for (const Case& c : cases) EXPECT_NEAR(EpochToJulianDate(c.epoch), c.jd, 1e-8) << c.epoch;
  EXPECT_TRUE(std::isnan(EpochToJulianDate(123456.0)));
  double days = 0;
  EXPECT_DOUBLE_EQ(SiderealAngle(1.5, days), SiderealAngle(2451545.0));
  EXPECT_DOUBLE_EQ(days, 2451545.0 - 2433281.5);
}

TEST(Time, DateTimesDecodeAndFormat) {
  const TDateTime t = EncodeDateTime(2019, 8, 25, 18, 27, 45, 500);
  EXPECT_NEAR(t, 43702 + (18 * 3600 + 27 * 60 + 45.5) / 86400, 1e-9);
  const TDateTimeFields f = DecodeDateTime(t);
  EXPECT_EQ(f.year * 10000 + f.month * 100 + f.day, 20190825);
  EXPECT_EQ(f.hour * 10000 + f.minute * 100 + f.second, 182745);
  EXPECT_EQ(f.millisecond, 500);
  EXPECT_EQ(FormatDateTime("yyyy-mmmm-dd hh:nn", t), "2019-August-25 18:27");
  EXPECT_EQ(FormatDateTime("yyyy mmm dd, hh:nn:ss.zzz yy", t), "2019 Aug 25, 18:27:45.500 19");
  EXPECT_EQ(DecodeDateTime(-0.25).day, 29);  // 1899-12-29 18:00
  EXPECT_EQ(DecodeDateTime(std::nan("")).year, 1899);
  EXPECT_NEAR(UtcNow(), EncodeDateTime(2030, 1, 1), 3650);
}

TEST(OrbitMath, ScalarHelpersKeepTheirRanges) {
  try {
    Power(-1, 0.5);
    ADD_FAILURE();
  } catch (const EMathError& e) {
    EXPECT_STREQ(e.what(), "Invalid argument in Function Power!");
  }
  EXPECT_THROW(Power(0, 2), EMathError);
  EXPECT_DOUBLE_EQ(ArcSin(1.5), kPi / 2);
  EXPECT_DOUBLE_EQ(ArcSin(-1), -kPi / 2);
  EXPECT_NEAR(ArcSin(0.5), kPi / 6, 1e-15);
  EXPECT_DOUBLE_EQ(Modulus(-1, 5), 4);
  EXPECT_DOUBLE_EQ(Modulus(7, 5), 2);
  EXPECT_NEAR(FMod2p(-0.5), kTwoPi - 0.5, 1e-15);
  // (sin, cos) -> angle: the four quadrants and both axes.
  EXPECT_DOUBLE_EQ(AcTan(1, 0), kPi / 2);
  EXPECT_DOUBLE_EQ(AcTan(-1, 0), 3 * kPi / 2);
  EXPECT_DOUBLE_EQ(AcTan(0, 0), 3 * kPi / 2);
  EXPECT_NEAR(AcTan(1, 1), kPi / 4, 1e-15);
  EXPECT_NEAR(AcTan(1, -1), 3 * kPi / 4, 1e-15);
  EXPECT_NEAR(AcTan(-1, -1), 5 * kPi / 4, 1e-15);
  EXPECT_NEAR(AcTan(-1, 1), -kPi / 4, 1e-15);
}

TEST(Support, FixedColumnFieldsReadBlanksAsZeros) {
  const std::string line = "1 25338U 98030A   19237.55125393 -.00000021  00000-0 -11606-4 +0  x";
  struct Case {
    int start, length;
    double value;
  };
  const Case cases[] = {
      {3, 5, 25338},
      {19, 14, 19237.55125393},
      {34, 10, -0.00000021},
      {45, 6, 0},
      {51, 2, -0},
      {54, 6, -11606},
      {60, 2, -4},
      {63, 2, 0},
      {67, 3, 0},
      {70, 5, 0},
      {1, 0, 0},
      {9, 9, 0},
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(FieldValue(line, c.start, c.length), c.value) << c.start;
  }
  EXPECT_EQ(FieldValue(" 1 ", 1, 3), 10);  // blanks are zeros wherever they stand
  EXPECT_EQ(FieldValue(" nan", 1, 4), 0);
  EXPECT_EQ(FieldText(line, 66, 10), " x");  // the line ends first
  EXPECT_EQ(SplitLines("a\r\nb\rc\n\nd"), (std::vector<std::string>{"a", "b", "c", "", "d"}));
  EXPECT_EQ(Trim(" \tNOAA 15 [B]  \r"), "NOAA 15 [B]");
}

}  // namespace
}  // namespace vivurozed
