#include "noaa/Thermal.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "analysis/CurveFit.h"
#include "image/BMPExtImage.h"

namespace vivurozed {

namespace {

double TenBitCount(double v) {
  return 4.0 * v + 1.5;
}

// Space radiance and the non-linearity correction N = q2 L^2 + q1 L + q0.
struct TRadianceCorrection {
  double space, q2, q1, q0;
};

TRadianceCorrection Correction(TSensorModel model) {
  switch (model) {
    case smNOAA15:
      return {-4.5, 0.0004524, 1.0 - 0.0932, 4.76};
    case smNOAA16:
      return {-2.467, 0.00024532, 1.0 - 0.05411, 2.96};
    case smNOAA17:
      return {-8.55, 0.00075579, 1.0 - 0.15795, 8.22};
    case smNOAA18:
      return {-5.53, 0.00052337, 1.0 - 0.11069, 5.82};
    case smNOAA19:
      return {-5.49, 0.00054668, 1.0 - 0.11187, 5.70};
    default:
      return {-4.05, 0.0003822, 0.92378, 3.72};
  }
}

double Corrected(const TRadianceCorrection& c, double l) {
  return c.q2 * l * l + c.q1 * l + c.q0;
}

}  // namespace

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
    case smNOAA18:
      return "NOAA18";
    case smNOAA19:
      return "NOAA19";
    case smUnknown:
      break;
  }
  return "NOAA";
}

TSensorModel SensorModelOfSatellite(std::string_view name) {
  static constexpr std::pair<std::string_view, TSensorModel> kModels[] = {
      {"NOAA-12", smNOAA12}, {"NOAA-14", smNOAA14}, {"NOAA-15", smNOAA15}, {"NOAA-16", smNOAA16},
      {"NOAA-17", smNOAA17}, {"NOAA-18", smNOAA18}, {"NOAA-19", smNOAA19}};
  for (const auto& [satellite, model] : kModels)
    if (name == satellite) return model;
  return smUnknown;
}

std::span<const TSensorChoice> SensorChoices() {
  static constexpr TSensorChoice kChoices[] = {
      {"NOAA 12", smNOAA12, false}, {"NOAA 14", smNOAA14, false},
      {"NOAA 15", smNOAA15, false}, {"NOAA 16", smNOAA16, false},
      {"NOAA 17", smNOAA17, false}, {"NOAA 18", smNOAA18, false},
      {"NOAA 19", smNOAA19, false}, {"NOAA14 - Quorum", smNOAA14, true}};
  return kChoices;
}

double PlanckRadiance(double t, double nu) {
  if (t <= 0.0) return 0.0;
  return kPlanckC1 * nu * nu * nu / (std::exp(kPlanckC2 * nu / t) - 1.0);
}

double InversePlanck(double n, double nu) {
  if (n <= 0.0) return 0.0;
  return kPlanckC2 * nu / std::log(1.0 + kPlanckC1 * nu * nu * nu / n);
}

TSensor::TSensor() {
  table_.fill(0.0);
  SetModel(smNOAA14);
}

void TSensor::SetModel(TSensorModel model) {
  if (model == model_) return;
  model_ = model;
  using Row = std::array<double, 4>;
  auto all = [](double v) { return Row{v, v, v, v}; };
  a_ = 0.0;
  b_ = 1.0;
  switch (model) {
    case smNOAA15:
      nu_ = 925.4075;
      d_ = {Row{276.60157, 276.62531, 276.67413, 276.59258},
            Row{0.051045, 0.050909, 0.050907, 0.050966},
            Row{1.36328e-06, 1.47266e-06, 1.47656e-06, 1.47656e-06}, all(0), all(0)};
      a_ = 0.33781;
      b_ = 0.998719;
      break;
    case smNOAA16:
      nu_ = 917.2289;
      d_ = {Row{276.355, 276.142, 275.996, 276.132}, Row{0.05526, 0.05605, 0.05486, 0.05494},
            Row{-1.59e-05, -1.707e-05, -1.223e-05, -1.344e-05},
            Row{2.486e-08, 2.595e-08, 1.862e-08, 2.112e-08},
            Row{-1.199e-11, -1.224e-11, -8.53e-12, -1.001e-11}};
      a_ = 0.33238;
      b_ = 0.998522;
      break;
    case smNOAA17:
      nu_ = 926.2947;
      d_ = {Row{276.628, 276.538, 276.761, 276.66}, Row{0.05098, 0.05098, 0.05097, 0.051},
            Row{1.371e-06, 1.371e-06, 1.369e-06, 1.348e-06}, all(0), all(0)};
      a_ = 0.271683;
      b_ = 0.998794;
      break;
    case smNOAA18:
      nu_ = 928.1460;
      d_ = {Row{276.601, 276.683, 276.565, 276.615}, Row{0.05090, 0.05101, 0.05117, 0.05103},
            Row{1.657e-06, 1.482e-06, 1.313e-06, 1.484e-06}, all(0), all(0)};
      a_ = 0.436645;
      b_ = 0.998607;
      break;
    case smNOAA19:
      nu_ = 928.9;
      d_ = {Row{276.6067, 276.6119, 276.6311, 276.6268},
            Row{0.051111, 0.051090, 0.051033, 0.051058},
            Row{1.405783e-06, 1.496037e-06, 1.496990e-06, 1.493110e-06}, all(0), all(0)};
      a_ = 0.53959;
      b_ = 0.998534;
      break;
    default:  // NOAA-12, NOAA-14 and the generic fit share the PRT polynomial
      nu_ = model == smNOAA12 ? 920.78975 : 929.08035;
      d_ = {all(276.597), all(0.051275), all(1.363e-06), all(0), all(0)};
      break;
  }
}

double TSensor::PrtTemperature(const std::array<int, 4>& prt) {
  double sum = 0.0;
  for (std::size_t k = 0; k < 4; ++k) {
    const auto c = static_cast<float>(TenBitCount(prt[k]));
    float t = static_cast<float>(d_[4][k]);
    for (int p = 3; p >= 0; --p) t = t * c + static_cast<float>(d_[std::size_t(p)][k]);
    sum += t;
  }
  const double t = sum * 0.25;
  blackbodyRadiance_ = PlanckRadiance(a_ + b_ * t, nu_);
  return t;
}

void TSensor::Calibrate(int blackbody, int space, double blackbodyTemperature) {
  if (blackbody <= 15 || space <= 127 || space == blackbody) return;
  const TRadianceCorrection corr = Correction(model_);
  const double cb = TenBitCount(blackbody), cs = TenBitCount(space);
  switch (model_) {
    case smNOAA12:
    case smNOAA14: {
      const double nbb = PlanckRadiance(blackbodyTemperature, nu_);
      const double slope = (nbb - corr.space) / (cb - cs);
      const double intercept = corr.space - slope * cs;
      for (int i = 0; i < 256; ++i) {
        const double n = Corrected(corr, slope * TenBitCount(i) + intercept);
        table_[std::size_t(i)] = n <= 0.0 ? 0.0 : InversePlanck(n, nu_);
      }
      break;
    }
    case smNOAA15:
    case smNOAA16:
    case smNOAA17:
    case smNOAA18:
    case smNOAA19: {
      const double nbb = blackbodyRadiance_;
      for (int i = 0; i < 256; ++i) {
        const double l = corr.space + (nbb - corr.space) * (cs - TenBitCount(i)) / (cs - cb);
        const double n = Corrected(corr, l);
        table_[std::size_t(i)] = n <= 0.0 ? 0.0 : (InversePlanck(n, nu_) - a_) / b_;
      }
      break;
    }
    case smUnknown: {
      const double nbb = PlanckRadiance(blackbodyTemperature, nu_);
      const double n100 = PlanckRadiance(100.0, nu_);
      const double slope = (blackbody - space) / (nbb - n100);
      const double intercept = blackbody - slope * nbb;
      std::vector<double> counts, temps;
      int at283 = 0;
      for (int t = 100; t <= 320; ++t) {
        const double count = std::trunc(slope * PlanckRadiance(t, nu_) + intercept);
        if (t == 283) at283 = static_cast<int>(count);
        counts.push_back(count);
        temps.push_back(t);
      }
      TVector c;
      double r = 0.0;
      try {
        PolyFit(counts, temps, 6, c, r);
      } catch (const EMathError&) {
        return;  // too few distinct counts to fit: the table stays as it was
      }
      countAt283K_ = at283;
      for (int i = 0; i < 256; ++i) {
        double v = 0.0;
        for (std::size_t j = c.size(); j-- > 0;) v = v * i + c[j];
        table_[std::size_t(i)] = v;
      }
      break;
    }
  }
}

void RotateQuorumPicture(TExtBitmap& picture) {
  const int w = picture.Width();
  if (w <= 0) return;
  const int bytes = picture.PixelFormat() == pf24bit ? 3 : 1;
  const int shift = (w / 2 + w * 36 / 2080) % w;
  std::vector<std::uint8_t> row(std::size_t(w) * bytes);
  for (int y = 0; y < picture.Height(); ++y) {
    std::uint8_t* p = picture.ScanLine(y);
    std::copy_n(p, row.size(), row.begin());
    std::rotate(row.begin(), row.begin() + std::ptrdiff_t(shift) * bytes, row.end());
    std::copy(row.begin(), row.end(), p);
  }
  picture.Rotate();
}

}  // namespace vivurozed
