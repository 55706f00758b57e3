#include "orbit/Orbits.h"

#include <cmath>
#include <stdexcept>

#include "orbit/SGP_Constants.h"
#include "platform/MathError.h"

namespace vivurozed {

namespace {

struct TNameRow {
  const char* search[2];
  const char* name;
  const char* shortCode;
  const char* catalogue;
  float halfAngle;
};

constexpr float kDefaultHalfAngle = 55.37f;

// Later rows win when several search texts occur in a name.
constexpr TNameRow kNames[] = {
    {{"FENGYUN 1C", nullptr}, "FY1C", "fy1c", "25730", kDefaultHalfAngle},
    {{"FENGYUN 1D", nullptr}, "FY1D", "fy1d", "27431", kDefaultHalfAngle},
    {{"NOAA 10", nullptr}, "NOAA-10", "n10", "16969", kDefaultHalfAngle},
    {{"NOAA 12", nullptr}, "NOAA-12", "n12", "21263", kDefaultHalfAngle},
    {{"NOAA 14", nullptr}, "NOAA-14", "n14", "23455", kDefaultHalfAngle},
    {{"NOAA 15", nullptr}, "NOAA-15", "n15", "25338", kDefaultHalfAngle},
    {{"NOAA 16", nullptr}, "NOAA-16", "n16", "26536", 55.25f},
    {{"NOAA 17", nullptr}, "NOAA-17", "n17", "27453", 55.25f},
    {{"SEASTAR", nullptr}, "SEASTAR", "seastar", "24883", kDefaultHalfAngle},
    {{"SPOT 4", "SPOT-4"}, "SPOT-4", "spot-4", "25260", 50.5f},
    {{"NOAA 18", "NOAA18"}, "NOAA-18", "n18", "28654", kDefaultHalfAngle},
    {{"NOAA 19", "NOAA19"}, "NOAA-19", "n19", "33591", kDefaultHalfAngle},
};

constexpr int kHalfPoints = kScanLinePoints / 2;
constexpr int kTableCentre = 454;  // picture column under the satellite
constexpr int kTableStep = 18;

}  // namespace

double WrapLongitude(double degrees) {
  return degrees > 180 ? degrees - 360 : degrees;
}

TOrbit::TOrbit() = default;
TOrbit::~TOrbit() = default;

void TOrbit::SetSatelliteName(const std::string& name) {
  satelliteName_ = name;
  for (const TNameRow& row : kNames) {
    for (const char* search : row.search) {
      if (search && name.find(search) != std::string::npos) satelliteName_ = row.name;
    }
  }
  shortCode_.clear();
  catalogue_.clear();
  // Every satellite of the table brings its own half-angle, so the scan
  // geometry does not depend on which satellite was chosen before.
  for (const TNameRow& row : kNames) {
    if (satelliteName_ == row.name) {
      shortCode_ = row.shortCode;
      catalogue_ = row.catalogue;
      scanHalfAngle_ = row.halfAngle;
    }
  }
}

bool TOrbit::LoadForTime(TDateTime t) {
  wantedTime_ = t;
  satellite_.reset();
  valid_ = false;
  satellite_ = std::make_unique<TSatellite>();
  TKeplerSet set;
  const bool found = keplerData_.GetKeplers(satelliteName_, catalogue_, t, set);
  keplerFileName_ = set.fileName;
  updatesFileName_ = set.updatesFileName;
  keplersOffset_ = set.offset;
  if (!found) return false;
  satellite_->LoadElements(set.line1, set.line2);
  satellite_->SetName(satelliteName_);
  valid_ = true;
  return true;
}

bool TOrbit::LookAngles(TObserver& observer, double minElevation, double jd, TSatelliteLook& look) {
  if (!valid_) throw EMathError("No valid orbit data");
  return satellite_->LookAnglesAt(observer, minElevation, jd, look);
}

void TOrbit::ScanAngles(const double* offsets, TScanAngles& angles) const {
  const double scale = Radians(scanHalfAngle_) / 1023.5;
  for (int i = 0; i < kScanLinePoints; ++i) {
    const double theta = (offsets[i] + 0.5) * scale;
    angles.cosTheta[i] = std::cos(theta);
    angles.sinTheta[i] = std::sin(theta);
  }
}

bool TOrbit::EarthPoints(const TScanAngles& angles, TDateTime t, double& height,
                         TScanLinePoints& points) {
  if (!valid_) return false;
  const double jd = JulianDateOf(t);
  TVector4 p, v;
  satellite_->PositionAt(jd, p, v);
  TSatellite::ScaleToKm(p, v);
  const double sidereal = SiderealAngle(jd);
  height = GeodeticFromInertialAt(p, sidereal).height;
  const TVector4 nadir = Normalize(p);
  const TVector4 cross = Normalize(Cross(p, v));
  const double e = kAOverB * kAOverB - 1;
  const double k2 = kAOverB * kAOverB;
  const double c = kEarthRadius * kEarthRadius - p.w * p.w - e * p.z * p.z;
  for (int i = 0; i < kScanLinePoints; ++i) {
    const double cosTheta = angles.cosTheta[i], sinTheta = angles.sinTheta[i];
    const double ux = -cosTheta * nadir.x + sinTheta * cross.x;
    const double uy = -cosTheta * nadir.y + sinTheta * cross.y;
    const double uz = -cosTheta * nadir.z + sinTheta * cross.z;
    const double a = 1 + e * uz * uz;
    const double b = cosTheta * p.w - e * p.z * uz;
    const double discriminant = (b * b + a * c) / (a * a);
    TEarthPoint& point = points[i];
    // A ray past the horizon has no earth point.
    if (!(discriminant >= 0)) {
      point.latitude = point.longitude = kNoEarthPoint;
      continue;
    }
    const double d = b / a - std::sqrt(discriminant);
    const double x = p.x + d * ux, y = p.y + d * uy, z = p.z + d * uz;
    // On the ellipsoid x^2 + y^2 + k^2 z^2 = R^2 the normal is (x, y, k^2 z),
    // which gives the geodetic latitude without iterating.
    const double latitude = std::atan(k2 * z / std::sqrt(x * x + y * y));
    const double longitude = FMod2p(std::atan2(y, x) - sidereal);
    point.latitude = static_cast<float>(Degrees(latitude));
    point.longitude = static_cast<float>(WrapLongitude(Degrees(longitude)));
  }
  return true;
}

bool TOrbit::ScanLineEarthPoints(TDateTime t, double& height, TScanLinePoints& points) {
  // The fixed positions' angles are worked out once per half-angle.
  if (fixedAnglesFor_ != scanHalfAngle_) {
    std::array<double, kScanLinePoints> offsets{};
    for (int i = 0; i < kScanLinePoints; ++i) offsets[i] = 40.0 * (i - kHalfPoints);
    ScanAngles(offsets.data(), fixedAngles_);
    fixedAnglesFor_ = scanHalfAngle_;
  }
  return EarthPoints(fixedAngles_, t, height, points);
}

bool TOrbit::ScanLineEarthPointsAt(std::span<const double> scanTable, TDateTime t, double& height,
                                   TScanLinePoints& points) {
  if (scanTable.size() < kTableCentre + kTableStep * kHalfPoints + 1) {
    throw std::invalid_argument("scan position table too short");
  }
  std::array<double, kScanLinePoints> offsets{};
  for (int i = 0; i < kScanLinePoints; ++i) {
    offsets[i] = scanTable[kTableCentre + kTableStep * (i - kHalfPoints)];
  }
  TScanAngles angles;
  ScanAngles(offsets.data(), angles);
  return EarthPoints(angles, t, height, points);
}

namespace {

void ToRecord(const TScanLinePoints& points, TLocationRecord& record) {
  for (int i = 0; i < kScanLinePoints; ++i) {
    record[i] = {points[i].latitude, points[i].longitude};
  }
}

}  // namespace

bool TOrbit::ScanLineEarthPoints(TDateTime t, double& height, TLocationRecord& record) {
  TScanLinePoints points;
  if (!ScanLineEarthPoints(t, height, points)) return false;
  ToRecord(points, record);
  return true;
}

bool TOrbit::ScanLineEarthPointsAt(std::span<const double> scanTable, TDateTime t, double& height,
                                   TLocationRecord& record) {
  TScanLinePoints points;
  if (!ScanLineEarthPointsAt(scanTable, t, height, points)) return false;
  ToRecord(points, record);
  return true;
}

}  // namespace vivurozed
