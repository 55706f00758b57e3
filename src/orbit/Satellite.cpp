#include "orbit/Satellite.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "orbit/SGP_Constants.h"
#include "orbit/SGP_Time.h"
#include "orbit/Support.h"
#include "platform/MathError.h"

namespace vivurozed {

namespace {

constexpr double kTwoThirds = 2.0 / 3;

// Lunar and solar constants of the deep-space model.
constexpr double kZns = 1.19459e-5, kC1ss = 2.9864797e-6, kZes = 0.01675;
constexpr double kZnl = 1.5835218e-4, kC1l = 4.7968065e-7, kZel = 0.05490;
constexpr double kZcosis = 0.91744867, kZsinis = 0.39785416;
constexpr double kZsings = -0.98088458, kZcosgs = 0.1945905;
// Geopotential resonance.
constexpr double kQ22 = 1.7891679e-6, kQ31 = 2.1460748e-6, kQ33 = 2.2123015e-7;
constexpr double kG22 = 5.7686396, kG32 = 0.95240898, kG44 = 1.8014998;
constexpr double kG52 = 1.0508330, kG54 = 4.4108898;
constexpr double kRoot22 = 1.7891679e-6, kRoot32 = 3.7393792e-7, kRoot44 = 7.3636953e-9;
constexpr double kRoot52 = 1.1428639e-7, kRoot54 = 2.1765803e-9;
constexpr double kThdt = 4.3752691e-3;  // earth rotation, rad/min
constexpr double kFasx2 = 0.13130908, kFasx4 = 2.8843198, kFasx6 = 0.37448087;
constexpr double kStep = 720, kStep2 = kStep * kStep / 2;
// Beyond about 190 years from epoch the resonance integration would only
// burn time; such a request comes from a broken date.
constexpr double kLongestIntegration = 1e8;

// Periodic coefficients of one perturbing body (sun or moon).
struct TThirdBody {
  double se, si, sl, sgh, sh;
  double e2, e3, i2, i3, l2, l3, l4, gh2, gh3, gh4, h2, h3;
};

struct TOrbitShape {
  double eq, eqsq, siniq, cosiq, rteqsq, bsq, sinomo, cosomo, xnoi, xqncl;
};

TThirdBody ThirdBody(const TOrbitShape& o, double zcosg, double zsing, double zcosi, double zsini,
                     double zcosh, double zsinh, double cc, double zn, double ze) {
  const double a1 = zcosg * zcosh + zsing * zcosi * zsinh;
  const double a3 = -zsing * zcosh + zcosg * zcosi * zsinh;
  const double a7 = -zcosg * zsinh + zsing * zcosi * zcosh;
  const double a8 = zsing * zsini;
  const double a9 = zsing * zsinh + zcosg * zcosi * zcosh;
  const double a10 = zcosg * zsini;
  const double a2 = o.cosiq * a7 + o.siniq * a8;
  const double a4 = o.cosiq * a9 + o.siniq * a10;
  const double a5 = -o.siniq * a7 + o.cosiq * a8;
  const double a6 = -o.siniq * a9 + o.cosiq * a10;
  const double x1 = a1 * o.cosomo + a2 * o.sinomo;
  const double x2 = a3 * o.cosomo + a4 * o.sinomo;
  const double x3 = -a1 * o.sinomo + a2 * o.cosomo;
  const double x4 = -a3 * o.sinomo + a4 * o.cosomo;
  const double x5 = a5 * o.sinomo;
  const double x6 = a6 * o.sinomo;
  const double x7 = a5 * o.cosomo;
  const double x8 = a6 * o.cosomo;
  const double z31 = 12 * x1 * x1 - 3 * x3 * x3;
  const double z32 = 24 * x1 * x2 - 6 * x3 * x4;
  const double z33 = 12 * x2 * x2 - 3 * x4 * x4;
  const double eqsq = o.eqsq;
  double z1 = 3 * (a1 * a1 + a2 * a2) + z31 * eqsq;
  double z2 = 6 * (a1 * a3 + a2 * a4) + z32 * eqsq;
  double z3 = 3 * (a3 * a3 + a4 * a4) + z33 * eqsq;
  const double z11 = -6 * a1 * a5 + eqsq * (-24 * x1 * x7 - 6 * x3 * x5);
  const double z12 =
      -6 * (a1 * a6 + a3 * a5) + eqsq * (-24 * (x2 * x7 + x1 * x8) - 6 * (x3 * x6 + x4 * x5));
  const double z13 = -6 * a3 * a6 + eqsq * (-24 * x2 * x8 - 6 * x4 * x6);
  const double z21 = 6 * a2 * a5 + eqsq * (24 * x1 * x5 - 6 * x3 * x7);
  const double z22 =
      6 * (a4 * a5 + a2 * a6) + eqsq * (24 * (x2 * x5 + x1 * x6) - 6 * (x4 * x7 + x3 * x8));
  const double z23 = 6 * a4 * a6 + eqsq * (24 * x2 * x6 - 6 * x4 * x8);
  z1 = z1 + z1 + o.bsq * z31;
  z2 = z2 + z2 + o.bsq * z32;
  z3 = z3 + z3 + o.bsq * z33;
  const double s3 = cc * o.xnoi;
  const double s2 = -0.5 * s3 / o.rteqsq;
  const double s4 = s3 * o.rteqsq;
  const double s1 = -15 * o.eq * s4;
  const double s5 = x1 * x3 + x2 * x4;
  const double s6 = x2 * x3 + x1 * x4;
  const double s7 = x2 * x4 - x1 * x3;
  TThirdBody b;
  b.se = s1 * zn * s5;
  b.si = s2 * zn * (z11 + z13);
  b.sl = -zn * s3 * (z1 + z3 - 14 - 6 * eqsq);
  b.sgh = s4 * zn * (z31 + z33 - 6);
  // Near the equator the node is ill defined.
  b.sh = o.xqncl < 5.2359877e-2 ? 0 : -zn * s2 * (z21 + z23);
  b.e2 = 2 * s1 * s6;
  b.e3 = 2 * s1 * s7;
  b.i2 = 2 * s2 * z12;
  b.i3 = 2 * s2 * (z13 - z11);
  b.l2 = -2 * s3 * z2;
  b.l3 = -2 * s3 * (z3 - z1);
  b.l4 = -2 * s3 * (-21 - 9 * eqsq) * ze;
  b.gh2 = 2 * s4 * z32;
  b.gh3 = 2 * s4 * (z33 - z31);
  b.gh4 = -18 * s4 * ze;
  b.h2 = -2 * s2 * z22;
  b.h3 = -2 * s2 * (z23 - z21);
  return b;
}

// Solar or lunar periodics at time t from the body's mean anomaly at epoch.
void BodyPeriodics(const TThirdBody& b, double zmo, double zn, double ze, double t, double& pe,
                   double& pinc, double& pl, double& pgh, double& ph) {
  const double zm = zmo + zn * t;
  const double zf = zm + 2 * ze * std::sin(zm);
  const double sinzf = std::sin(zf);
  const double f2 = 0.5 * sinzf * sinzf - 0.25;
  const double f3 = -0.5 * sinzf * std::cos(zf);
  pe += b.e2 * f2 + b.e3 * f3;
  pinc += b.i2 * f2 + b.i3 * f3;
  pl += b.l2 * f2 + b.l3 * f3 + b.l4 * sinzf;
  pgh += b.gh2 * f2 + b.gh3 * f3 + b.gh4 * sinzf;
  ph += b.h2 * f2 + b.h3 * f3;
}

}  // namespace

struct TSatellite::TModel {
  // Both models.
  double aodp = 0, xnodp = 0, cosio = 0, sinio = 0, x3thm1 = 0, x1mth2 = 0, x7thm1 = 0;
  double eta = 0, c1 = 0, c4 = 0, c5 = 0, xmdot = 0, omgdot = 0, xnodot = 0, xnodcf = 0;
  double t2cof = 0, xlcof = 0, aycof = 0;
  // SGP4: drag terms left out for perigees below 220 km.
  bool simple = false;
  double omgcof = 0, xmcof = 0, delmo = 0, sinmo = 0, d2 = 0, d3 = 0, d4 = 0;
  double t3cof = 0, t4cof = 0, t5cof = 0;
  // SDP4: sidereal angle at epoch, secular rates, sun and moon.
  double thgr = 0, xnq = 0, xqncl = 0, zmos = 0, zmol = 0;
  double sse = 0, ssi = 0, ssl = 0, ssg = 0, ssh = 0;
  TThirdBody sun{}, moon{};
  // Resonance: 0 none, 1 synchronous (one day), 2 half a day.
  int resonance = 0;
  double del1 = 0, del2 = 0, del3 = 0, xlamo = 0, xfact = 0;
  double d2201 = 0, d2211 = 0, d3210 = 0, d3222 = 0, d4410 = 0, d4422 = 0;
  double d5220 = 0, d5232 = 0, d5421 = 0, d5433 = 0;
  double atime = 0, xli = 0, xni = 0;  // integrator state

  void DeepInit(const TSatellite& s, double eosq, double betao, double betao2);
  void ResonanceRates(double argumentOfPerigee, double& xndot, double& xnddt, double& xldot) const;
  void DeepSecular(const TSatellite& s, double t, double& xll, double& omgasm, double& xnodes,
                   double& em, double& xinc, double& xn);
  void DeepPeriodic(double t, double& em, double& xinc, double& omgasm, double& xnodes,
                    double& xll) const;
  void Finish(double a, double e, double omega, double xl, double xnode, double xinc,
              TVector4& position, TVector4& velocity) const;
};

void TSatellite::TModel::DeepInit(const TSatellite& s, double eosq, double betao, double betao2) {
  double epochDays = 0;
  thgr = SiderealAngle(s.epochAsRead_, epochDays);
  const double eq = s.eccentricity_;
  xnq = xnodp;
  xqncl = s.inclination_;
  const double sinq = std::sin(s.rightAscension_), cosq = std::cos(s.rightAscension_);
  const TOrbitShape shape{eq,
                          eosq,
                          sinio,
                          cosio,
                          betao,
                          betao2,
                          std::sin(s.argumentOfPerigee_),
                          std::cos(s.argumentOfPerigee_),
                          1 / xnq,
                          xqncl};

  // The moon's orbit at epoch (days since 1900 January 0.5).
  const double day = epochDays + 18261.5;
  const double xnodce = 4.5236020 - 9.2422029e-4 * day;
  const double stem = std::sin(xnodce), ctem = std::cos(xnodce);
  const double zcosil = 0.91375164 - 0.03568096 * ctem;
  const double zsinil = std::sqrt(1 - zcosil * zcosil);
  const double zsinhl = 0.089683511 * stem / zsinil;
  const double zcoshl = std::sqrt(1 - zsinhl * zsinhl);
  const double c = 4.7199672 + 0.22997150 * day;
  const double gam = 5.8351514 + 0.0019443680 * day;
  zmol = FMod2p(c - gam);
  double zx = 0.39785416 * stem / zsinil;
  const double zy = zcoshl * ctem + 0.91744867 * zsinhl * stem;
  zx = gam + AcTan(zx, zy) - xnodce;
  const double zcosgl = std::cos(zx), zsingl = std::sin(zx);
  zmos = FMod2p(6.2565837 + 0.017201977 * day);

  // An orbit in the equator has no node to move.
  const auto overSin = [&](double v) { return sinio != 0 ? v / sinio : 0.0; };
  sun = ThirdBody(shape, kZcosgs, kZsings, kZcosis, kZsinis, cosq, sinq, kC1ss, kZns, kZes);
  moon = ThirdBody(shape, zcosgl, zsingl, zcosil, zsinil, zcoshl * cosq + zsinhl * sinq,
                   sinq * zcoshl - cosq * zsinhl, kC1l, kZnl, kZel);
  sse = sun.se + moon.se;
  ssi = sun.si + moon.si;
  ssl = sun.sl + moon.sl;
  ssh = overSin(sun.sh) + overSin(moon.sh);
  ssg = sun.sgh - cosio * overSin(sun.sh) + moon.sgh - cosio * overSin(moon.sh);

  const double aqnv = 1 / aodp;
  resonance = 0;
  double bfact = 0;
  if (xnq > 0.0034906585 && xnq < 0.0052359877) {
    resonance = 1;
    const double g200 = 1 + eosq * (-2.5 + 0.8125 * eosq);
    const double g310 = 1 + 2 * eosq;
    const double g300 = 1 + eosq * (-6 + 6.60937 * eosq);
    const double f220 = 0.75 * (1 + cosio) * (1 + cosio);
    const double f311 = 0.9375 * sinio * sinio * (1 + 3 * cosio) - 0.75 * (1 + cosio);
    const double f330 = 1.875 * Cube(1 + cosio);
    del1 = 3 * xnq * xnq * aqnv * aqnv;
    del2 = 2 * del1 * f220 * g200 * kQ22;
    del3 = 3 * del1 * f330 * g300 * kQ33 * aqnv;
    del1 = del1 * f311 * g310 * kQ31 * aqnv;
    xlamo = s.meanAnomaly_ + s.rightAscension_ + s.argumentOfPerigee_ - thgr;
    bfact = xmdot + omgdot + xnodot - kThdt + ssl + ssg + ssh;
  } else if (xnq >= 8.26e-3 && xnq <= 9.24e-3 && eq >= 0.5) {
    resonance = 2;
    const double eoc = eq * eosq;
    const double g201 = -0.306 - (eq - 0.64) * 0.440;
    double g211, g310, g322, g410, g422, g520, g533, g521, g532;
    if (eq <= 0.65) {
      g211 = 3.616 - 13.247 * eq + 16.290 * eosq;
      g310 = -19.302 + 117.390 * eq - 228.419 * eosq + 156.591 * eoc;
      g322 = -18.9068 + 109.7927 * eq - 214.6334 * eosq + 146.5816 * eoc;
      g410 = -41.122 + 242.694 * eq - 471.094 * eosq + 313.953 * eoc;
      g422 = -146.407 + 841.880 * eq - 1629.014 * eosq + 1083.435 * eoc;
      g520 = -532.114 + 3017.977 * eq - 5740.032 * eosq + 3708.276 * eoc;
    } else {
      g211 = -72.099 + 331.819 * eq - 508.738 * eosq + 266.724 * eoc;
      g310 = -346.844 + 1582.851 * eq - 2415.925 * eosq + 1246.113 * eoc;
      g322 = -342.585 + 1554.908 * eq - 2366.899 * eosq + 1215.972 * eoc;
      g410 = -1052.797 + 4758.686 * eq - 7193.992 * eosq + 3651.957 * eoc;
      g422 = -3581.69 + 16178.11 * eq - 24462.77 * eosq + 12422.52 * eoc;
      g520 = eq > 0.715 ? -5149.66 + 29936.92 * eq - 54087.36 * eosq + 31324.56 * eoc
                        : 1464.74 - 4664.75 * eq + 3763.64 * eosq;
    }
    if (eq < 0.7) {
      g533 = -919.2277 + 4988.61 * eq - 9064.77 * eosq + 5542.21 * eoc;
      g521 = -822.71072 + 4568.6173 * eq - 8491.4146 * eosq + 5337.524 * eoc;
      g532 = -853.666 + 4690.25 * eq - 8624.77 * eosq + 5341.4 * eoc;
    } else {
      g533 = -37995.78 + 161616.52 * eq - 229838.2 * eosq + 109377.94 * eoc;
      g521 = -51752.104 + 218913.95 * eq - 309468.16 * eosq + 146349.42 * eoc;
      g532 = -40023.88 + 170470.89 * eq - 242699.48 * eosq + 115605.82 * eoc;
    }
    const double cosq2 = cosio * cosio;
    const double sini2 = sinio * sinio;
    const double f220 = 0.75 * (1 + 2 * cosio + cosq2);
    const double f221 = 1.5 * sini2;
    const double f321 = 1.875 * sinio * (1 - 2 * cosio - 3 * cosq2);
    const double f322 = -1.875 * sinio * (1 + 2 * cosio - 3 * cosq2);
    const double f441 = 35 * sini2 * f220;
    const double f442 = 39.3750 * sini2 * sini2;
    const double f522 =
        9.84375 * sinio *
        (sini2 * (1 - 2 * cosio - 5 * cosq2) + 0.33333333 * (-2 + 4 * cosio + 6 * cosq2));
    const double f523 = sinio * (4.92187512 * sini2 * (-2 - 4 * cosio + 10 * cosq2) +
                                 6.56250012 * (1 + 2 * cosio - 3 * cosq2));
    const double f542 = 29.53125 * sinio * (2 - 8 * cosio + cosq2 * (-12 + 8 * cosio + 10 * cosq2));
    const double f543 = 29.53125 * sinio * (-2 - 8 * cosio + cosq2 * (12 + 8 * cosio - 10 * cosq2));
    double temp1 = 3 * xnq * xnq * aqnv * aqnv;
    double temp = temp1 * kRoot22;
    d2201 = temp * f220 * g201;
    d2211 = temp * f221 * g211;
    temp1 *= aqnv;
    temp = temp1 * kRoot32;
    d3210 = temp * f321 * g310;
    d3222 = temp * f322 * g322;
    temp1 *= aqnv;
    temp = 2 * temp1 * kRoot44;
    d4410 = temp * f441 * g410;
    d4422 = temp * f442 * g422;
    temp1 *= aqnv;
    temp = temp1 * kRoot52;
    d5220 = temp * f522 * g520;
    d5232 = temp * f523 * g532;
    temp = 2 * temp1 * kRoot54;
    d5421 = temp * f542 * g521;
    d5433 = temp * f543 * g533;
    xlamo = s.meanAnomaly_ + 2 * s.rightAscension_ - 2 * thgr;
    bfact = xmdot + 2 * xnodot - 2 * kThdt + ssl + 2 * ssh;
  }
  xfact = bfact - xnq;
  atime = 0;
  xli = xlamo;
  xni = xnq;
}

void TSatellite::TModel::ResonanceRates(double argumentOfPerigee, double& xndot, double& xnddt,
                                        double& xldot) const {
  if (resonance == 1) {
    xndot = del1 * std::sin(xli - kFasx2) + del2 * std::sin(2 * (xli - kFasx4)) +
            del3 * std::sin(3 * (xli - kFasx6));
    xnddt = del1 * std::cos(xli - kFasx2) + 2 * del2 * std::cos(2 * (xli - kFasx4)) +
            3 * del3 * std::cos(3 * (xli - kFasx6));
  } else {
    const double xomi = argumentOfPerigee + omgdot * atime;
    const double x2omi = xomi + xomi, x2li = xli + xli;
    xndot = d2201 * std::sin(x2omi + xli - kG22) + d2211 * std::sin(xli - kG22) +
            d3210 * std::sin(xomi + xli - kG32) + d3222 * std::sin(-xomi + xli - kG32) +
            d4410 * std::sin(x2omi + x2li - kG44) + d4422 * std::sin(x2li - kG44) +
            d5220 * std::sin(xomi + xli - kG52) + d5232 * std::sin(-xomi + xli - kG52) +
            d5421 * std::sin(xomi + x2li - kG54) + d5433 * std::sin(-xomi + x2li - kG54);
    xnddt = d2201 * std::cos(x2omi + xli - kG22) + d2211 * std::cos(xli - kG22) +
            d3210 * std::cos(xomi + xli - kG32) + d3222 * std::cos(-xomi + xli - kG32) +
            d5220 * std::cos(xomi + xli - kG52) + d5232 * std::cos(-xomi + xli - kG52) +
            2 * (d4410 * std::cos(x2omi + x2li - kG44) + d4422 * std::cos(x2li - kG44) +
                 d5421 * std::cos(xomi + x2li - kG54) + d5433 * std::cos(-xomi + x2li - kG54));
  }
  xldot = xni + xfact;
  xnddt *= xldot;
}

void TSatellite::TModel::DeepSecular(const TSatellite& s, double t, double& xll, double& omgasm,
                                     double& xnodes, double& em, double& xinc, double& xn) {
  xll += ssl * t;
  omgasm += ssg * t;
  xnodes += ssh * t;
  em = s.eccentricity_ + sse * t;
  xinc = s.inclination_ + ssi * t;
  if (xinc < 0) {
    xinc = -xinc;
    xnodes += kPi;
    omgasm -= kPi;
  }
  if (resonance == 0) return;
  if (!(std::fabs(t) < kLongestIntegration)) {
    xll = xn = std::nan("");
    return;
  }
  // The integration runs in 720-minute steps from epoch; it goes on from
  // the last step while time keeps moving away from epoch.
  if (atime == 0 || (t >= 0 && atime < 0) || (t < 0 && atime >= 0) ||
      std::fabs(t) < std::fabs(atime)) {
    atime = 0;
    xni = xnq;
    xli = xlamo;
  }
  const double delt = t > 0 ? kStep : -kStep;
  double xndot = 0, xnddt = 0, xldot = 0;
  while (std::fabs(t - atime) >= kStep) {
    ResonanceRates(s.argumentOfPerigee_, xndot, xnddt, xldot);
    xli += xldot * delt + xndot * kStep2;
    xni += xndot * delt + xnddt * kStep2;
    atime += delt;
  }
  ResonanceRates(s.argumentOfPerigee_, xndot, xnddt, xldot);
  const double ft = t - atime;
  xn = xni + xndot * ft + xnddt * ft * ft * 0.5;
  const double xl = xli + xldot * ft + xndot * ft * ft * 0.5;
  const double temp = -xnodes + thgr + t * kThdt;
  xll = resonance == 1 ? xl - omgasm + temp : xl + temp + temp;
}

void TSatellite::TModel::DeepPeriodic(double t, double& em, double& xinc, double& omgasm,
                                      double& xnodes, double& xll) const {
  double pe = 0, pinc = 0, pl = 0, pgh = 0, ph = 0;
  BodyPeriodics(sun, zmos, kZns, kZes, t, pe, pinc, pl, pgh, ph);
  BodyPeriodics(moon, zmol, kZnl, kZel, t, pe, pinc, pl, pgh, ph);
  xinc += pinc;
  em += pe;
  if (xqncl >= 0.2) {
    ph = sinio != 0 ? ph / sinio : 0;
    pgh -= cosio * ph;
    omgasm += pgh;
    xnodes += ph;
    xll += pl;
    return;
  }
  // Low inclination: perturb sin i sin node and sin i cos node (Lyddane).
  // The base is the inclination with its periodic part, as in the model the
  // element sets are fitted with; the inclination without it moves a
  // satellite 0.05 degrees off the equator by 20 km within three days.
  const double sinis = std::sin(xinc), cosis = std::cos(xinc);
  const double sinok = std::sin(xnodes), cosok = std::cos(xnodes);
  const double alfdp = sinis * sinok + ph * cosok + pinc * cosis * sinok;
  const double betdp = sinis * cosok - ph * sinok + pinc * cosis * cosok;
  const double node = FMod2p(xnodes);
  const double xls = xll + omgasm + cosis * node + pl + pgh - pinc * node * sinis;
  // The new node must lie within half a turn of the old one, or the
  // argument of perigee taken from xls is off by a fraction of a turn.
  xnodes = AcTan(alfdp, betdp);
  if (std::fabs(node - xnodes) > kPi) xnodes += xnodes < node ? kTwoPi : -kTwoPi;
  xll += pl;
  omgasm = xls - xll - cosis * xnodes;
}

void TSatellite::TModel::Finish(double a, double e, double omega, double xl, double xnode,
                                double xinc, TVector4& position, TVector4& velocity) const {
  const double beta = std::sqrt(1 - e * e);
  const double xn = kKe / std::pow(a, 1.5);
  // Long-period periodics.
  const double axn = e * std::cos(omega);
  double temp = 1 / (a * beta * beta);
  const double xll = temp * xlcof * axn;
  const double aynl = temp * aycof;
  const double xlt = xl + xll;
  const double ayn = e * std::sin(omega) + aynl;
  // Kepler's equation.
  const double capu = FMod2p(xlt - xnode);
  double temp2 = capu;
  double sinepw = 0, cosepw = 0, temp3 = 0, temp4 = 0, temp5 = 0, temp6 = 0;
  for (int i = 0; i < 10; ++i) {
    sinepw = std::sin(temp2);
    cosepw = std::cos(temp2);
    temp3 = axn * sinepw;
    temp4 = ayn * cosepw;
    temp5 = axn * cosepw;
    temp6 = ayn * sinepw;
    const double epw = (capu - temp4 + temp3 - temp2) / (1 - temp5 - temp6) + temp2;
    if (std::fabs(epw - temp2) <= 1e-6) break;
    temp2 = epw;
  }
  // Short-period preliminaries.
  const double ecose = temp5 + temp6;
  const double esine = temp3 - temp4;
  const double elsq = axn * axn + ayn * ayn;
  temp = 1 - elsq;
  const double pl = a * temp;
  const double r = a * (1 - ecose);
  double temp1 = 1 / r;
  const double rdot = kKe * std::sqrt(a) * esine * temp1;
  const double rfdot = kKe * std::sqrt(pl) * temp1;
  temp2 = a * temp1;
  const double betal = std::sqrt(temp);
  temp3 = 1 / (1 + betal);
  const double cosu = temp2 * (cosepw - axn + ayn * esine * temp3);
  const double sinu = temp2 * (sinepw - ayn - axn * esine * temp3);
  const double u = AcTan(sinu, cosu);
  const double sin2u = 2 * sinu * cosu;
  const double cos2u = 2 * cosu * cosu - 1;
  temp = 1 / pl;
  temp1 = kK2 * temp;
  temp2 = temp1 * temp;
  // Short-period periodics.
  const double rk = r * (1 - 1.5 * temp2 * betal * x3thm1) + 0.5 * temp1 * x1mth2 * cos2u;
  const double uk = u - 0.25 * temp2 * x7thm1 * sin2u;
  const double xnodek = xnode + 1.5 * temp2 * cosio * sin2u;
  const double xinck = xinc + 1.5 * temp2 * cosio * sinio * cos2u;
  const double rdotk = rdot - xn * temp1 * x1mth2 * sin2u;
  const double rfdotk = rfdot + xn * temp1 * (x1mth2 * cos2u + 1.5 * x3thm1);
  // Orientation.
  const double sinuk = std::sin(uk), cosuk = std::cos(uk);
  const double sinik = std::sin(xinck), cosik = std::cos(xinck);
  const double sinnok = std::sin(xnodek), cosnok = std::cos(xnodek);
  const double xmx = -sinnok * cosik, xmy = cosnok * cosik;
  const double ux = xmx * sinuk + cosnok * cosuk;
  const double uy = xmy * sinuk + sinnok * cosuk;
  const double uz = sinik * sinuk;
  const double vx = xmx * cosuk - cosnok * sinuk;
  const double vy = xmy * cosuk - sinnok * sinuk;
  const double vz = sinik * cosuk;
  position = {rk * ux, rk * uy, rk * uz, 0};
  velocity = {rdotk * ux + rfdotk * vx, rdotk * uy + rfdotk * vy, rdotk * uz + rfdotk * vz, 0};
  Magnitude(position);
  Magnitude(velocity);
}

TSatellite::TSatellite() = default;
TSatellite::~TSatellite() = default;

void TSatellite::LoadElements(const std::string& line1, const std::string& line2) {
  line1_ = UpperCase(line1);
  line2_ = UpperCase(line2);
  const std::string& a = line1_;
  const std::string& b = line2_;
  catalogue_ = FieldText(a, 3, 5);
  epochAsRead_ = FieldValue(a, 19, 14);
  epoch_ = EpochToJulianDate(epochAsRead_);
  const double perDay = kTwoPi / kMinutesPerDay;
  firstDerivative_ = FieldValue(a, 34, 10) * perDay / kMinutesPerDay;
  secondDerivative_ = FieldValue(a, 45, 6) * 1e-5 * std::pow(10.0, FieldValue(a, 51, 2)) * perDay /
                      (kMinutesPerDay * kMinutesPerDay);
  bStar_ = FieldValue(a, 54, 6) * 1e-5 * std::pow(10.0, FieldValue(a, 60, 2));
  const double set = FieldValue(a, 66, 3);
  char text[8];
  std::snprintf(text, sizeof text, "%03d", std::fabs(set) < 1000 ? static_cast<int>(set) : 0);
  elementSet_ = text;
  inclination_ = Radians(FieldValue(b, 9, 8));
  rightAscension_ = Radians(FieldValue(b, 18, 8));
  eccentricity_ = FieldValue(b, 27, 7) * 1e-7;
  argumentOfPerigee_ = Radians(FieldValue(b, 35, 8));
  meanAnomaly_ = Radians(FieldValue(b, 44, 8));
  meanMotion_ = FieldValue(b, 53, 11) * perDay;
  revolution_ = std::trunc(FieldValue(b, 64, 5));

  // The period by the model's mean motion decides between the models.
  const double a1 = Power(kKe / meanMotion_, kTwoThirds);
  const double cosio = std::cos(inclination_);
  const double betao2 = 1 - eccentricity_ * eccentricity_;
  const double common = 1.5 * kK2 * (3 * cosio * cosio - 1) / std::pow(betao2, 1.5);
  const double del1 = common / (a1 * a1);
  const double a0 = a1 * (1 - del1 * (1.0 / 3 + del1 * (1 + 134.0 / 81 * del1)));
  const double del0 = common / (a0 * a0);
  deepSpace_ = kTwoPi / (meanMotion_ / (1 + del0)) >= kDeepSpacePeriod;
  initialise_ = true;
}

void TSatellite::Initialise() {
  model_ = std::make_unique<TModel>();
  TModel& m = *model_;
  const double eo = eccentricity_, xincl = inclination_, omegao = argumentOfPerigee_;
  const double bstar = bStar_;
  const double a1 = Power(kKe / meanMotion_, kTwoThirds);
  m.cosio = std::cos(xincl);
  m.sinio = std::sin(xincl);
  const double theta2 = m.cosio * m.cosio;
  m.x3thm1 = 3 * theta2 - 1;
  const double eosq = eo * eo;
  const double betao2 = 1 - eosq;
  const double betao = std::sqrt(betao2);
  const double del1 = 1.5 * kK2 * m.x3thm1 / (a1 * a1 * betao * betao2);
  const double ao = a1 * (1 - del1 * (1.0 / 3 + del1 * (1 + 134.0 / 81 * del1)));
  const double delo = 1.5 * kK2 * m.x3thm1 / (ao * ao * betao * betao2);
  m.xnodp = meanMotion_ / (1 + delo);
  m.aodp = ao / (1 - delo);
  m.simple = m.aodp * (1 - eo) < 220 / kEarthRadius + 1;

  // The atmosphere's reference height follows a low perigee down.
  double s4 = kS, qoms24 = kQoms2t;
  const double perigee = (m.aodp * (1 - eo) - 1) * kEarthRadius;
  if (perigee < 156) {
    s4 = perigee <= 98 ? 20 : perigee - 78;
    qoms24 = std::pow((120 - s4) / kEarthRadius, 4);
    s4 = s4 / kEarthRadius + 1;
  }
  const double pinvsq = 1 / (m.aodp * m.aodp * betao2 * betao2);
  const double tsi = 1 / (m.aodp - s4);
  m.eta = m.aodp * eo * tsi;
  const double etasq = m.eta * m.eta;
  const double eeta = eo * m.eta;
  const double psisq = std::fabs(1 - etasq);
  const double coef = qoms24 * std::pow(tsi, 4);
  const double coef1 = coef / std::pow(psisq, 3.5);
  const double c2 = coef1 * m.xnodp *
                    (m.aodp * (1 + 1.5 * etasq + eeta * (4 + etasq)) +
                     0.75 * kK2 * tsi / psisq * m.x3thm1 * (8 + 3 * etasq * (8 + etasq)));
  m.c1 = bstar * c2;
  // Nearly circular orbits have no perigee to move; leave out the terms
  // that divide by the eccentricity.
  const bool circular = eo <= 1e-4;
  const double c3 = circular ? 0 : coef * tsi * kA3OverK2 * m.xnodp * m.sinio / eo;
  m.x1mth2 = 1 - theta2;
  m.c4 = 2 * m.xnodp * coef1 * m.aodp * betao2 *
         (m.eta * (2 + 0.5 * etasq) + eo * (0.5 + 2 * etasq) -
          2 * kK2 * tsi / (m.aodp * psisq) *
              (-3 * m.x3thm1 * (1 - 2 * eeta + etasq * (1.5 - 0.5 * eeta)) +
               0.75 * m.x1mth2 * (2 * etasq - eeta * (1 + etasq)) * std::cos(2 * omegao)));
  m.c5 = 2 * coef1 * m.aodp * betao2 * (1 + 2.75 * (etasq + eeta) + eeta * etasq);
  const double theta4 = theta2 * theta2;
  const double temp1 = 3 * kK2 * pinvsq * m.xnodp;
  const double temp2 = temp1 * kK2 * pinvsq;
  const double temp3 = 1.25 * kK4 * pinvsq * pinvsq * m.xnodp;
  m.xmdot = m.xnodp + 0.5 * temp1 * betao * m.x3thm1 +
            0.0625 * temp2 * betao * (13 - 78 * theta2 + 137 * theta4);
  const double x1m5th = 1 - 5 * theta2;
  m.omgdot = -0.5 * temp1 * x1m5th + 0.0625 * temp2 * (7 - 114 * theta2 + 395 * theta4) +
             temp3 * (3 - 36 * theta2 + 49 * theta4);
  const double xhdot1 = -temp1 * m.cosio;
  m.xnodot = xhdot1 + (0.5 * temp2 * (4 - 19 * theta2) + 2 * temp3 * (3 - 7 * theta2)) * m.cosio;
  m.omgcof = bstar * c3 * std::cos(omegao);
  m.xmcof = circular ? 0 : -kTwoThirds * coef * bstar / eeta;
  m.xnodcf = 3.5 * betao2 * xhdot1 * m.c1;
  m.t2cof = 1.5 * m.c1;
  // A retrograde equatorial orbit would divide by zero here.
  const double onePlusCos = std::max(1 + m.cosio, 1.5e-12);
  m.xlcof = 0.125 * kA3OverK2 * m.sinio * (3 + 5 * m.cosio) / onePlusCos;
  m.aycof = 0.25 * kA3OverK2 * m.sinio;
  m.delmo = Cube(1 + m.eta * std::cos(meanAnomaly_));
  m.sinmo = std::sin(meanAnomaly_);
  m.x7thm1 = 7 * theta2 - 1;
  if (deepSpace_) {
    m.DeepInit(*this, eosq, betao, betao2);
  } else if (!m.simple) {
    const double c1sq = m.c1 * m.c1;
    m.d2 = 4 * m.aodp * tsi * c1sq;
    const double temp = m.d2 * tsi * m.c1 / 3;
    m.d3 = (17 * m.aodp + s4) * temp;
    m.d4 = 0.5 * temp * m.aodp * tsi * (221 * m.aodp + 31 * s4) * m.c1;
    m.t3cof = m.d2 + 2 * c1sq;
    m.t4cof = 0.25 * (3 * m.d3 + m.c1 * (12 * m.d2 + 10 * c1sq));
    m.t5cof = 0.2 * (3 * m.d4 + 12 * m.c1 * m.d3 + 6 * m.d2 * m.d2 + 15 * c1sq * (2 * m.d2 + c1sq));
  }
  initialise_ = false;
}

void TSatellite::NearEarth(double t, TVector4& position, TVector4& velocity) {
  const TModel& m = *model_;
  const double xmdf = meanAnomaly_ + m.xmdot * t;
  const double omgadf = argumentOfPerigee_ + m.omgdot * t;
  const double xnoddf = rightAscension_ + m.xnodot * t;
  double omega = omgadf, xmp = xmdf;
  const double tsq = t * t;
  const double xnode = xnoddf + m.xnodcf * tsq;
  double tempa = 1 - m.c1 * t;
  double tempe = bStar_ * m.c4 * t;
  double templ = m.t2cof * tsq;
  if (!m.simple) {
    const double delomg = m.omgcof * t;
    const double delm = m.xmcof * (Cube(1 + m.eta * std::cos(xmdf)) - m.delmo);
    const double temp = delomg + delm;
    xmp = xmdf + temp;
    omega = omgadf - temp;
    const double tcube = tsq * t, tfour = t * tcube;
    tempa -= m.d2 * tsq + m.d3 * tcube + m.d4 * tfour;
    tempe += bStar_ * m.c5 * (std::sin(xmp) - m.sinmo);
    templ += m.t3cof * tcube + tfour * (m.t4cof + t * m.t5cof);
  }
  const double a = m.aodp * tempa * tempa;
  const double e = eccentricity_ - tempe;
  const double xl = xmp + omega + xnode + m.xnodp * templ;
  m.Finish(a, e, omega, xl, xnode, inclination_, position, velocity);
}

void TSatellite::DeepSpacePosition(double t, TVector4& position, TVector4& velocity) {
  TModel& m = *model_;
  double xmdf = meanAnomaly_ + m.xmdot * t;
  double omgadf = argumentOfPerigee_ + m.omgdot * t;
  const double xnoddf = rightAscension_ + m.xnodot * t;
  const double tsq = t * t;
  double xnode = xnoddf + m.xnodcf * tsq;
  const double tempa = 1 - m.c1 * t;
  const double tempe = bStar_ * m.c4 * t;
  const double templ = m.t2cof * tsq;
  double xn = m.xnodp, em = 0, xinc = 0;
  m.DeepSecular(*this, t, xmdf, omgadf, xnode, em, xinc, xn);
  if (std::isnan(xn)) {
    position = velocity = {xn, xn, xn, xn};
    return;
  }
  const double a = Power(kKe / xn, kTwoThirds) * tempa * tempa;
  double e = em - tempe;
  double xmam = xmdf + m.xnodp * templ;
  m.DeepPeriodic(t, e, xinc, omgadf, xnode, xmam);
  if (xinc < 0) {
    xinc = -xinc;
    xnode += kPi;
    omgadf -= kPi;
  }
  m.Finish(a, e, omgadf, xmam + omgadf + xnode, xnode, xinc, position, velocity);
}

void TSatellite::PositionAt(double jd, TVector4& position, TVector4& velocity) {
  if (initialise_ || !model_) Initialise();
  const double t = (jd - epoch_) * kMinutesPerDay;
  if (deepSpace_) {
    DeepSpacePosition(t, position, velocity);
  } else {
    NearEarth(t, position, velocity);
  }
}

void TSatellite::ScaleToKm(TVector4& position, TVector4& velocity) {
  position = ScalarMultiply(kEarthRadius, position);
  velocity = ScalarMultiply(kEarthRadius / 60, velocity);
  Magnitude(position);
  Magnitude(velocity);
}

bool TSatellite::LookAnglesAt(TObserver& observer, double minElevation, double jd,
                              TSatelliteLook& look) {
  TVector4 position, velocity;
  PositionAt(jd, position, velocity);
  ScaleToKm(position, velocity);
  const TGeodetic point = GeodeticFromInertial(position, jd);
  look.latitude = point.latitude;
  look.longitude = point.longitude;
  TLookAngles angles;
  TopocentricLookAngles(position, velocity, observer, jd, angles);
  look.azimuth = angles.azimuth;
  look.elevation = angles.elevation;
  look.range = angles.range;
  look.rangeRate = angles.rangeRate;
  look.southbound = velocity.z < 0;
  return look.elevation > Radians(minElevation);
}

// ---------------------------------------------------------------------------

namespace {

// Element files are a few hundred kilobytes at most.
constexpr std::uintmax_t kLargestElementFile = 32u << 20;

bool EndsWithNoCase(const std::string& name, std::string_view suffix) {
  return name.size() >= suffix.size() &&
         SameTextNoCase(std::string_view(name).substr(name.size() - suffix.size()), suffix);
}

bool IsElementLine(const std::string& line) {
  return line.size() == 69;
}

}  // namespace

TSatelliteList::TSatelliteList(const std::string& folder) {
  namespace fs = std::filesystem;
  folder_ = folder;
  if (!folder_.empty() && folder_.back() != '/') folder_ += '/';
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(folder_, error), end; !error && it != end; it.increment(error)) {
    if (it->is_regular_file(error)) names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  for (const char* mask : {".2li", ".tle", ".txt"}) {
    for (const std::string& name : names) {
      if (!EndsWithNoCase(name, mask) || SameTextNoCase(name, "TLEnotes.txt")) continue;
      const fs::path path = fs::path(folder_) / name;
      if (fs::file_size(path, error) > kLargestElementFile || error) continue;
      std::ifstream in(path, std::ios::binary);
      if (!in) continue;
      const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
      AddFromText(text, name);
    }
  }
}

void TSatelliteList::AddFromText(std::string_view text, const std::string& fileName) {
  AddFromLines(SplitLines(text), fileName);
}

void TSatelliteList::AddFromLines(const std::vector<std::string>& rawLines,
                                  const std::string& fileName) {
  // Trailing blanks, as some downloads carry, do not count.
  std::vector<std::string> lines;
  lines.reserve(rawLines.size());
  for (const std::string& line : rawLines) lines.push_back(TrimRight(line));
  const auto skipped = [](const std::string& line) { return line.empty() || line == "--"; };
  const auto nameOf = [](const std::string& line) {
    std::string name = UpperCase(Trim(line.substr(0, 24)));
    if (name == "NOAA-L") return std::string("NOAA 16");
    if (name == "NOAA-M") return std::string("NOAA 17");
    return name;
  };
  // A name line, then the next two lines of 69 characters. A set that lost
  // its line 2 must not swallow the next set, and files of bare line pairs
  // have no name lines at all.
  std::string name;
  std::size_t i = 0;
  while (i < lines.size()) {
    const std::string& line1 = lines[i];
    if (skipped(line1)) {
      ++i;
    } else if (!IsElementLine(line1)) {
      name = nameOf(line1);
      ++i;
    } else if (line1[0] != '1') {
      ++i;
    } else {
      std::size_t j = i + 1;
      std::string between;
      for (; j < lines.size() && !IsElementLine(lines[j]); ++j) {
        if (!skipped(lines[j])) between = nameOf(lines[j]);
      }
      if (j >= lines.size()) break;
      const std::string& line2 = lines[j];
      if (line2[0] == '1') {
        name = between;
        i = j;
        continue;
      }
      i = j + 1;
      AddSet(name, line1, line2, fileName);
      name.clear();
    }
  }
}

void TSatelliteList::AddSet(const std::string& name, const std::string& line1,
                            const std::string& line2, const std::string& fileName) {
  const std::string number = FieldText(line1, 3, 5);
  if (line2[0] != '2' || number != FieldText(line2, 3, 5) || Trim(number).empty()) return;
  auto satellite = std::make_unique<TSatellite>();
  try {
    satellite->LoadElements(line1, line2);
  } catch (const EMathError&) {
    return;  // a mean motion of zero or less
  }
  satellite->SetName(name);
  satellite->SetKeplerFileName(fileName);
  const int old = IndexOfCatalogue(satellite->CatalogueNumber());
  if (old >= 0) {
    if (!(satellite->Epoch() > items_[old].second->Epoch())) return;
    items_.erase(items_.begin() + old);
  }
  Add(name, std::move(satellite));
}

void TSatelliteList::Add(std::string name, std::unique_ptr<TSatellite> satellite) {
  const auto at =
      std::upper_bound(items_.begin(), items_.end(), name,
                       [](const std::string& n, const auto& item) { return n < item.first; });
  items_.emplace(at, std::move(name), std::move(satellite));
}

int TSatelliteList::IndexOfCatalogue(const std::string& number) const {
  if (number.size() != 5) return -1;
  const std::string wanted = UpperCase(number);
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (items_[i].second->CatalogueNumber() == wanted) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace vivurozed
