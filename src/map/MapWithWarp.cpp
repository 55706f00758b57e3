#include "map/MapWithWarp.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "analysis/CurveFit.h"

namespace vivurozed {

namespace {

constexpr double kEarthRadius = 6378.135;  // km, WGS-72
constexpr double kDegree = std::numbers::pi / 180;
constexpr double kUnitsPerRadian = 4.3;
constexpr double kDefaultHalfAngle = 55.37;
constexpr int kSampleHalf = 2048, kGroundHalf = 1024;

int Nearest(double value) {
  return static_cast<int>(std::lrint(value));
}

// Scanner sample offsets of APT pixel u and their weights: 1 to 4 samples
// per pixel from the edges to the middle, with ranges where two pixels share
// three samples.
int PixelSamples(int u, std::array<int, 4>& offset, std::array<double, 4>& weight) {
  auto average = [&](int first, int count) {
    for (int i = 0; i < count; ++i) {
      offset[std::size_t(i)] = first + i;
      weight[std::size_t(i)] = 1.0 / count;
    }
    return count;
  };
  auto shared = [&](int start, int firstSample) {
    const int a = firstSample + 3 * ((u - start) / 2);
    offset = {(u - start) % 2 == 0 ? a : a + 2, a + 1, 0, 0};
    weight = {2.0 / 3, 1.0 / 3, 0, 0};
    return 2;
  };
  if (u <= -334) return average(u - 570, 1);
  if (u <= -272) return shared(-333, -903);
  if (u <= -189) return average(2 * u - 268, 2);
  if (u <= -79) return average(3 * u - 80, 3);
  if (u <= 78) return average(4 * u - 2, 4);
  if (u <= 188) return average(3 * u + 77, 3);
  if (u <= 271) return average(2 * u + 266, 2);
  if (u <= 333) return shared(272, 810);
  return average(u + 569, 1);
}

}  // namespace

double AptPixelSampleOffset(int u) {
  std::array<int, 4> offset{};
  std::array<double, 4> weight{};
  const int count = PixelSamples(
      std::clamp(u, -TWarpedMapping::kAptHalfWidth, TWarpedMapping::kAptHalfWidth), offset, weight);
  double position = 0;
  for (int i = 0; i < count; ++i) position += weight[std::size_t(i)] * offset[std::size_t(i)];
  return position;
}

void TWarpedMapping::Initialise(int mode, int midLine, double halfAngle, double groundStep,
                                double satelliteHeight, double centreLatitude,
                                double centreLongitude) {
  if (halfAngle == 0) halfAngle = kDefaultHalfAngle;
  if (!(groundStep > 0 && groundStep < 1000) || !(satelliteHeight > 0 && satelliteHeight < 1e6) ||
      !(halfAngle > 0 && halfAngle < 90) || !std::isfinite(centreLatitude) ||
      !std::isfinite(centreLongitude))
    throw EMathError("Map warp needs a positive ground step, satellite height and scan angle");
  centreLatitude_ = centreLatitude;
  centreLongitude_ = centreLongitude;
  sinCentre_ = std::sin(centreLatitude * kDegree);
  cosCentre_ = std::cos(centreLatitude * kDegree);
  midLine_ = midLine;
  SetRotation(0);
  SetVerticalWarp(0, 1, 0);
  SetHorizontalWarp(1, 0, 0);
  SetSkew(0, 0, 0);
  residuals_.clear();
  if (mode == wmChoose) mode = groundStep >= 2.2 ? wmReduced : wmScanner;
  mode_ = mode;
  // An APT line covers three ground steps.
  BuildSampleTable(groundStep >= 2.2 ? groundStep / 3 : groundStep, satelliteHeight, halfAngle);
  BuildGroundTable();
  BuildAptTables();
  if (mode_ == wmApt) columns_ = Nearest(AptGround(kAptHalfWidth) - AptGround(-kAptHalfWidth));
}

void TWarpedMapping::BuildSampleTable(double groundStep, double satelliteHeight, double halfAngle) {
  const double half = halfAngle * kDegree, height = satelliteHeight / kEarthRadius;
  columns_ = 0;
  double f = 0, previousF = 0, previousTheta = -1;
  int i = 0;
  while (i < kSampleHalf) {
    const double gamma = (i + 0.5) * groundStep / kEarthRadius;
    const double theta = std::atan(std::sin(gamma) / (height + 1 - std::cos(gamma)));
    // Beyond the horizon the angle falls again: the half-angle is out of sight.
    if (theta < previousTheta) break;
    previousF = f;
    f = theta * 1024 / half;
    samples_[std::size_t(kSampleHalf + i)] = 1023.5 + f;
    samples_[std::size_t(kSampleHalf - i - 1)] = 1023.5 - f;
    columns_ += 2;
    previousTheta = theta;
    ++i;
    if (theta > half) break;
  }
  const double increment = f - previousF;
  for (; i < kSampleHalf; ++i) {
    f += increment;
    samples_[std::size_t(kSampleHalf + i)] = 1023.5 + f;
    samples_[std::size_t(kSampleHalf - i - 1)] = 1023.5 - f;
  }
}

void TWarpedMapping::BuildGroundTable() {
  for (int p = -kGroundHalf; p < kGroundHalf; ++p) {
    double x = p;
    bool converged = false;
    for (int iteration = 0; iteration < 11 && !converged; ++iteration) {
      const int k = std::clamp(Nearest(x), 1 - kSampleHalf, kSampleHalf - 1);
      const double slope = SampleTable(k) - SampleTable(k - 1);
      const double miss = p - (SampleTable(k) - 1024);
      const double change = slope > 0.1 ? miss / slope : 0.8 * miss;
      x = std::clamp(x + change, -1800.0, 1800.0);
      converged = std::abs(change) < 1;
    }
    ground_[std::size_t(p + kGroundHalf)] = converged ? x : 0;
  }
}

void TWarpedMapping::BuildAptTables() {
  std::array<int, 4> offset{};
  std::array<double, 4> weight{};
  for (int u = -kAptHalfWidth; u <= kAptHalfWidth; ++u) {
    const int count = PixelSamples(u, offset, weight);
    double sum = 0;
    for (int i = 0; i < count; ++i)
      sum += weight[std::size_t(i)] * GroundTable(offset[std::size_t(i)]);
    aptGround_[std::size_t(u + kAptHalfWidth)] = sum / 3;
  }
  std::fill(aptInverse_.begin(), aptInverse_.end(), kUnset);
  for (int u = -kAptHalfWidth; u <= kAptHalfWidth; ++u) {
    const int g = Nearest(AptGround(u));
    if (g >= -kSampleHalf && g < kSampleHalf) aptInverse_[std::size_t(g + kSampleHalf)] = u;
  }
  std::vector<int> set;
  for (int i = 0; i < 2 * kSampleHalf; ++i)
    if (aptInverse_[std::size_t(i)] != kUnset) set.push_back(i);
  if (set.size() >= 2) {
    for (std::size_t s = 0; s + 1 < set.size(); ++s) {
      const int a = set[s], b = set[s + 1];
      const double ua = aptInverse_[std::size_t(a)], ub = aptInverse_[std::size_t(b)];
      for (int i = a + 1; i < b; ++i)
        aptInverse_[std::size_t(i)] = ua + (ub - ua) * (i - a) / (b - a);
    }
    // Beyond the picture the table goes on straight, never flatter than 0.9.
    auto slope = [&](int a, int b) {
      return std::max(0.9, (aptInverse_[std::size_t(b)] - aptInverse_[std::size_t(a)]) / (b - a));
    };
    const int first = set.front(), last = set.back();
    const double before = slope(first, set[1]), after = slope(set[set.size() - 2], last);
    for (int i = 0; i < first; ++i)
      aptInverse_[std::size_t(i)] = aptInverse_[std::size_t(first)] - before * (first - i);
    for (int i = last + 1; i < 2 * kSampleHalf; ++i)
      aptInverse_[std::size_t(i)] = aptInverse_[std::size_t(last)] + after * (i - last);
  }
  for (int k = 0; k <= 50; ++k) {
    sampleColumns_[std::size_t(k)] =
        mode_ == wmScanner ? 40 * k + 24
                           : AptInverse(Nearest(GroundTable(40 * k - 1000) / 3)) + kAptHalfWidth;
  }
}

void TWarpedMapping::SetRotation(double degrees) {
  rotation_ = degrees;
  sinRotation_ = std::sin(degrees * kDegree);
  cosRotation_ = std::cos(degrees * kDegree);
}

void TWarpedMapping::SetVerticalWarp(double b2, double b1, double b0) {
  b2_ = b2;
  b1_ = b1;
  b0_ = b0;
}

void TWarpedMapping::SetHorizontalWarp(double h1, double h2, double h3) {
  h1_ = h1;
  h2_ = h2;
  h3_ = h3;
}

void TWarpedMapping::SetSkew(double s0, double s1, double s2) {
  s0_ = s0;
  s1_ = s1;
  s2_ = s2;
}

void TWarpedMapping::SetResiduals(TResidualArray grid) {
  residuals_ = std::move(grid);
  for (std::size_t k = 0; k < residualColumns_.size(); ++k)
    residualColumns_[k] = double(Nearest(sampleColumns_[k]));
}

bool TWarpedMapping::Project(float latitude, float longitude, int& x, int& y) const {
  float fx = 0, fy = 0;
  if (!Project(latitude, longitude, true, fx, fy)) return false;
  x = Nearest(fx);
  y = Nearest(fy);
  return true;
}

bool TWarpedMapping::Project(float latitude, float longitude, bool toPicture, float& x,
                             float& y) const {
  if (!CentreSet() || !std::isfinite(latitude) || !std::isfinite(longitude)) return false;
  const double phi = latitude * kDegree;
  const double dLambda = std::remainder(double(longitude) - centreLongitude_, 360.0) * kDegree;
  const double sinPhi = std::sin(phi), cosPhi = std::cos(phi), cosDLambda = std::cos(dLambda);
  const double cosC = sinCentre_ * sinPhi + cosCentre_ * cosPhi * cosDLambda;
  double px = 0, py = 0;
  if (std::abs(cosC) < 1) {
    const double c = std::acos(cosC);
    const double k = kUnitsPerRadian * c / std::sin(c);
    px = k * cosPhi * std::sin(dLambda);
    py = k * (cosCentre_ * sinPhi - sinCentre_ * cosPhi * cosDLambda);
  }
  const double xr = px * cosRotation_ - py * sinRotation_;
  const double yr = px * sinRotation_ + py * cosRotation_;
  const double x2 = ((h3_ * xr + h2_) * xr + h1_) * xr;
  const double y2 = std::abs(yr) < 4 ? (b2_ * yr + b1_) * yr + b0_ : yr;
  const double x3 = x2 + (s2_ * y2 + s1_) * y2 + s0_;
  double outX = 0;
  if (!toPicture) {
    outX = columns_ * (0.5 * x3 + 0.5);
  } else {
    if (std::abs(x3) > 1.4 || std::abs(y2) > 2.6) return false;
    if (mode_ == wmApt) {
      const int g = Nearest(0.5 * columns_ * x3);
      if (g < -600 || g > 600) return false;
      outX = AptInverse(g) + kAptHalfWidth;
    } else if (mode_ == wmScanner) {
      const int i = Nearest(0.5 * columns_ * x3 - 0.5);
      if (i < -kSampleHalf || i >= kSampleHalf) return false;
      outX = SampleTable(i);
    } else {
      return false;  // reduced lines are mapped in ground units only
    }
  }
  double outY = midLine_ - 0.5 * columns_ * y2;
  if (toPicture && !residuals_.empty()) {
    const int row = std::clamp(Nearest(outY), 0, int(residuals_.size()) - 1);
    const TResidualRow& r = residuals_[std::size_t(row)];
    const auto& columns = residualColumns_;
    const auto next = std::upper_bound(columns.begin(), columns.end(), outX);
    if (next == columns.begin()) {
      outX += r.front().dx;
      outY += r.front().dy;
    } else if (next == columns.end()) {
      outX += r.back().dx;
      outY += r.back().dy;
    } else {
      const std::size_t j = std::size_t(next - columns.begin()) - 1;
      const double t = (outX - columns[j]) / (columns[j + 1] - columns[j]);
      outX += (1 - t) * r[j].dx + t * r[j + 1].dx;
      outY += (1 - t) * r[j].dy + t * r[j + 1].dy;
    }
  }
  x = static_cast<float>(outX);
  y = static_cast<float>(outY);
  return true;
}

}  // namespace vivurozed
