// From the inertial frame of the propagator to the earth: geodetic
// coordinates of a point and the look angles of an observer. Angles are
// radians, distances km, times Julian dates.
#pragma once

#include "orbit/SGP_Math.h"

namespace vivurozed {

struct TGeodetic {
  double latitude = 0;
  double longitude = 0;  // east positive, 0 .. 2pi
  double height = 0;     // km above the ellipsoid
  double theta = 0;      // right ascension of the point
};

// An observer on the earth; theta is filled by ObserverInertial.
struct TObserver {
  double latitude = 0, longitude = 0, height = 0;
  double theta = 0;
};

struct TLookAngles {
  double azimuth = 0;  // 0 .. 2pi from north through east
  double elevation = 0;
  double range = 0;      // km
  double rangeRate = 0;  // km/s
};

TGeodetic GeodeticFromInertial(const TVector4& position, double jd);
// The same with the sidereal angle of the time given, for loops over many
// points of one instant.
TGeodetic GeodeticFromInertialAt(const TVector4& position, double siderealAngle);
void ObserverInertial(TObserver& observer, double jd, TVector4& position, TVector4& velocity);
// Position in km and velocity in km/s. The elevation includes refraction
// when the satellite stays above the horizon with it; the result says so.
bool TopocentricLookAngles(const TVector4& position, const TVector4& velocity, TObserver& observer,
                           double jd, TLookAngles& look);

}  // namespace vivurozed
