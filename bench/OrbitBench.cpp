// What the overlay asks of the orbit for a fifteen-minute NOAA pass: the
// earth points of every picture line (1800 lines of 51 points) and the look
// angles from home at each line.
#include <benchmark/benchmark.h>

#include <fstream>
#include <vector>

#include "WavWriter.h"
#include "orbit/Orbits.h"

namespace {

using namespace vivurozed;

void BM_PassEarthPointsAndLookAngles(benchmark::State& state) {
  testing::TempDir dir;
  std::ofstream(dir / "weather.txt")
      << "NOAA 15\n"
         "1 25338U 98030A   19237.55125393  .00000021  00000-0  27641-4 0  9993\n"
         "2 25338  98.7445 258.6869 0011278  50.3058 309.9115 14.25927920106921\n";
  TOrbit orbit;
  orbit.SetKeplerFolder(dir.Path().string());
  orbit.SetTwoLineDataPath(dir.Path().string());
  orbit.SetSatelliteName("NOAA 15");
  const TDateTime start = EncodeDateTime(2019, 8, 25, 18, 27, 45);
  if (!orbit.LoadForTime(start)) {
    state.SkipWithError("no element set");
    return;
  }
  constexpr int kLines = 15 * 120;
  std::vector<TLocationRecord> records(kLines);
  std::vector<double> elevations(kLines);
  TObserver home{Radians(51.48), Radians(-0.01), 0.05};
  for (auto _ : state) {
    for (int i = 0; i < kLines; ++i) {
      const TDateTime t = start + i * 0.5 / 86400;
      double height = 0;
      orbit.ScanLineEarthPoints(t, height, records[i]);
      TSatelliteLook look;
      orbit.LookAngles(home, 0, JulianDateOf(t), look);
      elevations[i] = look.elevation;
    }
    benchmark::DoNotOptimize(records.data());
    benchmark::DoNotOptimize(elevations.data());
  }
}
BENCHMARK(BM_PassEarthPointsAndLookAngles)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
