// Envelope signals of any line-synchronous format for decoder tests: the
// level at each moment of a line comes from a function, so each test writes
// its own sync shape (bursts, edges, pulses) next to what it checks.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace vivurozed::testing {

struct LineSignalOptions {
  int sampleRate = 11025;
  double linesPerSecond = 2.0;
  double seconds = 10.0;
  double startOffset = 0.0;  // seconds into line 0 at the first sample
  double noise = 0.0;        // standard deviation of added noise
  unsigned seed = 1;
  // Level (0 .. 1) at `t` seconds into line `line`.
  std::function<double(int line, double t)> level;
  double peak = 16000.0;  // the envelope at level 1
};

std::vector<std::int16_t> LineSignal(const LineSignalOptions& options);

// A square burst of `cycles` cycles of `hz` starting at t0: 1 in the first
// half of each cycle, 0 in the second; -1 outside the burst.
double SquareBurst(double t, double t0, double hz, int cycles);

}  // namespace vivurozed::testing
