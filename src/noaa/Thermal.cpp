#include "noaa/Thermal.h"

namespace vivurozed {

const char* SensorModelName(TSensorModel model) {
  switch (model) {
    case smNOAA12:
      return "NOAA12";
    case smNOAA14:
      return "NOAA14";
    case smNOAA15:
      return "NOAA15";
    case smNOAA16:
      return "NOAA16";
    case smNOAA17:
      return "NOAA17";
    case smUnknown:
      break;
  }
  return "NOAA";
}

TSensor::TSensor() {
  SetModel(smNOAA14);
}

void TSensor::SetModel(TSensorModel model) {
  if (model == model_) return;
  model_ = model;
}

}  // namespace vivurozed
