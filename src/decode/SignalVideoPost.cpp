#include "decode/SignalVideoPost.h"

#include <algorithm>
#include <cmath>

#include "platform/VectorLib.h"

namespace vivurozed {

namespace {

int Round(double v) {
  return static_cast<int>(std::nearbyint(v));
}

bool IsMeteorOrResurs(TDecodeParameters t) {
  return t == dpMeteor35 || t == dpMeteor221 || t == dpResursO1N4;
}

// p at i, i+q, ... i+5q all below level. Without wrap a run that leaves the
// profile is no run.
bool DarkRun(std::span<const float> p, int i, int q, float level, bool wrap) {
  const int w = static_cast<int>(p.size());
  if (w == 0) return false;
  for (int k = 0; k <= 5; ++k) {
    int j = i + k * q;
    if (wrap) {
      j = ((j % w) + w) % w;
    } else if (j < 0 || j >= w) {
      return false;
    }
    if (!(p[static_cast<std::size_t>(j)] < level)) return false;
  }
  return true;
}

float ProfileMean(std::span<const float> p, int from, int count) {
  const int w = static_cast<int>(p.size());
  const int a = std::clamp(from, 0, w), b = std::clamp(from + count, 0, w);
  if (b <= a) return 0.0f;
  double s = 0;
  for (int i = a; i < b; ++i) s += p[static_cast<std::size_t>(i)];
  return static_cast<float>(s / (b - a));
}

void LogLine(TDiagnostics* log, const char* line) {
  if (log) log->Add(line);
}

void LogWedgeFallback(TDiagnostics* log, const char* first) {
  LogLine(log, first);
  LogLine(log, "  Using estimated wedge position, may indicate");
  LogLine(log, "  wrong sampling frequency or poor signal.");
}

// Black and White from the rows whose reference run is steady: the darkest
// and brightest of those runs (the telemetry wedges). When too few rows are
// steady at the first limit the second one adds more.
bool SteadyRowLevels(const std::vector<TRowStats>& rows, const std::vector<int>& deviations,
                     int firstLimit, int secondLimit, int& black, int& white) {
  black = 100000;
  white = 0;
  std::size_t qualified = 0;
  for (int pass = 0; pass < 2; ++pass) {
    const int limit = pass == 0 ? firstLimit : secondLimit;
    if (pass == 1 && qualified * 4 >= rows.size()) break;
    for (std::size_t y = 0; y < rows.size(); ++y) {
      if (deviations[y] >= limit) continue;
      white = std::max(white, rows[y].referenceMean);
      black = std::min(black, rows[y].referenceMean);
      ++qualified;
    }
  }
  return qualified > 0;
}

// Column j* where the channel B sync pattern, read backwards from j, best
// matches the profile; -1 when no column scores above zero.
int NoaaSyncBColumn(std::span<const float> p, float mean, int rate) {
  const int w = static_cast<int>(p.size());
  const int n = rate * 39 / 4160;
  std::vector<float> weight(static_cast<std::size_t>(std::max(n, 0)));
  for (int i = 0; i < n; ++i) {
    const int u = static_cast<int>(std::int64_t{i} * 4160 / rate);
    // Words 0, 1 and then every 4th to 6th of each group of five are high.
    const bool high = u < 2 || (u % 5 == 4 || u % 5 == 0 || u % 5 == 1);
    weight[static_cast<std::size_t>(i)] = high ? 2.0f : -3.0f;
  }
  int best = -1;
  double bestScore = 0;
  for (int j = std::max(9 * w / 20, n - 1); j < 11 * w / 20; ++j) {
    double score = 0;
    for (int i = 0; i < n; ++i) {
      score += (p[static_cast<std::size_t>(j - i)] - mean) * weight[static_cast<std::size_t>(i)];
    }
    if (score > bestScore) {
      bestScore = score;
      best = j;
    }
  }
  return best;
}

}  // namespace

std::vector<float> ColumnMeans(const TIplImage& image) {
  const int w = image.Width(), h = image.Height();
  std::vector<double> sums(static_cast<std::size_t>(w), 0.0);
  for (int y = 0; y < h; ++y) {
    const std::uint16_t* r = image.Row16(y);
    for (int x = 0; x < w; ++x) sums[static_cast<std::size_t>(x)] += r[x];
  }
  std::vector<float> means(static_cast<std::size_t>(w), 0.0f);
  for (int x = 0; x < w; ++x) {
    means[static_cast<std::size_t>(x)] =
        h ? static_cast<float>(sums[static_cast<std::size_t>(x)] / h) : 0.0f;
  }
  return means;
}

int RunMean(const std::uint16_t* row, int width, int from, int count) {
  const int a = std::clamp(from, 0, width), b = std::clamp(from + count, 0, width);
  if (b <= a) return 0;
  std::int64_t s = 0;
  for (int x = a; x < b; ++x) s += row[x];
  return Round(static_cast<double>(s) / (b - a));
}

TRunStats RunStats(const std::uint16_t* row, int width, int from, int count) {
  TRunStats st;
  const int a = std::clamp(from, 0, width), b = std::clamp(from + count, 0, width);
  if (b <= a) return st;
  st.mean = RunMean(row, width, a, b - a);
  double s = 0;
  for (int x = a; x < b; ++x) {
    const double d = row[x] - st.mean;
    s += d * d;
  }
  st.deviation = Round(std::sqrt(s / (b - a)));
  return st;
}

int BlockMaximum(const std::uint16_t* row, int width, int from, int count, int block) {
  const int a = std::clamp(from, 0, width), b = std::clamp(from + count, 0, width);
  if (block <= 0) return 0;
  int best = 0;
  for (int x = a; x + block <= b; x += block) {
    std::int64_t s = 0;
    for (int i = 0; i < block; ++i) s += row[x + i];
    best = std::max(best, static_cast<int>(s / block));
  }
  return best;
}

void DespeckleImage(TIplImage& image, int threshold, TDecodeParameters type) {
  const int w = image.Width(), h = image.Height();
  if (w < 3 || h < 3) return;
  int a0, a1, b0, b1;
  if (type == dpNOAAapt) {
    a0 = w * 92 / 2080;
    a1 = w * 975 / 2080;
    b0 = w / 2 + a0;
    b1 = w / 2 + a1;
  } else {
    a0 = b0 = w / 10;
    a1 = b1 = 9 * w / 10;
  }
  const auto copy = iplCloneImage(image);
  for (int y = 1; y < h - 1; ++y) {
    const std::uint16_t* up = copy->Row16(y - 1);
    const std::uint16_t* mid = copy->Row16(y);
    const std::uint16_t* down = copy->Row16(y + 1);
    std::uint16_t* out = image.Row16(y);
    for (int x = 1; x < w - 1; ++x) {
      if (!((x > a0 && x < a1) || (x > b0 && x < b1))) continue;
      const int m = (up[x - 1] + up[x] + up[x + 1] + mid[x - 1] + mid[x + 1] + down[x - 1] +
                     down[x] + down[x + 1]) /
                    8;
      if (std::abs(mid[x] - m) > threshold) out[x] = static_cast<std::uint16_t>(m);
    }
  }
}

double NextGain(double previous, double wanted) {
  return wanted > previous ? (9 * previous + wanted) / 10 : wanted;
}

double WantedGain(TDecodeParameters type, double r, int black, int white, int runWidth,
                  double previous) {
  const double span = IsMeteorOrResurs(type) ? r - black : static_cast<double>(white - black);
  if (r == 0 || !(span > 0)) return previous;
  switch (type) {
    case dpMeteor35:
    case dpMeteor221:
      return runWidth * 64.0 * 150 / span;
    case dpResursO1N4:
      return runWidth * 64.0 * 159 / span;
    case dpNOAAapt:
    case dpOkean:
      return 16384 / span;
    case dpOkeanO:
      return 15488 / span;
    default:
      return 16320 / span;
  }
}

void ApplyGain(std::span<std::uint16_t> row, int black, double gain, std::span<float> work) {
  const std::size_t n = std::min(row.size(), work.size());
  const float g = static_cast<float>(gain);
  for (std::size_t i = 0; i < n; ++i) work[i] = (static_cast<float>(row[i]) - black) * g;
  vec::FloatToWords(work.first(n), row.first(n));
  for (std::size_t i = 0; i < n; ++i) row[i] = std::min<std::uint16_t>(row[i], 16383);
}

void EqualisePicture(TIplImage& picture, TDecodeParameters type, bool bright, int clip) {
  const int x = picture.Width();
  int from = x / 5, to = 4 * x / 5;
  switch (type) {
    case dpMeteor35:
      from = 57 * x / 500, to = 455 * x / 500;
      break;
    case dpMeteor221:
      from = 70 * x / 500, to = 450 * x / 500;
      break;
    case dpResursO1N4:
      from = 58 * x / 500, to = 447 * x / 500;
      break;
    case dpSich:
      from = 36 * x / 250, to = 220 * x / 250;
      break;
    case dpSich6:
      from = 43 * x / 250, to = 231 * x / 250;
      break;
    case dpOkeanO:
      from = 52 * x / 250, to = 239 * x / 250;
      break;
    case dpOkeanO37:
      from = 17 * x / 250, to = 200 * x / 250;
      break;
    case dpMeteosat:
    case dpGMS:
    case dpGOES:
    case dpWEFAX:
      from = 27 * x / 840, to = from + 800 * x / 840;
      break;
    default:
      break;
  }
  TIplHistogram histogram(16384);
  picture.SetROI(iplCreateROI(from, 0, std::max(to - from, 0), picture.Height()));
  iplComputeHisto(picture, histogram);
  picture.SetROI(std::nullopt);
  std::int64_t total = 0;
  for (std::int64_t c : histogram.counts) total += c;
  const std::int64_t mean = total / 16384;
  if (IsGeostationary(type) || type == dpWEFAX) {
    // The white surround of a fax picture would take most of the range.
    for (int v = bright ? 0 : 15237; v < 16384; ++v)
      histogram.counts[static_cast<std::size_t>(v)] = mean;
  }
  const std::int64_t limit = clip * std::max<std::int64_t>(1, mean);
  for (std::int64_t& c : histogram.counts) c = std::min(c, limit);
  iplHistoEqualize(picture, picture, histogram);
}

std::vector<std::uint8_t> DisplayTable(TDecodeParameters type, bool equalised, float gamma) {
  std::vector<std::uint8_t> t(65536, 255);
  t[0] = 0;
  const double e = 1.0 / gamma;
  if (type == dpNOAAapt) {
    for (int v = 1; v < 16384; ++v)
      t[static_cast<std::size_t>(v)] = static_cast<std::uint8_t>(v / 64);
  } else if (!equalised) {
    for (int v = 1; v <= 16383; ++v) {
      t[static_cast<std::size_t>(v)] =
          static_cast<std::uint8_t>(std::nearbyint(255.0 * std::pow(v / 16383.0, e)));
    }
  } else {
    for (int v = 1; v <= 65535; ++v) {
      t[static_cast<std::size_t>(v)] =
          static_cast<std::uint8_t>(std::nearbyint(255.0 * std::pow(v / 65535.0, e)));
    }
  }
  return t;
}

bool MeasuresRows(TDecodeParameters t) {
  return t == dpMeteor35 || t == dpMeteor221 || t == dpResursO1N4 || t == dpOkean || t == dpSich ||
         t == dpOkeanO37;
}

TReferences AnalyseReferences(const TIplImage& image, std::span<const float> p,
                              const TReferenceInput& in) {
  TReferences r;
  const TDecodeParameters type = in.type;
  const int w = static_cast<int>(p.size());
  const int h = image.Height();
  const int rate = in.rate;
  if (w == 0) return r;

  double sum = 0;
  r.maxP = p[0];
  for (float v : p) {
    sum += v;
    r.maxP = std::max(r.maxP, v);
  }
  r.meanP = static_cast<float>(sum / w);
  r.intP = std::max(1, Round(r.maxP));
  r.bright = r.meanP > 0.8f * r.maxP;
  const int syncLength = in.cycles * rate / std::max(in.syncHz, 1);
  const int q = rate / (4 * std::max(in.syncHz, 1));
  r.syncMean = ProfileMean(p, type == dpSich ? syncLength / 2 : 0, syncLength);
  r.clip = IsGeostationary(type) || type == dpWEFAX ? 2 : 3;
  r.black = in.black0;
  r.white = in.white0;

  // Reference positions.
  int noaaSync = -1;
  switch (type) {
    case dpMeteor35: {
      int found = -1;
      for (int i = 5 * q + 1; i < w; ++i) {
        if (DarkRun(p, i - 5 * q, q, r.syncMean, false)) {
          found = i;
          break;
        }
      }
      r.w = Round(rate * 0.0274);
      r.c = found;
      if (found < 0 || found > w / 2) {
        r.c = 49 * w / 500;
        LogWedgeFallback(in.log, "Error: Meteor specified but wedge not found.");
        if (found < 0) found = r.c;
      }
      r.hi = found - 1;
      r.lo = r.hi - 3 * q;
      break;
    }
    case dpMeteor221:
      r.hi = w - w / 1000;
      r.lo = r.hi - 5 * w / 1000;
      r.c = 0;
      r.w = 62 * w / 500;
      break;
    case dpResursO1N4:
    case dpOkean: {
      const int width = type == dpResursO1N4 ? Round(rate * 0.0295) : 0;
      int found = -1;
      for (int i = w - width - 1; i >= 0; --i) {
        if (DarkRun(p, i, q, r.syncMean, true)) {
          found = i;
          break;
        }
      }
      if (found < 0 || found < w / 2) {
        found = 462 * w / 500;
        LogWedgeFallback(in.log, "Error: Okean/Resurs specified but wedge not found.");
      }
      if (type == dpResursO1N4) {
        r.hi = found + 2 * q;
        r.lo = r.hi - 6 * q;
        r.c = found;
        r.w = width;
      } else {
        r.lo = (Round(rate * 0.0465) + found + Round(rate * 0.05 * 0.01624)) % w;
        r.c = r.lo;
        r.w = Round(rate * 0.9 * 0.01624);
        r.hi = r.lo + r.w;
      }
      break;
    }
    case dpNOAAapt: {
      r.syncMean = r.meanP;
      // With no dark run the black reference stays where the search began,
      // just after sync A; it only feeds the profile mean, which the
      // wedge levels replace.
      int found = syncLength / 2 + 1;
      for (int i = syncLength / 2 + 1; i < w; ++i) {
        if (DarkRun(p, i, q, r.syncMean, false)) {
          found = i;
          break;
        }
      }
      r.lo = found + 2;
      r.hi = 10 * q + r.lo - 3;
      noaaSync = NoaaSyncBColumn(p, r.meanP, rate);
      r.w = Round(rate * 38 / 4160.0);
      r.c = noaaSync - rate * 39 / 4160 - r.w - Round(rate * 6 / 4160.0);
      break;
    }
    case dpSich: {
      r.lo = 2;
      r.hi = w / 8;
      for (int x = 3; x <= w / 8 && x < w; ++x) {
        if (p[static_cast<std::size_t>(x)] > r.syncMean) {
          r.hi = x;
          break;
        }
      }
      r.c = r.hi + w / 500;
      r.w = rate * 105 / 10000 - 2 * w / 500;
      r.hi -= w / 500;
      break;
    }
    case dpSich6:
      r.lo = rate * 25 / 1000;
      r.hi = r.lo + rate * 65 / 10000;
      r.c = r.hi;
      r.w = rate * 115 / 10000;
      break;
    case dpOkeanO:
      r.lo = 215 * w / 250;
      r.hi = r.lo + 28 * w / 250;
      r.c = 201 * w / 250;
      r.w = 115 * w / 2500;
      break;
    case dpOkeanO37:
      r.lo = rate * 225 / 1000;
      r.hi = r.lo + rate * 22 / 1000;
      r.c = rate * 2055 / 10000;
      r.w = rate * 95 / 10000;
      break;
    case dpMeteosat:
    case dpGMS:
    case dpGOES:
      r.lo = 5;
      r.hi = 10;
      break;
    case dpWEFAX:
      r.lo = 4;
      r.hi = 6;
      r.c = 13 * w / 840;
      r.w = 14 * w / 840;
      break;
  }

  // Rows: the black run [lo, hi - 1) and the reference run.
  r.rows.resize(static_cast<std::size_t>(h));
  std::vector<int> refDeviation(static_cast<std::size_t>(h));
  std::int64_t quietSum = 0;
  int quietRows = 0;
  for (int y = 0; y < h; ++y) {
    const std::uint16_t* row = image.Row16(y);
    const int iw = image.Width();
    const TRunStats black = RunStats(row, iw, r.lo, r.hi - 1 - r.lo);
    const TRunStats ref = RunStats(row, iw, r.c, r.w);
    TRowStats& s = r.rows[static_cast<std::size_t>(y)];
    s.blackMean = black.mean;
    s.blackDeviation = black.deviation;
    s.referenceMean = ref.mean;
    refDeviation[static_cast<std::size_t>(y)] = ref.deviation;
    if (black.deviation < 200) {
      quietSum += black.mean;
      ++quietRows;
    }
  }
  r.anyQuiet = quietRows > 0;
  r.quietBlack = quietRows ? Round(static_cast<double>(quietSum) / quietRows) : 0;

  auto meanOverRows = [&](auto value) {
    double s = 0;
    for (int y = 0; y < h; ++y) s += value(y);
    return h ? s / h : 0.0;
  };
  const auto& rows = r.rows;
  switch (type) {
    case dpMeteor221:
      r.black = 0;
      r.white = Round(2 * meanOverRows([&](int y) { return rows[y].referenceMean; }));
      break;
    case dpNOAAapt:
    case dpOkean: {
      const bool noaa = type == dpNOAAapt;
      const bool ok = SteadyRowLevels(rows, refDeviation, noaa ? 500 : 400, noaa ? 1500 : 1600,
                                      r.black, r.white);
      if (!ok || (noaa && noaaSync < 0)) {
        r.black = 0;
        r.white = Round(2 * r.syncMean);
      }
      if (!noaa && r.white < r.syncMean) r.white = Round(3 * r.syncMean);
      break;
    }
    case dpSich: {
      double b = 0, wh = 0;
      int n = 0;
      for (int y = 0; y < h; ++y) {
        const TRowStats& s = rows[static_cast<std::size_t>(y)];
        if (refDeviation[static_cast<std::size_t>(y)] < r.syncMean / 15 &&
            4 * s.blackMean < s.referenceMean) {
          b += s.blackMean;
          wh += s.referenceMean;
          ++n;
        }
      }
      r.black = n ? Round(b / n) : 0;
      r.white = n ? Round(wh / n) : Round(2 * r.syncMean);
      break;
    }
    case dpSich6:
      r.black = Round(meanOverRows([&](int y) { return rows[y].blackMean; }));
      r.white = Round(1.8 * meanOverRows([&](int y) { return rows[y].referenceMean; }));
      break;
    case dpOkeanO: {
      r.black = 0;
      r.white = 0;
      for (int y = 0; y < h; y += 10) {
        r.white = std::max(r.white, BlockMaximum(image.Row16(y), image.Width(), r.c, r.w, w / 250));
      }
      break;
    }
    case dpOkeanO37:
      r.black = Round(meanOverRows([&](int y) { return rows[y].blackMean; }));
      r.white = Round(meanOverRows([&](int y) {
        return std::max(rows[y].referenceMean,
                        BlockMaximum(image.Row16(y), image.Width(), 100, w - 100, 10));
      }));
      break;
    case dpMeteosat:
    case dpGMS:
    case dpGOES:
      if (in.frameBlack && in.frameWhite) {
        r.black = *in.frameBlack;
        r.white = *in.frameWhite;
      }
      break;
    case dpWEFAX:
      r.black = 0;
      r.white = Round(meanOverRows([&](int y) { return rows[y].referenceMean; }));
      break;
    default:
      break;
  }
  return r;
}

int GainBlack(const TReferences& r, std::span<const float> p, TDecodeParameters type,
              bool autoBlack) {
  if (!autoBlack) return 0;
  double b = r.lo < r.hi ? ProfileMean(p, r.lo, r.hi - r.lo + 1) : 0.0;
  switch (type) {
    case dpMeteor35:
    case dpResursO1N4:
      if (r.anyQuiet) b = r.quietBlack;
      break;
    case dpMeteor221:
      b = 0;
      break;
    case dpWEFAX:
      b = r.white / 20;
      break;
    case dpOkeanO:
      break;
    default:  // Sich, Sich-600, Okean, Okean-O 37, NOAA and the geostationary types
      b = r.black;
      break;
  }
  if (!IsGeostationary(type) && b > 0.3 * r.maxP) b = 0;
  return Round(b);
}

int NoisyEndRows(const TReferences& r, int height, TDecodeParameters type, int black) {
  const bool pulsed = type == dpSich || type == dpOkeanO37;
  const int n = type == dpSich || type == dpMeteor35 ? height - 120 : 40;
  const int rows = std::min<int>(height, static_cast<int>(r.rows.size()));
  int count = 0;
  double f = 0;
  for (int i = 0; i < n && i < rows; ++i) {
    const TRowStats& s = r.rows[static_cast<std::size_t>(rows - 1 - i)];
    double x = black != 0 ? static_cast<double>(s.blackMean) / black : 0.0;
    if (pulsed && s.referenceMean != 0) x += 4.5 * s.blackMean / s.referenceMean;
    x += 30.0 * s.blackDeviation / r.intP;
    f = i == 0 ? x : 0.5 * f + 0.5 * x;
    if (f <= 5.8) break;
    ++count;
  }
  if (pulsed) --count;
  if (count & 1) --count;
  return std::max(count, 0);
}

}  // namespace vivurozed
