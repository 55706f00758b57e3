// Calibration of the NOAA thermal-infrared channel: the sensor model of the
// satellite, the blackbody temperature from the PRT telemetry wedges, and the
// table of temperatures for each 8-bit value.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace vivurozed {

class TExtBitmap;

enum TSensorModel : std::uint8_t {
  smUnknown = 0,
  smNOAA12 = 1,
  smNOAA14 = 2,
  smNOAA15 = 3,
  smNOAA16 = 4,
  smNOAA17 = 5,
  smNOAA18 = 6,
  smNOAA19 = 7
};

// "NOAA12" .. "NOAA19", and "NOAA" for the unknown model.
const char* SensorModelName(TSensorModel model);

// The model of a normalised satellite name ("NOAA-12" .. "NOAA-19"); unknown
// for any other name, NOAA-10 included.
TSensorModel SensorModelOfSatellite(std::string_view name);

// One entry of the sensor menu and combo box. The quorum entry stands for
// the "NOAA14 - Quorum" receiver, whose pictures come out rotated.
struct TSensorChoice {
  const char* text;
  TSensorModel model;
  bool quorum;
};
// The entries in menu order.
std::span<const TSensorChoice> SensorChoices();

// Planck constants: c1 in mW m-2 sr-1 (cm-1)-4, c2 in cm K.
constexpr double kPlanckC1 = 1.1910427e-5;
constexpr double kPlanckC2 = 1.4387752;

// Radiance of a black body at temperature t (K) and wave number nu (cm-1);
// 0 for t <= 0.
double PlanckRadiance(double t, double nu);
// Temperature of the radiance n at wave number nu; 0 for n <= 0.
double InversePlanck(double n, double nu);

class TSensor {
 public:
  TSensor();
  TSensorModel Model() const { return model_; }
  // Loads the model's constants; the same model again changes nothing.
  void SetModel(TSensorModel model);

  // Blackbody temperature (K) from the four 8-bit PRT wedge values; also
  // keeps the blackbody radiance for the NOAA-15 .. 19 calibration.
  double PrtTemperature(const std::array<int, 4>& prt);
  // Fills the temperature table from the 8-bit blackbody and space values
  // and the blackbody temperature. Leaves it alone unless blackbody > 15,
  // space > 127 and the two differ.
  void Calibrate(int blackbody, int space, double blackbodyTemperature);

  // Kelvin for each 8-bit value; 0 where no temperature is known.
  const std::array<double, 256>& Temperatures() const { return table_; }
  double Temperature(int value) const { return table_[static_cast<std::size_t>(value & 0xFF)]; }
  int CountAt283K() const { return countAt283K_; }
  double BlackbodyRadiance() const { return blackbodyRadiance_; }
  double WaveNumber() const { return nu_; }
  double A() const { return a_; }
  double B() const { return b_; }

 private:
  TSensorModel model_ = smUnknown;
  std::array<double, 256> table_{};
  int countAt283K_ = 0;
  std::array<std::array<double, 4>, 5> d_{};  // d_[power][prt]
  double a_ = 0.0, b_ = 1.0, nu_ = 0.0;
  double blackbodyRadiance_ = 0.0;
};

// The receiver choice "NOAA14 - Quorum": every row of the finished picture
// rotated left by half the width plus width x 36 / 2080 pixels, wrapping,
// then the whole picture turned by 180 degrees.
void RotateQuorumPicture(TExtBitmap& picture);

}  // namespace vivurozed
