#include "decode/LineClock.h"

#include <algorithm>
#include <cmath>

namespace vivurozed {

namespace {

double Median(std::vector<double>& v) {
  const auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
  std::nth_element(v.begin(), mid, v.end());
  return *mid;
}

// A sync far off its neighbours (a slip, a noise burst) must not bend the
// fit, and a recorder clock far from nominal must not make good syncs look
// like slips, so the guess takes its slope from the neighbours themselves.
TRowClock FitAround(std::span<const TRowOrigin> rows, int i, double nominalPeriod, int halfWindow,
                    std::vector<double>& work) {
  const int n = static_cast<int>(rows.size());
  const int from = std::max(0, i - halfWindow), to = std::min(n - 1, i + halfWindow);
  work.clear();
  for (int j = from; j < to; ++j) {
    if (rows[j].Known() && rows[j + 1].Known()) work.push_back(rows[j + 1].sync - rows[j].sync);
  }
  TRowClock own{rows[i].sync, nominalPeriod};
  if (work.size() < 4) return own;
  const double slope = Median(work);
  if (std::fabs(slope - nominalPeriod) > 0.01 * nominalPeriod) return own;
  work.clear();
  for (int j = from; j <= to; ++j) {
    if (rows[j].Known()) work.push_back(rows[j].sync - slope * (j - i));
  }
  const double intercept = Median(work);
  double s = 0, sx = 0, sy = 0, sxx = 0, sxy = 0;
  for (int j = from; j <= to; ++j) {
    if (!rows[j].Known()) continue;
    const double x = j - i, y = rows[j].sync - intercept - slope * x;
    if (std::fabs(y) > 2.0) continue;
    s += 1;
    sx += x;
    sy += y;
    sxx += x * x;
    sxy += x * y;
  }
  const double det = s * sxx - sx * sx;
  if (s < 5 || det <= 0) return own;
  const double b = (s * sxy - sx * sy) / det, a = (sy - b * sx) / s;
  return {intercept + a, slope + b};
}

// Cubic convolution weights (a = -0.5) for a point t (0 <= t < 1) past the
// second of four samples.
void CubicWeights(double t, double w[4]) {
  const double t2 = t * t, t3 = t2 * t;
  w[0] = -0.5 * t3 + t2 - 0.5 * t;
  w[1] = 1.5 * t3 - 2.5 * t2 + 1.0;
  w[2] = -1.5 * t3 + 2.0 * t2 + 0.5 * t;
  w[3] = 0.5 * t3 - 0.5 * t2;
}

}  // namespace

std::vector<TRowClock> FitRowClock(std::span<const TRowOrigin> rows, double nominalPeriod,
                                   int halfWindow) {
  std::vector<TRowClock> clock(rows.size());
  std::vector<double> work;
  for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
    if (rows[i].Known()) clock[i] = FitAround(rows, i, nominalPeriod, halfWindow, work);
  }
  return clock;
}

void ResampleRows(const TIplImage& source, std::span<const TRowOrigin> rows,
                  std::span<const TRowClock> clock, TIplImage& picture, int maxValue) {
  const int n = std::min({static_cast<int>(rows.size()), static_cast<int>(clock.size()),
                          source.Height(), picture.Height()});
  const int width = picture.Width();
  for (int y = 0; y < n; ++y) {
    if (!clock[y].Known() || !rows[y].Known()) continue;
    // A stream sample, from whichever neighbouring row holds it; a sample no
    // row holds (one dropped past a long line's end) is taken from the
    // nearest one this row holds.
    auto sample = [&](std::int64_t q) -> double {
      for (int r : {y, y + 1, y - 1, y + 2}) {
        if (r < 0 || r >= n || !rows[r].Known()) continue;
        const std::int64_t k = q - rows[r].stream;
        if (k >= 0 && k < rows[r].valid && k < source.Width()) return source.Row16(r)[k];
      }
      const std::int64_t k = std::clamp<std::int64_t>(q - rows[y].stream, 0,
                                                      std::min(rows[y].valid, source.Width()) - 1);
      return source.Row16(y)[k];
    };
    const std::int64_t own = std::min(rows[y].valid, source.Width());
    const double step = clock[y].period / width;
    // Pixel k is centred on the middle of its share of the line, as an area
    // average over the line would put it.
    const double first = clock[y].start + 0.5 * step - 0.5;
    std::uint16_t* out = picture.Row16(y);
    for (int k = 0; k < width; ++k) {
      const double p = first + k * step;
      const double base = std::floor(p);
      double w[4];
      CubicWeights(p - base, w);
      const auto q = static_cast<std::int64_t>(base);
      const std::int64_t k0 = q - 1 - rows[y].stream;
      double v;
      if (k0 >= 0 && k0 + 3 < own) {
        const std::uint16_t* s = source.Row16(y) + k0;
        v = w[0] * s[0] + w[1] * s[1] + w[2] * s[2] + w[3] * s[3];
      } else {
        v = w[0] * sample(q - 1) + w[1] * sample(q) + w[2] * sample(q + 1) + w[3] * sample(q + 2);
      }
      // Adding and taking away 2^52 rounds halves to even as nearbyint does,
      // without a library call per pixel; clamping first gives the same word.
      constexpr double kRound = 4503599627370496.0;
      const double c = std::clamp(v, 0.0, double(maxValue));
      out[k] = static_cast<std::uint16_t>((c + kRound) - kRound);
    }
  }
}

}  // namespace vivurozed
