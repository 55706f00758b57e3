// Line timing from measured sync starts, and rows read at those times.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "decode/LineClock.h"

namespace vivurozed {
namespace {

// The sync of line i comes at start + i x period, measured with a rounding
// error of up to half a sample; one line's sync has slipped by `slip`.
std::vector<TRowOrigin> Measured(double start, double period, int lines, int slipped, double slip) {
  std::vector<TRowOrigin> rows(lines);
  for (int i = 0; i < lines; ++i) {
    const double exact = start + i * period;
    const double measured = std::nearbyint(exact) + (i == slipped ? slip : 0.0);
    rows[i] = {static_cast<std::int64_t>(measured), 5000, measured};
  }
  return rows;
}

TEST(LineClock, FitsStartsAndPeriodsThroughRoundingAndSlips) {
  struct Case {
    double start, period;
    int slipped;
    double slip;
  } cases[] = {
      {1000.3, 5512.5, -1, 0},  // nominal
      {250.8, 5513.6, 20, 41},  // recorder 200 ppm slow, one sync slipped late
      {77.1, 5511.4, 0, -37},   // 200 ppm fast, the first sync slipped early
      {3.1, 5512.52, 39, 12},   // Doppler-sized change, the last line slipped
  };
  for (const Case& c : cases) {
    const auto rows = Measured(c.start, c.period, 40, c.slipped, c.slip);
    const auto clock = FitRowClock(rows, 5512.5);
    ASSERT_EQ(clock.size(), rows.size());
    for (int i = 0; i < 40; ++i) {
      EXPECT_NEAR(clock[i].start, c.start + i * c.period, 0.4) << c.period << " line " << i;
      EXPECT_NEAR(clock[i].period, c.period, 0.08) << c.period << " line " << i;
    }
  }
  // A row without an origin gets no clock; its neighbours keep theirs.
  auto rows = Measured(0, 5512.5, 20, -1, 0);
  rows[7] = TRowOrigin{};
  const auto clock = FitRowClock(rows, 5512.5);
  EXPECT_FALSE(clock[7].Known());
  EXPECT_NEAR(clock[8].start, 8 * 5512.5, 0.3);
}

// A stream whose value at sample q is smooth, cut into rows at whole
// samples, each holding only its own line: the picture must hold the stream
// at start + (k + 0.5) x period / width - 0.5, whichever row holds it.
TEST(LineClock, ResamplesRowsAtTheirTimesAcrossRowEnds) {
  auto stream = [](double q) { return 8000 + 6000 * std::sin(q * 2 * M_PI / 37.0); };
  const double period = 300.4, first = 10.3;
  const int lines = 6, width = 113;
  TIplImage source(310, lines, idDepth16u);
  std::vector<TRowOrigin> rows(lines);
  std::vector<TRowClock> clock(lines);
  for (int y = 0; y < lines; ++y) {
    const double exact = first + y * period;
    const auto at = static_cast<std::int64_t>(std::floor(exact));
    const auto next = static_cast<std::int64_t>(std::floor(exact + period));
    const int valid = static_cast<int>(next - at);
    rows[y] = {at, valid, exact};
    clock[y] = {exact, period};
    for (int x = 0; x < source.Width(); ++x)
      source.Row16(y)[x] =
          static_cast<std::uint16_t>(x < valid ? std::nearbyint(stream(double(at + x))) : 0);
  }
  TIplImage picture(width, lines, idDepth16u);
  ResampleRows(source, rows, clock, picture, 16383);
  for (int y = 0; y + 1 < lines; ++y) {
    for (int k = 0; k < width; ++k) {
      const double q = clock[y].start + (k + 0.5) * period / width - 0.5;
      EXPECT_NEAR(picture.Row16(y)[k], stream(q), 60) << "row " << y << " pixel " << k;
    }
  }
}

}  // namespace
}  // namespace vivurozed
