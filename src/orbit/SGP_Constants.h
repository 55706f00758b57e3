// The earth model of the orbit code: WGS-72, the constants the element sets
// are fitted with. Distances inside the propagator are in earth radii and
// times in minutes.
#pragma once

namespace vivurozed {

inline constexpr double kPi = 3.14159265358979323846;
inline constexpr double kTwoPi = 2 * kPi;

inline constexpr double kEarthRadius = 6378.135;  // km, equatorial
inline constexpr double kK2 = 5.41308e-4;         // J2 / 2
inline constexpr double kJ3 = -2.53881e-6;
inline constexpr double kJ4 = -1.65597e-6;
inline constexpr double kK4 = -0.375 * kJ4;
inline constexpr double kA3OverK2 = -kJ3 / kK2;
// Atmosphere of the drag model: q0 = 120 km, s0 = 78 km.
inline constexpr double kQoms2t =
    (42 / kEarthRadius) * (42 / kEarthRadius) * (42 / kEarthRadius) * (42 / kEarthRadius);
inline constexpr double kS = 1 + 78 / kEarthRadius;

inline constexpr double kFlattening = 1 / 298.26;
inline constexpr double kE2 = kFlattening * (2 - kFlattening);  // first eccentricity squared
inline constexpr double kAOverB = 1 / (1 - kFlattening);        // equatorial / polar radius
inline constexpr double kEarthRotation = 7.292115855228083e-5;  // rad/s

inline constexpr double kMinutesPerDay = 1440;
inline constexpr double kDeepSpacePeriod = 225;  // minutes; longer periods use SDP4
inline constexpr double kGeodeticTolerance = 1e-10;

// sqrt(GM) in earth radii^1.5 per minute (GM = 398600.8 km^3/s^2), set at start-up.
extern const double kKe;

}  // namespace vivurozed
