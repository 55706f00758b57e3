// Projecting and drawing the whole shipped coastline file over a fifteen-
// minute APT pass: 1800 lines, the 1040-column overlay picture, the map
// fitted to a pass laid out on a spherical earth.
#include <benchmark/benchmark.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "image/BMPExtImage.h"
#include "map/FitMap.h"
#include "map/ekCartography.h"
#include "platform/Diagnostics.h"

namespace {

using namespace vivurozed;

constexpr int kLines = 1800;
constexpr double kRadius = 6378.135, kHeight = 830, kHalfAngle = 55.37;
constexpr double kDegree = std::numbers::pi / 180;

struct Vec {
  double x, y, z;
};
Vec operator*(double k, Vec v) {
  return {k * v.x, k * v.y, k * v.z};
}
Vec operator+(Vec a, Vec b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec Cross(Vec a, Vec b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// A southbound pass from Norway to West Africa: circular orbit of 98.7 degrees, the earth
// turning under it, scan points on the sphere.
std::vector<TLocationRecord> SyntheticPass() {
  const double inclination = 98.7 * kDegree, node = 175 * kDegree;
  const double motion = 2 * std::numbers::pi / (101.2 * 60), spin = 7.292115e-5;
  const Vec axis{std::cos(node), std::sin(node), 0};
  const Vec normal{std::sin(node) * std::sin(inclination), -std::cos(node) * std::sin(inclination),
                   std::cos(inclination)};
  std::vector<TLocationRecord> pass(kLines);
  for (int line = 0; line < kLines; ++line) {
    const double t = 0.5 * line, u = 120 * kDegree + motion * t;
    const Vec p = std::cos(u) * axis + std::sin(u) * Cross(normal, axis);
    const Vec left = Cross(p, Cross(normal, p));  // facing the way of flight
    for (int k = 0; k <= 50; ++k) {
      const double theta = (40 * (k - 25) + 0.5) * kHalfAngle / 1023.5 * kDegree;
      const double gamma =
          std::asin((kRadius + kHeight) / kRadius * std::sin(std::abs(theta))) - std::abs(theta);
      const Vec q = std::cos(gamma) * p + std::copysign(std::sin(gamma), theta) * left;
      auto& point = pass[std::size_t(line)][std::size_t(k)];
      point.latitude = float(std::asin(q.z) / kDegree);
      point.longitude =
          float(std::remainder(std::atan2(q.y, q.x) - spin * t, 2 * std::numbers::pi) / kDegree);
    }
  }
  return pass;
}

void BM_DrawCountriesOverFifteenMinutePass(benchmark::State& state) {
  TDiagnostics log;
  TResidualArray residuals;
  TWarpedMapping mapping;
  const auto pass = SyntheticPass();
  if (!FitMapToImage(pass, log, residuals, mapping, 3, kHalfAngle, kHeight)) {
    state.SkipWithError("no fit");
    return;
  }
  mapping.SetHeight(kLines);
  TCartogList list;
  if (!list.LoadCountries(log)) {
    state.SkipWithError("no Countries.dat");
    return;
  }
  list.SetMapping(&mapping);
  TExtBitmap overlay(1040, kLines, pf8bit);
  std::vector<TPaletteEntry> palette(20);
  palette[15] = {255, 255, 0};
  overlay.SetPalette(palette);
  auto canvas = MakeBitmapCanvas(overlay);
  canvas->SetPenColour({255, 255, 0});
  for (auto _ : state) list.Draw(*canvas, 82, 0);
  std::size_t drawn = 0;
  for (int y = 0; y < kLines; ++y)
    for (int x = 0; x < 1040; ++x) drawn += overlay.ScanLine(y)[x] == 15;
  state.counters["coast pixels"] = double(drawn);
}
BENCHMARK(BM_DrawCountriesOverFifteenMinutePass)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
