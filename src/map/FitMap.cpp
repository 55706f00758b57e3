#include "map/FitMap.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "analysis/CurveFit.h"
#include "platform/Diagnostics.h"
#include "platform/UserMessages.h"

namespace vivurozed {

namespace {

constexpr double kEarthRadius = 6378.135;
constexpr double kDegree = std::numbers::pi / 180;
constexpr int kMid = 25;  // the sub-satellite point of a line

// Mean distance per line between the points of lines centre - 20 and centre + 20.
double StepAround(std::span<const TLocationRecord> lines, int centre) {
  double sum = 0, distance = 0, bearing = 0;
  const auto& a = lines[std::size_t(centre - 20)];
  const auto& b = lines[std::size_t(centre + 20)];
  for (std::size_t k = 0; k < 51; ++k) {
    GreatCircle(a[k].latitude, a[k].longitude, b[k].latitude, b[k].longitude, distance, bearing);
    sum += distance;
  }
  return sum / (51 * 40);
}

}  // namespace

void GreatCircle(double latitude1, double longitude1, double latitude2, double longitude2,
                 double& distance, double& bearing) {
  const double phi1 = latitude1 * kDegree, phi2 = latitude2 * kDegree;
  const double dLambda = (longitude2 - longitude1) * kDegree;
  const double s = std::sin((phi2 - phi1) / 2), t = std::sin(dLambda / 2);
  const double h = std::min(1.0, s * s + std::cos(phi1) * std::cos(phi2) * t * t);
  distance = kEarthRadius * 2 * std::asin(std::sqrt(h));
  if (std::cos(phi1) < 1e-5) {
    bearing = phi1 > 0 ? 180 : 0;  // every way from a pole leads south or north
    return;
  }
  const double g1 = std::atan(std::tan(phi1) / 0.9933056822217333);
  const double g2 = std::atan(std::tan(phi2) / 0.9933056822217333);
  bearing =
      std::atan2(std::sin(dLambda) * std::cos(g2),
                 std::cos(g1) * std::sin(g2) - std::sin(g1) * std::cos(g2) * std::cos(dLambda)) /
      kDegree;
  if (bearing < 0) bearing += 360;
}

bool FitMapToImage(std::span<const TLocationRecord> lines, TDiagnostics& log,
                   TResidualArray& residuals, TWarpedMapping& mapping, int mode, double halfAngle,
                   double satelliteHeight) {
  log.Add("Scale and warp map projection to match image");
  const int n = static_cast<int>(lines.size());
  if (n < 3) {
    log.Add("Cannot do any mapping with less then three lines!");
    return false;
  }
  const int mid = n / 2;
  const auto& middle = lines[std::size_t(mid)];

  double step = 0;
  if (n > 41) {
    step = StepAround(lines, mid);
    if (n > 400) {
      for (int j = 1; j <= 8; ++j) step = std::min(step, StepAround(lines, j * mid / 9));
    }
    log.Add(Format("Ground track step per line (from locations) : %.3fkm", step));
  } else {
    double sum = 0, distance = 0, bearing = 0;
    for (std::size_t k = 0; k < 51; ++k) {
      GreatCircle(lines[std::size_t(mid - 1)][k].latitude, lines[std::size_t(mid - 1)][k].longitude,
                  lines[std::size_t(mid + 1)][k].latitude, lines[std::size_t(mid + 1)][k].longitude,
                  distance, bearing);
      sum += distance;
    }
    step = sum / 51 / 2 >= 2.2 ? 3.27 : 1.09;
    log.Add(Format("Ground track step per line (assumed) : %.2fkm", step));
  }
  if (!(step > 0)) {
    log.Add("The earth points of the picture lines do not move: no map fitted");
    return false;
  }

  mapping.Initialise(mode, mid, halfAngle, step, satelliteHeight, middle[kMid].latitude,
                     middle[kMid].longitude);
  const std::string& deg = DegreeSign();
  log.Add(Format("Mid-picture line: %d,  lon = %.2f%s  lat = %.2f%s  altitude = %.1f km", mid,
                 double(middle[kMid].longitude), deg.c_str(), double(middle[kMid].latitude),
                 deg.c_str(), satelliteHeight));

  auto ground = [&](const TLatLonPoint& p, float& x, float& y) {
    mapping.Project(p.latitude, p.longitude, false, x, y);
  };
  float x5 = 0, y5 = 0, x45 = 0, y45 = 0;
  ground(middle[5], x5, y5);
  ground(middle[45], x45, y45);
  const double rotation = y45 != y5 ? std::atan2(y45 - y5, x45 - x5) / kDegree : 0;
  log.Add(Format("Image rotation estimate: rotation: %f degrees", rotation));
  mapping.SetRotation(rotation);

  const int d = 9 * n / 520;
  if (d < 1) {
    UserMessages().Show("Cannot map earth locations with less than 60 lines of data.", "");
    return false;
  }
  const double half = mapping.GetWidth() / 2.0;
  std::vector<double> xs(51), ys(51);
  TVector c;
  double r = 0;
  float x = 0, y = 0;

  for (int k = 0; k <= 50; ++k) {
    const int line = (k - 25) * d + mid;
    ground(lines[std::size_t(line)][kMid], x, y);
    xs[std::size_t(k)] = -2.0 * (y - mid) / n;
    ys[std::size_t(k)] = 2.0 * (mid - line) / n;
  }
  PolyFit(xs, ys, 3, c, r);
  log.Add(Format("Vertical map warp:    %.5f Y^2 + %.5f Y + %.5f  (correl: %.6f)", c[2], c[1], c[0],
                 r));
  mapping.SetVerticalWarp(c[2], c[1], c[0]);

  for (int k = 0; k <= 50; ++k) {
    ground(middle[std::size_t(k)], x, y);
    const double position = mapping.GroundTable(40 * k + 24 - 1024);
    xs[std::size_t(k)] = x - half;
    ys[std::size_t(k)] = mode == TWarpedMapping::wmScanner ? position : position / 3;
  }
  PolyFit(xs, ys, 4, c, r);
  log.Add(
      Format("Horizontal map warp:  %.5g X^3 + %.5g X^2 + %.5g X + (offset: %.5g)  "
             "(correl: %.6f)",
             c[3], c[2], c[1], c[0], r));
  mapping.SetHorizontalWarp(c[1], c[2], c[3]);

  for (int k = 0; k <= 50; ++k) {
    const int line = (k - 25) * d + mid;
    ground(lines[std::size_t(line)][kMid], x, y);
    xs[std::size_t(k)] = (mid - line) / half;
    ys[std::size_t(k)] = (x - half) / half;
  }
  PolyFit(xs, ys, 3, c, r);
  log.Add(Format("Horizontal map skew:  %.5f Y^2 +  %.5f Y + %.5f  (correl: %.6f)", c[2], c[1],
                 c[0], r));
  mapping.SetSkew(-c[0], -c[1], -c[2]);

  residuals.assign(std::size_t(n), TResidualRow{});
  for (int i = 0; i < n; ++i) {
    const auto& line = lines[std::size_t(i)];
    if (line[0].latitude == 0) {
      // A line without earth points borrows the corrections of the one before.
      if (i > 0) residuals[std::size_t(i)] = residuals[std::size_t(i - 1)];
      continue;
    }
    for (std::size_t k = 0; k < 51; ++k) {
      if (!mapping.Project(line[k].latitude, line[k].longitude, true, x, y)) continue;
      residuals[std::size_t(i)][k] = {float(std::lrint(mapping.SampleColumn(int(k))) - double(x)),
                                      float(i - double(y))};
    }
  }
  mapping.SetResiduals(residuals);
  return true;
}

}  // namespace vivurozed
