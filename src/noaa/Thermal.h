// Calibration of the NOAA thermal-infrared channel: the sensor model of the
// satellite and the table of temperatures for each 8-bit value.
#pragma once

#include <array>
#include <cstdint>

namespace vivurozed {

enum TSensorModel : std::uint8_t {
  smUnknown = 0,
  smNOAA12 = 1,
  smNOAA14 = 2,
  smNOAA15 = 3,
  smNOAA16 = 4,
  smNOAA17 = 5
};

// "NOAA12" .. "NOAA17", and "NOAA" for the unknown model.
const char* SensorModelName(TSensorModel model);

class TSensor {
 public:
  TSensor();
  TSensorModel Model() const { return model_; }
  void SetModel(TSensorModel model);
  // Kelvin for each 8-bit value; 0 where no temperature is known.
  const std::array<double, 256>& Temperatures() const { return table_; }

 private:
  TSensorModel model_ = smUnknown;
  std::array<double, 256> table_{};
};

}  // namespace vivurozed
