// Scalar and vector helpers of the orbit code. Angles are radians.
#pragma once

namespace vivurozed {

// x, y, z and the magnitude w.
struct TVector4 {
  double x = 0, y = 0, z = 0, w = 0;
};

inline constexpr double Radians(double degrees) {
  return degrees * (3.14159265358979323846 / 180);
}
inline constexpr double Degrees(double radians) {
  return radians * (180 / 3.14159265358979323846);
}
inline constexpr double Cube(double x) {
  return x * x * x;
}
double Tan(double x);
// exp(pwr ln arg); raises EMathError for arg <= 0.
double Power(double arg, double pwr);
// ±pi/2 for |x| >= 1.
double ArcSin(double x);
// a mod m with a non-negative remainder.
double Modulus(double a, double m);
double FMod2p(double x);
// The angle of (cos, sin) in -pi/2 .. 3pi/2.
double AcTan(double sinx, double cosx);

void Magnitude(TVector4& v);
TVector4 VecAdd(const TVector4& a, const TVector4& b);
TVector4 VecSub(const TVector4& a, const TVector4& b);
// The magnitude scales by |k|.
TVector4 ScalarMultiply(double k, const TVector4& v);
double Dot(const TVector4& a, const TVector4& b);
TVector4 Cross(const TVector4& a, const TVector4& b);
TVector4 Normalize(const TVector4& v);

}  // namespace vivurozed
