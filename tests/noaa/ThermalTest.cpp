#include "noaa/Thermal.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "image/BMPExtImage.h"

namespace vivurozed {
namespace {

// Planck's law written out here, so the sensor is checked against physics
// rather than against itself.
double Radiance(double t, double nu) {
  return 1.1910427e-5 * std::pow(nu, 3) / std::expm1(1.4387752 * nu / t);
}
double Brightness(double n, double nu) {
  return 1.4387752 * nu / std::log1p(1.1910427e-5 * std::pow(nu, 3) / n);
}

TEST(Planck, RadianceAndInverseAgreeWithTheLaw) {
  for (double t : {180.0, 250.0, 300.0, 330.0}) {
    EXPECT_NEAR(PlanckRadiance(t, 925.4075), Radiance(t, 925.4075), 1e-9 * Radiance(t, 925.4075));
    EXPECT_NEAR(InversePlanck(Radiance(t, 917.2289), 917.2289), t, 1e-9);
  }
  // By hand: c1 nu^3 = 9551.7, c2 nu / T = 4.4557, 9551.7 / (e^4.4557 - 1) = 112.2.
  EXPECT_NEAR(PlanckRadiance(300.0, 929.08035), 112.2, 0.1);
  EXPECT_EQ(PlanckRadiance(0.0, 925.0), 0.0);
  EXPECT_EQ(PlanckRadiance(-5.0, 925.0), 0.0);
  EXPECT_EQ(InversePlanck(0.0, 925.0), 0.0);
  EXPECT_EQ(InversePlanck(-1.0, 925.0), 0.0);
}

TEST(Sensor, Noaa14CalibrationPutsTheBlackbodyAtItsTemperatureAndSpaceAtZero) {
  TSensor s;  // NOAA-14
  s.Calibrate(60, 200, 290.0);
  // At the blackbody count the line passes through N(290); only the small
  // non-linearity correction separates the table from 290 K.
  EXPECT_NEAR(s.Temperature(60), 290.0, 0.5);
  // At the space count the radiance is -4.05, corrected to just below zero.
  EXPECT_EQ(s.Temperature(200), 0.0);
  // Brighter is colder all the way.
  for (int i = 1; i < 200; ++i) EXPECT_LT(s.Temperature(i), s.Temperature(i - 1)) << i;
  // Value 130 by hand: the straight line between the two counts, corrected.
  const double nbb = Radiance(290.0, 929.08035);
  const double slope = (nbb + 4.05) / ((4 * 60 + 1.5) - (4 * 200 + 1.5));
  const double l = -4.05 + slope * ((4 * 130 + 1.5) - (4 * 200 + 1.5));
  const double n = 0.0003822 * l * l + 0.92378 * l + 3.72;
  EXPECT_NEAR(s.Temperature(130), Brightness(n, 929.08035), 1e-9);
}

TEST(Sensor, Noaa15CalibrationUsesThePrtRadiance) {
  TSensor s;
  s.SetModel(smNOAA15);
  const double tbb = s.PrtTemperature({100, 101, 102, 103});
  s.Calibrate(70, 230, 0.0);  // the temperature argument is not used here
  EXPECT_NEAR(s.Temperature(70), tbb, 0.2);
  // Value 150: linear radiance between space (-4.5) and blackbody, corrected,
  // then the effective-temperature correction undone.
  const double nbb = Radiance(0.33781 + 0.998719 * tbb, 925.4075);
  const double l = -4.5 + (nbb + 4.5) * ((4 * 230 + 1.5) - (4 * 150 + 1.5)) / (4.0 * (230 - 70));
  const double n = l + 0.0004524 * l * l - 0.0932 * l + 4.76;
  EXPECT_NEAR(s.Temperature(150), (Brightness(n, 925.4075) - 0.33781) / 0.998719, 1e-6);
  EXPECT_EQ(s.Temperature(255), 0.0);
}

TEST(Sensor, GenericCalibrationFitsAPolynomialThroughPlanck) {
  TSensor s;
  s.SetModel(smUnknown);
  s.Calibrate(60, 200, 290.0);
  // The count runs linearly in radiance from 200 at 100 K to 60 at 290 K.
  const double n100 = Radiance(100, 929.08035), nbb = Radiance(290, 929.08035);
  const double slope = (60.0 - 200.0) / (nbb - n100);
  EXPECT_EQ(s.CountAt283K(),
            static_cast<int>(std::trunc(slope * Radiance(283, 929.08035) + 60 - slope * nbb)));
  // A quintic through truncated counts, with the cold end piled up near
  // count 200, is only a coarse calibration.
  EXPECT_NEAR(s.Temperature(60), 290.0, 6.0);
  EXPECT_NEAR(s.Temperature(s.CountAt283K()), 283.0, 4.0);
  EXPECT_LT(s.Temperature(200), 200.0);
  for (int i = 31; i <= 150; ++i) EXPECT_LT(s.Temperature(i), s.Temperature(i - 1)) << i;
}

TEST(Sensor, OutOfRangeCalibrationLeavesTheTableAlone) {
  TSensor s;
  s.Calibrate(60, 200, 290.0);
  const auto before = s.Temperatures();
  // Space too dark, blackbody too dark, both equal.
  for (auto [blackbody, space] : {std::pair{60, 127}, {15, 200}, {150, 150}}) {
    s.Calibrate(blackbody, space, 280.0);
    EXPECT_EQ(s.Temperatures(), before) << blackbody << " " << space;
  }
}

// Made by make_thermal_reference.py from the published constants alone.
// By hand for NOAA-18 at all zeros (count 1.5): mean d0 276.616, plus
// 1.5 x mean d1 0.0510275 = 0.0765413, plus 2.25 x mean d2 1.484e-6: 276.69254.
struct TPrtCase {
  TSensorModel model;
  std::array<int, 4> wedges;
  double kelvin;
};
const TPrtCase kPrtCases[] = {
    {smNOAA15, {0, 0, 0, 0}, 276.699836},   {smNOAA15, {255, 0, 0, 0}, 290.071943},
    {smNOAA15, {0, 255, 0, 0}, 290.065796}, {smNOAA15, {0, 0, 255, 0}, 290.066304},
    {smNOAA15, {0, 0, 0, 255}, 290.081349}, {smNOAA15, {100, 101, 102, 103}, 297.628650},
    {smNOAA16, {0, 0, 0, 0}, 276.239133},   {smNOAA16, {255, 0, 0, 0}, 289.543509},
    {smNOAA16, {0, 255, 0, 0}, 289.662153}, {smNOAA16, {0, 0, 255, 0}, 289.677909},
    {smNOAA16, {0, 0, 0, 255}, 289.645987}, {smNOAA16, {100, 101, 102, 103}, 297.485076},
    {smNOAA18, {0, 0, 0, 0}, 276.692545},   {smNOAA18, {255, 0, 0, 0}, 290.104298},
    {smNOAA18, {0, 255, 0, 0}, 290.086697}, {smNOAA18, {0, 0, 255, 0}, 290.083410},
    {smNOAA18, {0, 0, 0, 255}, 290.092318}, {smNOAA18, {100, 101, 102, 103}, 297.656159},
    {smNOAA19, {0, 0, 0, 0}, 276.695738},   {smNOAA19, {255, 0, 0, 0}, 290.095762},
    {smNOAA19, {0, 255, 0, 0}, 290.113952}, {smNOAA19, {0, 0, 255, 0}, 290.099665},
    {smNOAA19, {0, 0, 0, 255}, 290.105028}, {smNOAA19, {100, 101, 102, 103}, 297.675998},
};

TEST(Sensor, PrtTemperaturesAreTheMeanOfTheFourPolynomials) {
  // One PRT at full scale at a time: the four polynomials differ by a few
  // millikelvin there, so a coefficient on the wrong PRT shows.
  for (const auto& c : kPrtCases) {
    TSensor s;
    s.SetModel(c.model);
    EXPECT_NEAR(s.PrtTemperature(c.wedges), c.kelvin, 5e-4)
        << SensorModelName(c.model) << " " << c.wedges[0] << " " << c.wedges[3];
  }
}

struct TCalibrationCase {
  TSensorModel model;
  std::array<int, 4> prt;
  int blackbody, space;
  std::array<int, 10> values;
  std::array<double, 10> kelvin;
};

TEST(Sensor, Noaa18And19CalibrationMatchesThePublishedConstants) {
  // Values 0 .. 220, the blackbody and space themselves, and beyond space,
  // where the corrected radiance turns negative and no temperature is known.
  const TCalibrationCase cases[] = {
      {smNOAA18,
       {100, 101, 102, 103},
       160,
       230,
       {0, 40, 100, 160, 180, 200, 220, 230, 231, 255},
       {417.6871, 391.4176, 348.7864, 297.6388, 276.1943, 249.4291, 207.6800, 144.1780, 0, 0}},
      {smNOAA19,
       {90, 92, 94, 96},
       150,
       225,
       {0, 40, 100, 150, 180, 200, 220, 225, 226, 255},
       {401.8063, 376.9801, 336.2857, 295.8899, 264.9197, 237.0482, 186.3268, 142.7987, 0, 0}},
  };
  for (const auto& c : cases) {
    TSensor s;
    s.SetModel(c.model);
    s.Calibrate(c.blackbody, c.space, s.PrtTemperature(c.prt));
    for (std::size_t i = 0; i < c.values.size(); ++i)
      EXPECT_NEAR(s.Temperature(c.values[i]), c.kelvin[i], 0.1)
          << SensorModelName(c.model) << " " << c.values[i];
  }
}

TEST(SensorModels, DefaultNamesOrdinalsAndMenuEntries) {
  TSensor s;
  EXPECT_EQ(s.Model(), smNOAA14);
  for (double t : s.Temperatures()) EXPECT_EQ(t, 0.0);
  // Choosing the model again keeps what was measured.
  s.SetModel(smNOAA15);
  s.PrtTemperature({10, 20, 30, 40});
  const double radiance = s.BlackbodyRadiance();
  s.SetModel(smNOAA15);
  EXPECT_EQ(s.BlackbodyRadiance(), radiance);
  s.SetModel(smNOAA12);  // no calibration case of its own
  EXPECT_DOUBLE_EQ(s.WaveNumber(), 920.78975);
  // The ordinals are stored in the settings and the run history.
  const std::pair<TSensorModel, int> ordinals[] = {{smNOAA17, 5}, {smNOAA18, 6}, {smNOAA19, 7}};
  for (auto [model, ordinal] : ordinals) EXPECT_EQ(static_cast<int>(model), ordinal);
  EXPECT_STREQ(SensorModelName(smNOAA19), "NOAA19");
  EXPECT_STREQ(SensorModelName(smUnknown), "NOAA");

  const std::pair<const char*, TSensorModel> satellites[] = {
      {"NOAA-12", smNOAA12},  {"NOAA-15", smNOAA15}, {"NOAA-17", smNOAA17},
      {"NOAA-18", smNOAA18},  {"NOAA-19", smNOAA19}, {"NOAA-10", smUnknown},
      {"NOAA 19", smUnknown}, {"NOAA-1", smUnknown}, {"", smUnknown}};
  for (auto [name, model] : satellites) EXPECT_EQ(SensorModelOfSatellite(name), model) << name;

  std::vector<std::string> texts;
  for (const auto& c : SensorChoices()) {
    texts.emplace_back(c.text);
    if (!c.quorum) {
      EXPECT_EQ(SensorModelOfSatellite("NOAA-" + texts.back().substr(5)), c.model);
    }
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"NOAA 12", "NOAA 14", "NOAA 15", "NOAA 16", "NOAA 17",
                                             "NOAA 18", "NOAA 19", "NOAA14 - Quorum"}));
  EXPECT_EQ(SensorChoices().back().model, smNOAA14);
  EXPECT_TRUE(SensorChoices().back().quorum);
}

TEST(QuorumRotation, RowsRotateLeftThenThePictureTurns) {
  // Width 104: shift = 52 + 104 * 36 / 2080 = 53.
  TExtBitmap bmp(104, 3, pf8bit);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 104; ++x) bmp.ScanLine(y)[x] = std::uint8_t(x + 100 * (y == 2));
  RotateQuorumPicture(bmp);
  // Row 0 of the result is the old row 2 rotated and reversed.
  for (int x = 0; x < 104; ++x) {
    const int rotatedX = 103 - x;              // undo the half-turn
    const int source = (rotatedX + 53) % 104;  // undo the left rotation
    EXPECT_EQ(bmp.ScanLine(0)[x], source + 100) << x;
    EXPECT_EQ(bmp.ScanLine(2)[x], source) << x;
  }
}

}  // namespace
}  // namespace vivurozed
