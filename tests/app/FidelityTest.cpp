// The shipped sample decoded end to end and compared with the words that
// were transmitted: the whole chain must keep what the decoder achieves.
#include <gtest/gtest.h>

#include <cmath>

#include "QuietRunHost.h"
#include "RunFixture.h"
#include "image/PngImage.h"

namespace vivurozed {
namespace {

// Pearson correlation of the two channel pictures (words 86 .. 994 and
// 1126 .. 2034) of the decoded main picture against the truth, with the
// decoded picture shifted by dx words and dy lines.
double Correlation(const TExtBitmap& decoded, const TExtBitmap& truth, int dx, int dy) {
  double sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
  long n = 0;
  for (int line = 0; line < truth.Height(); line += 2) {
    const int row = line + dy;
    if (row < 0 || row >= decoded.Height()) continue;
    for (int word = 86; word < 2035; word += 3) {
      if (word >= 995 && word < 1126) continue;
      const int column = word + dx;
      if (column < 0 || column >= decoded.Width()) continue;
      const double x = decoded.ScanLine(row)[column], y = truth.ScanLine(line)[word];
      sx += x, sy += y, sxx += x * x, syy += y * y, sxy += x * y;
      ++n;
    }
  }
  if (n < 1000) return 0;
  const double cov = sxy / n - sx / n * sy / n;
  const double vx = sxx / n - sx / n * sx / n, vy = syy / n - sy / n * sy / n;
  return vx > 0 && vy > 0 ? cov / std::sqrt(vx * vy) : 0;
}

using Fidelity = testing::RunFixture;

TEST_F(Fidelity, SampleDecodesCloseToWhatWasSent) {
  TExtBitmap truth;
  ASSERT_TRUE(LoadPNGIntoBitmap(truth, std::string(VZ_TEST_DATA) + "/noaa15-excerpt-2min-words.png",
                                false));
  ASSERT_EQ(truth.PixelFormat(), pf8bit);
  ASSERT_EQ(truth.Width(), 2080);
  testing::QuietRunHost host;
  TProcessingRun run(host, store);
  TBatchOptions batch;
  batch.input = VZ_SAMPLE;
  ASSERT_EQ(run.RunBatch(batch, {}), 0);
  const TExtBitmap& decoded = run.Pictures().main;
  ASSERT_EQ(decoded.Width(), 2080);

  double best = -1;
  for (int dy = -4; dy <= 4; ++dy) {
    for (int dx = -12; dx <= 12; ++dx) best = std::max(best, Correlation(decoded, truth, dx, dy));
  }
  EXPECT_GT(best, 0.99);
}

}  // namespace
}  // namespace vivurozed
