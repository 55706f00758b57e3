#include "orbit/VectorOrbit.h"

#include <cmath>

#include "orbit/SGP_Constants.h"
#include "orbit/SGP_Time.h"

namespace vivurozed {

TGeodetic GeodeticFromInertial(const TVector4& position, double jd) {
  return GeodeticFromInertialAt(position, SiderealAngle(jd));
}

TGeodetic GeodeticFromInertialAt(const TVector4& position, double siderealAngle) {
  TGeodetic g;
  g.theta = AcTan(position.y, position.x);
  g.longitude = FMod2p(g.theta - siderealAngle);
  const double r = std::sqrt(position.x * position.x + position.y * position.y);
  double phi = AcTan(position.z, r);
  double c = 1;
  // Converges by a factor of about e^2 per step; the bound keeps a point that
  // is not a number from looping for ever.
  for (int i = 0; i < 30; ++i) {
    const double previous = phi;
    const double s = std::sin(phi);
    c = 1 / std::sqrt(1 - kE2 * s * s);
    phi = AcTan(position.z + kEarthRadius * c * kE2 * s, r);
    if (std::fabs(phi - previous) < kGeodeticTolerance) break;
  }
  g.latitude = phi;
  g.height = r / std::cos(phi) - kEarthRadius * c;
  return g;
}

void ObserverInertial(TObserver& observer, double jd, TVector4& position, TVector4& velocity) {
  observer.theta = FMod2p(SiderealAngle(jd) + observer.longitude);
  const double s = std::sin(observer.latitude);
  const double c = 1 / std::sqrt(1 - kE2 * s * s);
  const double sq = (1 - kFlattening) * (1 - kFlattening) * c;
  const double a = (kEarthRadius * c + observer.height) * std::cos(observer.latitude);
  position = {a * std::cos(observer.theta), a * std::sin(observer.theta),
              (kEarthRadius * sq + observer.height) * s, 0};
  Magnitude(position);
  velocity = {-kEarthRotation * position.y, kEarthRotation * position.x, 0, 0};
  Magnitude(velocity);
}

bool TopocentricLookAngles(const TVector4& position, const TVector4& velocity, TObserver& observer,
                           double jd, TLookAngles& look) {
  TVector4 observerPosition, observerVelocity;
  ObserverInertial(observer, jd, observerPosition, observerVelocity);
  const TVector4 range = VecSub(position, observerPosition);
  const TVector4 rangeRate = VecSub(velocity, observerVelocity);
  const double sinLat = std::sin(observer.latitude), cosLat = std::cos(observer.latitude);
  const double sinTheta = std::sin(observer.theta), cosTheta = std::cos(observer.theta);
  const double south = sinLat * cosTheta * range.x + sinLat * sinTheta * range.y - cosLat * range.z;
  const double east = -sinTheta * range.x + cosTheta * range.y;
  const double zenith =
      cosLat * cosTheta * range.x + cosLat * sinTheta * range.y + sinLat * range.z;
  // atan(-east/south), turned into the right quadrant, without dividing by 0.
  look.azimuth = std::atan2(east, -south);
  if (look.azimuth < 0) look.azimuth += kTwoPi;
  look.elevation = ArcSin(zenith / range.w);
  look.range = range.w;
  look.rangeRate = Dot(range, rangeRate) / range.w;
  // Bennett's refraction means nothing well below the horizon.
  const double e = Degrees(look.elevation);
  if (!(e > -2)) return false;
  const double refraction = 1.02 / std::tan(Radians(e + 10.3 / (e + 5.11))) / 60;
  if (e + refraction < 0) return false;
  look.elevation = Radians(e + refraction);
  return true;
}

}  // namespace vivurozed
