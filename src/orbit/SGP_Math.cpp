#include "orbit/SGP_Math.h"

#include <cmath>

#include "orbit/SGP_Constants.h"
#include "platform/MathError.h"

namespace vivurozed {

double Tan(double x) {
  return std::sin(x) / std::cos(x);
}

double Power(double arg, double pwr) {
  if (!(arg > 0)) throw EMathError("Invalid argument in Function Power!");
  return std::exp(pwr * std::log(arg));
}

double ArcSin(double x) {
  if (std::fabs(x) >= 1) return x > 0 ? kPi / 2 : -kPi / 2;
  return std::atan(x / std::sqrt(1 - x * x));
}

double Modulus(double a, double m) {
  double r = a - std::trunc(a / m) * m;
  if (r < 0) r += m;
  return r;
}

double FMod2p(double x) {
  return Modulus(x, kTwoPi);
}

double AcTan(double sinx, double cosx) {
  if (cosx == 0) return sinx > 0 ? kPi / 2 : 3 * kPi / 2;
  if (cosx > 0) return std::atan(sinx / cosx);
  return kPi + std::atan(sinx / cosx);
}

void Magnitude(TVector4& v) {
  v.w = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

TVector4 VecAdd(const TVector4& a, const TVector4& b) {
  TVector4 r{a.x + b.x, a.y + b.y, a.z + b.z, 0};
  Magnitude(r);
  return r;
}

TVector4 VecSub(const TVector4& a, const TVector4& b) {
  TVector4 r{a.x - b.x, a.y - b.y, a.z - b.z, 0};
  Magnitude(r);
  return r;
}

TVector4 ScalarMultiply(double k, const TVector4& v) {
  return {k * v.x, k * v.y, k * v.z, std::fabs(k) * v.w};
}

double Dot(const TVector4& a, const TVector4& b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}

TVector4 Cross(const TVector4& a, const TVector4& b) {
  TVector4 r{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x, 0};
  Magnitude(r);
  return r;
}

TVector4 Normalize(const TVector4& v) {
  return {v.x / v.w, v.y / v.w, v.z / v.w, 1};
}

}  // namespace vivurozed
