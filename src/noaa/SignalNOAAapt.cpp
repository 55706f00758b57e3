#include "noaa/SignalNOAAapt.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

#include "analysis/CurveFit.h"

namespace vivurozed {

namespace {

constexpr int kTopLevel = 16383;
constexpr std::array<int, 16> kWedgeNoise = {300, 300, 300, 350, 400, 450, 550, 600,
                                             300, 500, 500, 500, 500, 300, 300, 300};

int RoundInt(double v) {
  return static_cast<int>(std::nearbyint(v));
}

void Log(TNoaaProcessing& job, std::string line) {
  if (job.log) job.log->Add(std::move(line));
}

void Progress(TNoaaProcessing& job, const char* text, int percent) {
  if (job.onProgress) job.onProgress(text, percent);
}

// Column means over all lines, integer division, and their range.
std::vector<std::int64_t> ColumnProfile(const TIplImage& img, std::int64_t& range) {
  const int w = img.Width(), h = img.Height();
  std::vector<std::int64_t> p(std::size_t(w), 0);
  for (int y = 0; y < h; ++y) {
    const std::uint16_t* r = img.Row16(y);
    for (int x = 0; x < w; ++x) p[std::size_t(x)] += r[x];
  }
  for (auto& v : p) v /= h;
  const auto [lo, hi] = std::minmax_element(p.begin(), p.end());
  range = *hi - *lo;
  return p;
}

// Start of the channel B sync, or -1.
int SearchSync(const std::vector<std::int64_t>& profile, std::int64_t range) {
  const int w = int(profile.size());
  const int n7 = RoundInt(39.0 * w / 2080.0);
  std::vector<int> t(static_cast<std::size_t>(n7));
  for (int k = 0; k < n7; ++k) {
    const int j = k * 2080 / w;
    t[std::size_t(k)] = (j % 5 == 2 || j % 5 == 3) ? -3 : 2;
  }
  std::int64_t m = 0;
  for (int c = w / 2; c < w / 2 + n7; ++c) m += profile[std::size_t(c)];
  m = m * 5 / (n7 * 6);
  std::int64_t best = 0;
  int bestP = -1;
  for (int p = 9 * w / 20; p < 11 * w / 20; ++p) {
    if (p - (n7 - 1) < 0) continue;
    std::int64_t score = 0;
    for (int k = 0; k < n7; ++k) score += (profile[std::size_t(p - k)] - m) * t[std::size_t(k)];
    if (score > best) {
      best = score;
      bestP = p;
    }
  }
  if (bestP < 0 || range / 4 > best / n7) return -1;
  return bestP - n7;
}

// Shifts the whole picture, read as one signal, by d pixels (positive = right).
void MoveImage(TIplImage& img, int d) {
  const int w = img.Width(), h = img.Height();
  std::vector<std::uint16_t> flat(std::size_t(w) * h);
  for (int y = 0; y < h; ++y) std::copy_n(img.Row16(y), w, flat.begin() + std::ptrdiff_t(y) * w);
  std::vector<std::uint16_t> moved(flat.size(), 0);
  if (d > 0)
    std::copy(flat.begin(), flat.end() - d, moved.begin() + d);
  else
    std::copy(flat.begin() - d, flat.end(), moved.begin());
  for (int y = 0; y < h; ++y) std::copy_n(moved.begin() + std::ptrdiff_t(y) * w, w, img.Row16(y));
}

void MeanSd(const std::uint16_t* row, int from, int n, std::int32_t& mean, std::int32_t& sd) {
  std::int64_t sum = 0;
  for (int i = 0; i < n; ++i) sum += row[from + i];
  mean = RoundInt(double(sum) / n);
  double sq = 0;
  for (int i = 0; i < n; ++i) {
    const double dv = double(row[from + i]) - mean;
    sq += dv * dv;
  }
  sd = RoundInt(std::sqrt(sq / n));
}

// The index of the most negative (or most positive) step between
// accumulators, the first one wrapping from the last.
int Phase(const std::vector<std::int64_t>& acc, bool rising) {
  const int n = int(acc.size());
  int best = 0;
  std::int64_t bestStep = 0;
  for (int i = 0; i < n; ++i) {
    std::int64_t step = acc[std::size_t(i)] - acc[std::size_t((i + n - 1) % n)];
    if (!rising) step = -step;
    if (step > bestStep) {
      bestStep = step;
      best = i;
    }
  }
  return best;
}

struct TSample {
  std::vector<double> x, y;
  void Add(double line, double value) {
    x.push_back(line);
    y.push_back(value);
  }
  int Count() const { return int(x.size()); }
};

// Least squares of the given number of terms; false when it cannot be solved.
bool Fit(const TSample& s, int terms, std::array<double, 3>& c) {
  if (s.Count() < 2) return false;
  TVector coeffs;
  double r = 0;
  try {
    PolyFit(s.x, s.y, terms, coeffs, r);
  } catch (const EMathError&) {
    return false;
  }
  c = {0, 0, 0};
  for (std::size_t i = 0; i < coeffs.size() && i < 3; ++i) c[i] = coeffs[i];
  return true;
}

bool InWedge(int line, int phase, int offset) {
  const int k = line - phase + offset;
  return k >= 0 && k % 128 < 8;
}

void BlackLevel(TNoaaProcessing& job, std::int64_t range) {
  auto& stats = job.lineStats;
  auto& f = job.found;
  const int h = int(stats.size());
  int n = 0;
  TSample s;
  for (int line = 0; line < h; ++line) {
    if (!InWedge(line, f.wedgePhase, 0)) continue;
    ++n;
    const auto& st = stats[std::size_t(line)];
    if ((st.spaceB > 8192 || f.twoVisible) && st.telemetryASd + st.telemetryBSd < 1920)
      s.Add(line, (st.telemetryA + st.telemetryB) / 2.0);
  }
  std::array<double, 3> c{0, 0, 0};
  bool ok = false;
  if (s.Count() < n / 4) {
    if (s.Count() > 6) ok = Fit(s, 2, c);
  } else {
    ok = Fit(s, s.Count() < 9 ? 2 : 3, c);
  }
  if (!ok || c[0] > double(range / 6)) c = {0, 0, 0};
  f.blackFit = c;
  for (int line = 0; line < h; ++line)
    stats[std::size_t(line)].black = RoundInt(c[0] + c[1] * line + c[2] * double(line) * line);
}

void Gain(TNoaaProcessing& job) {
  auto& stats = job.lineStats;
  auto& f = job.found;
  const int h = int(stats.size());
  constexpr std::array<int, 5> offsets = {16, 24, 32, 40, 48};
  constexpr std::array<double, 5> expected = {14272, 12224, 10176, 8128, 6080};
  constexpr std::array<int, 5> limits = {1150, 1050, 930, 820, 720};
  int counted = 0;
  auto sample = [&](int scale, TSample& s) {
    counted = 0;
    for (std::size_t w = 0; w < offsets.size(); ++w) {
      const int limit = limits[w] * scale;
      for (int line = 0; line < h; ++line) {
        if (!InWedge(line, f.wedgePhase, offsets[w])) continue;
        ++counted;
        const auto& st = stats[std::size_t(line)];
        if (!(st.spaceB > 8192 || f.twoVisible)) continue;
        if (st.telemetryASd + st.telemetryBSd < limit) {
          s.Add(line, ((st.telemetryA + st.telemetryB) / 2.0 - st.black) / expected[w]);
        } else {
          if (st.telemetryASd < limit) s.Add(line, (st.telemetryA - st.black) / expected[w]);
          if (st.telemetryBSd < limit) s.Add(line, (st.telemetryB - st.black) / expected[w]);
        }
      }
    }
  };
  TSample s;
  sample(1, s);
  std::array<double, 3> c{1, 0, 0};
  if (s.Count() < counted / 4) {
    Log(job, "NOAA: Poor signal, cannot determine gain for NOAA processing!");
    Log(job, Format("      %d valid lines out of %d", s.Count(), counted));
    Log(job, "      Trying again with with relaxed noise criteria");
    s = TSample();
    sample(2, s);
    if (s.Count() < counted / 4) {
      Log(job, "NOAA: Poor signal, cannot determine gain for NOAA processing!");
      Log(job, Format("      %d valid lines out of %d", s.Count(), counted));
      if (s.Count() > 6 && !Fit(s, 2, c)) c = {1, 0, 0};
    } else if (!Fit(s, s.Count() < 9 ? 2 : 3, c)) {
      c = {1, 0, 0};
    }
  } else if (!Fit(s, s.Count() < 9 ? 2 : 3, c)) {
    c = {1, 0, 0};
  }
  f.gainFit = c;
  const auto g0 = float(c[0]), g1 = float(c[1]), g2 = float(c[2]);
  const float m = float(h / 2);
  const float floorGain = g0 + g1 * m + 0.5f * g2 * m * m;
  for (int line = 0; line < h; ++line) {
    const auto l = float(line);
    float g = std::max(g0 + g1 * l + g2 * l * l, floorGain);
    // A fit gone wrong must not divide by zero or turn the picture negative.
    if (!(g > 1e-3f)) g = 1.0f;
    stats[std::size_t(line)].gain = g;
  }
}

void Normalise(TNoaaProcessing& job, TIplImage& img) {
  const int w = img.Width();
  for (int y = 0; y < img.Height(); ++y) {
    auto& st = job.lineStats[std::size_t(y)];
    const double b = st.black, g = st.gain;
    for (std::int32_t* v : {&st.spaceA, &st.telemetryA, &st.spaceB, &st.telemetryB})
      *v = RoundInt((*v - b) / g);
    std::uint16_t* r = img.Row16(y);
    for (int x = 0; x < w; ++x)
      r[x] = std::uint16_t(std::clamp(RoundInt((r[x] - b) / g), 0, kTopLevel));
  }
}

void CleanLines(TNoaaProcessing& job) {
  const auto& stats = job.lineStats;
  auto& f = job.found;
  const int h = int(stats.size());
  double mS = 0, mSd = 0;
  int n = 0;
  for (int line = h / 5; line < 4 * h / 5; ++line, ++n) {
    mS += stats[std::size_t(line)].spaceB;
    mSd += stats[std::size_t(line)].spaceBSd;
  }
  f.fFirst = 0.0;
  f.fLast = 1.0;
  if (n == 0) return;
  mS /= n;
  mSd /= n;
  const double q = std::abs(mS / (mSd + 1));
  if (q == 0 || mS == 0) return;  // no space view to judge by
  auto score = [&](int line) {
    const auto& st = stats[std::size_t(line)];
    const double a = (std::abs(double(st.spaceB)) / (st.spaceBSd + 1)) / q;
    return std::sqrt(a) + (st.spaceB / mS) * (st.spaceB / mS);
  };
  int first = 0;
  while (first < h / 5 && score(first) <= 1.0) ++first;
  int last = h - 1;
  while (last > 4 * h / 5 && score(last) <= 1.0) --last;
  f.fFirst = double(first) / (h - 1);
  f.fLast = double(last) / (h - 1);
}

void PercentileLimits(TNoaaProcessing& job, const TIplImage& img, const TNoaaFrame& fr) {
  const int h = img.Height();
  auto histogram = [&](int x0, int x1, int y0, int y1) {
    std::vector<std::int64_t> c(65536, 0);
    for (int y = y0; y < y1; ++y) {
      const std::uint16_t* r = img.Row16(y);
      for (int x = std::max(0, x0); x < std::min(x1, img.Width()); ++x) ++c[r[x]];
    }
    return c;
  };
  auto low = [](const std::vector<std::int64_t>& c, std::int64_t total) {
    std::int64_t sum = 0;
    for (int v = 0; v < 65536; ++v)
      if ((sum += c[std::size_t(v)]) > total * 5 / 1000) return v;
    return 0;
  };
  const auto a = histogram(fr.imageAFirst, fr.imageAEnd, h / 5, 4 * h / 5);
  const auto b = histogram(fr.imageBFirst, fr.imageBEnd, h / 20, 19 * h / 20);
  std::int64_t ta = 0, tb = 0;
  for (int v = 0; v < 65536; ++v) {
    ta += a[std::size_t(v)];
    tb += b[std::size_t(v)];
  }
  auto& f = job.found;
  f.lowA = low(a, ta);
  f.lowB = low(b, tb);
  std::int64_t sum = 0;
  f.highA = 0;
  for (int v = 0; v < 65536; ++v)
    if ((sum += a[std::size_t(v)]) >= ta) {
      f.highA = v + 1;
      break;
    }
  sum = 0;
  f.highB = 0;
  for (int v = 0; v < 65536; ++v)
    if ((sum += b[std::size_t(v)]) > tb * 995 / 1000) {
      f.highB = v + 1;
      break;
    }
}

// The channel identification with noise factor nf; false when a wedge or
// the channel B space view has no usable line.
bool Identify(TNoaaProcessing& job, int nf, bool report) {
  const auto& stats = job.lineStats;
  auto& f = job.found;
  const int h = int(stats.size());
  const int p = f.wedgePhase, mm = job.minuteMarkerPhase;
  const int q0 = (p + 64) % 128;
  const int blocks = (h - 1 + 128 - q0) / 128 + 1;
  std::array<double, 16> sumA{}, sumB{};
  std::array<int, 16> cntA{}, cntB{};
  std::vector<double> blockSum(std::size_t(blocks), 0.0);
  std::vector<int> blockCnt(std::size_t(blocks), 0);
  double lowSum = 0, highSum = 0, bSum = 0;
  int lowCnt = 0, highCnt = 0, bCnt = 0;
  for (int line = 0; line < h; ++line) {
    const auto& st = stats[std::size_t(line)];
    const auto w = std::size_t((((line + 128 - p) / 8) + 8) % 16);
    const int block = (line + 128 - q0) / 128;
    if (f.twoVisible || st.spaceB > 4096) {
      if (st.telemetryASd < nf * kWedgeNoise[w]) {
        sumA[w] += st.telemetryA;
        ++cntA[w];
      }
      if (st.telemetryBSd < nf * kWedgeNoise[w]) {
        sumB[w] += st.telemetryB;
        ++cntB[w];
      }
    }
    const int mk = (line + 360 - mm) % 120;
    if (mk != 0 && mk != 1 && mk != 118 && mk != 119) {
      const bool dark = st.spaceA < 4096;
      if ((dark && st.spaceASd < 300 * nf) || (!dark && st.spaceASd < 2500 * nf) ||
          (block == 0 && !dark && st.spaceASd < 3000 * nf)) {
        blockSum[std::size_t(block)] += st.spaceA;
        ++blockCnt[std::size_t(block)];
        if (dark) {
          lowSum += st.spaceA;
          ++lowCnt;
        } else {
          highSum += st.spaceA;
          ++highCnt;
        }
      }
    }
    if (std::abs(line % 120 - mm) > 3 && st.spaceBSd < 500 * nf) {
      bSum += st.spaceB;
      ++bCnt;
    }
  }
  f.spaceALow = lowCnt ? lowSum / lowCnt : 16320;
  f.spaceAHigh = highCnt ? highSum / highCnt : 16320;
  f.spaceB = bCnt ? bSum / bCnt : 16320;

  // Channel A case from the space view of each frame-long block.
  std::vector<double> mean(std::size_t(blocks), 0.0);
  int firstBlock = -1, lastBlock = -1;
  for (int b = 0; b < blocks; ++b) {
    if (!blockCnt[std::size_t(b)]) continue;
    mean[std::size_t(b)] = blockSum[std::size_t(b)] / blockCnt[std::size_t(b)];
    if (firstBlock < 0) firstBlock = b;
    lastBlock = b;
  }
  f.switchLine = -1;
  bool anyWhite = false;
  for (int b = 0; b < blocks; ++b)
    anyWhite |= blockCnt[std::size_t(b)] && mean[std::size_t(b)] > 6144;
  if (anyWhite) {
    const bool whiteFirst = mean[std::size_t(firstBlock)] >= 6144;
    int end = firstBlock;
    for (int b = firstBlock; b <= lastBlock; ++b) {
      if (!blockCnt[std::size_t(b)]) continue;
      const double m = mean[std::size_t(b)];
      if (whiteFirst ? m < 6144 : m > 6144) break;
      end = b;
    }
    f.channelA = whiteFirst ? caSensor3Then2 : caSensor2Then3;
    f.switchLine = std::max(0, end * 128 + q0);
    if (f.switchLine > h - 1) {
      f.switchLine = -1;
      f.channelA = whiteFirst ? caAllSensor3 : caAllSensor2;
    }
  } else {
    const int mid = firstBlock < 0 ? 0 : (firstBlock + lastBlock) / 2;
    f.channelA = mean[std::size_t(mid)] >= 6144 ? caAllSensor3 : caAllSensor2;
  }
  if (f.twoVisible) {
    f.channelA = caAllSensor1;
    f.switchLine = -1;
  }

  for (std::size_t w = 0; w < 16; ++w) {
    f.wedgeA[w] = cntA[w] ? sumA[w] / cntA[w] : 0.0;
    f.wedgeB[w] = cntB[w] ? sumB[w] / cntB[w] : 0.0;
  }
  if (bCnt == 0) return false;
  for (std::size_t w = 0; w < 16; ++w)
    if (!cntA[w] || !cntB[w]) return false;

  auto sensor = [](const std::array<double, 16>& wedge) {
    int best = 1;
    for (int k = 2; k <= 6; ++k)
      if (std::abs(wedge[std::size_t(k - 1)] - wedge[15]) <
          std::abs(wedge[std::size_t(best - 1)] - wedge[15]))
        best = k;
    return best;
  };
  f.sensorA = sensor(f.wedgeA);
  f.sensorB = sensor(f.wedgeB);
  if (report) {
    Log(job, Format("NOAA: From wedge telemetry channel %s is AVHRR sensor %s", "A",
                    AvhrrSensorName(f.sensorA).c_str()));
    Log(job, Format("NOAA: From wedge telemetry channel %s is AVHRR sensor %s", "B",
                    AvhrrSensorName(f.sensorB).c_str()));
  }
  if (f.sensorA == 4) {
    f.channelA = caAllSensor4;
    f.switchLine = -1;
  }
  return true;
}

void WedgeCorrection(TNoaaProcessing& job) {
  auto& f = job.found;
  std::vector<double> x, y;
  for (std::size_t k = 1; k <= 8; ++k) {
    x.push_back((f.wedgeA[k - 1] + f.wedgeB[k - 1]) / 2.0);
    y.push_back(32.0 * double(k) - 1.0);
  }
  TVector c;
  double r = 0;
  try {
    PolyFit(x, y, 4, c, r);
    for (std::size_t i = 0; i < 4; ++i) f.wedge.c[i] = c[i];
  } catch (const EMathError&) {
    f.wedge = TWedgeCorrection();  // level / 64
  }
  std::string line = "NOAA:  Corrected wedge values:  ";
  for (std::size_t k = 0; k < 8; ++k) line += Format("%d ", f.wedge(f.wedgeA[k]));
  Log(job, line);
  Log(job, "NOAA:  Expected wedge values:  31 63 95 127 159 191 223 255");
}

void Calibrate(TNoaaProcessing& job, TSensor& sensor) {
  auto& f = job.found;
  for (std::size_t k = 0; k < 4; ++k) f.prt[k] = f.wedge((f.wedgeA[9 + k] + f.wedgeB[9 + k]) / 2.0);
  f.blackbodyTemperature = sensor.PrtTemperature(f.prt);
  Log(job, Format("NOAA: Blackbody PRT 8-bit values: [%d %d %d %d], temperature: %.1fK (%.1fC)",
                  f.prt[0], f.prt[1], f.prt[2], f.prt[3], f.blackbodyTemperature,
                  f.blackbodyTemperature - 273.15));
  const bool aThermal = f.channelA == caAllSensor4;
  f.blackbodyValue = f.wedge(aThermal ? f.wedgeA[14] : f.wedgeB[14]);
  f.spaceValue = f.wedge(aThermal ? f.spaceAHigh : f.spaceB);
  sensor.Calibrate(f.blackbodyValue, f.spaceValue, f.blackbodyTemperature);
  const double t = sensor.Temperature(f.blackbodyValue);
  Log(job, Format("NOAA: Blackbody value: %d, apparent temperature %.1fK (%.1fC)", f.blackbodyValue,
                  t, t - 273.15));
  Log(job, Format("NOAA: Channel A look-at-space (black) value: %d", f.wedge(f.spaceALow)));
  Log(job, Format("NOAA: Channel B look-at-space value: %d", f.spaceValue));
}

std::unique_ptr<TIplConvKernel> Kernel(int cols, int rows, int ax, int ay, int shift,
                                       std::vector<int> v) {
  return iplCreateConvKernel(cols, rows, ax, ay, std::move(v), shift);
}

std::unique_ptr<TIplConvKernel> SharpenKernel(bool large, TNoaaSharpen sharpen) {
  if (large) {
    switch (sharpen) {
      case nsNone:
        return Kernel(7, 1, 3, 0, 6, {4, -2, -2, 64, -2, -2, 4});
      case nsSharpen:
        return Kernel(7, 3, 3, 1, 6,
                      {0, 0, -2, -7, -2, 0, 0, 4, -4, -6, 96, -6, -4, 4, 0, 0, -2, -7, -2, 0, 0});
      case nsSharpenMore:
        return Kernel(7, 5, 3, 2, 5,
                      {0,  0,  0,  2, 0, 0,  0,  0,  0, -1, -7, -1, 0, 0, -3, -5, -7, 76,
                       -7, -5, -3, 0, 0, -1, -7, -1, 0, 0,  0,  0,  0, 2, 0,  0,  0});
    }
  }
  switch (sharpen) {
    case nsSharpen:
      return Kernel(5, 3, 2, 1, 6, {0, 0, -6, 0, 0, 4, -16, 100, -16, 4, 0, 0, -6, 0, 0});
    case nsSharpenMore:
      return Kernel(5, 3, 2, 1, 6, {-1, -2, -4, -2, -1, 0, -18, 120, -18, 0, -1, -2, -4, -2, -1});
    case nsNone:
      break;
  }
  return nullptr;
}

// Linear stretch, or clipped equalisation, of the target rectangle by the
// histogram of the source rectangle.
void Stretch(TIplImage& img, TIplROI source, TIplROI target, int minLow, bool equalise) {
  if (source.width <= 0 || source.height <= 0 || target.width <= 0 || target.height <= 0) return;
  TIplHistogram hist(65536);
  img.SetROI(source);
  iplComputeHisto(img, hist);
  auto& c = hist.counts;
  std::int64_t total = 0;
  for (int v = 1; v < 65536; ++v) total += c[std::size_t(v)];
  const std::int64_t lowCut = equalise ? total / 1000 : 2 * total / 1000;
  const auto highCut = static_cast<std::int64_t>(std::nearbyint(double(total) * 999 / 1000));
  int lo = 0, hi = 0, v = 1;
  std::int64_t sum = 0;
  for (; v < 65536; ++v)
    if ((sum += c[std::size_t(v)]) >= lowCut) {
      lo = v + 1;
      break;
    }
  for (++v; v < 65536; ++v)
    if ((sum += c[std::size_t(v)]) >= highCut) {
      hi = v + 1;
      break;
    }
  if (lo + 1 == hi) {
    lo = 0;
  } else {
    lo = std::max(lo, minLow);
    if (hi <= lo) hi = lo + 100;
  }
  lo = std::min(lo, 65535);
  hi = std::min(hi, 65535);
  for (int k = 0; k < lo; ++k) c[std::size_t(k)] = 0;
  for (int k = hi + 1; k < 65536; ++k) c[std::size_t(k)] = 0;
  if (equalise) {
    std::int64_t s = 0;
    for (int k = lo; k <= hi; ++k) s += c[std::size_t(k)];
    const std::int64_t cap = 3 * std::max<std::int64_t>(1, s / (hi + 1 - lo));
    for (int k = lo; k <= hi; ++k) c[std::size_t(k)] = std::min(c[std::size_t(k)], cap);
  } else {
    for (int k = lo; k <= hi; ++k) c[std::size_t(k)] = 1;
  }
  img.SetROI(target);
  iplHistoEqualize(img, img, hist);
  img.SetROI(std::nullopt);
}

void IlluminationRamp(TIplImage& img, int y0, int y1, int lowA, TIllumination ill) {
  if (ill == ilNone) return;
  const double a = ill == ilSlight ? 1.0 : 3.0;
  const int half = img.Width() / 2;
  const int x0 = half * 83 / 1040, x1 = half * 992 / 1040 - 1;
  for (int y = y0; y < y1; ++y) {
    std::uint16_t* r = img.Row16(y);
    for (int x = x0; x <= x1; ++x) {
      const double factor = 1.0 + a * (x - x1) / double(x0 - x1);
      const int v = RoundInt((r[x] - lowA) * factor + lowA);
      r[x] = std::uint16_t(std::clamp(v, lowA, 65535));
    }
  }
}

void ChannelStretch(TNoaaProcessing& job, TIplImage& img, int switchLine) {
  const auto& f = job.found;
  const int w = img.Width(), h = img.Height(), half = w / 2;
  const bool eq = job.equaliseHistogram;
  const int b0 = half + half * 96 / 1040, b1 = half + half * 995 / 1040;
  const TIplROI sourceB = iplCreateROI(b0, 0, b1 - b0, h);
  if (f.channelA == caAllSensor1) {
    Stretch(img, sourceB, iplCreateROI(0, 0, w, h), f.lowB, false);
    return;
  }
  const int a0 = half * 96 / 1040;
  if (switchLine < 3 || switchLine >= h - 3) {
    IlluminationRamp(img, 0, h, f.lowA, job.illumination);
    const int a1 = half * 995 / 1040;
    Stretch(img, iplCreateROI(a0, 0, a1 - a0, h), iplCreateROI(0, 0, half, h), f.lowA, eq);
  } else {
    const int a1 = half * 985 / 1040;
    const int split = switchLine + 1;  // first line of the second part
    if (f.channelA == caSensor2Then3)
      IlluminationRamp(img, 0, split, f.lowA, job.illumination);
    else
      IlluminationRamp(img, split, h, f.lowA, job.illumination);
    const int s1 = switchLine > 3 * h / 20 ? h / 20 : 0;
    Stretch(img, iplCreateROI(a0, s1, a1 - a0, split - s1), iplCreateROI(0, 0, half, split), f.lowA,
            eq);
    const int e2 = switchLine < 17 * h / 20 ? 19 * h / 20 : h;
    Stretch(img, iplCreateROI(a0, split, a1 - a0, e2 - split),
            iplCreateROI(0, split, half, h - split), f.lowA, eq);
  }
  Stretch(img, sourceB, iplCreateROI(half, 0, w - half, h), f.lowB, eq);
}

void WritePictures(TNoaaProcessing& job, const TIplImage& img, int first, int last) {
  std::vector<std::uint8_t> table(65536, 0);
  const double g = job.gamma > 0 ? job.gamma : 1.0;
  for (int i = 1; i < 65536; ++i)
    table[std::size_t(i)] = std::uint8_t(RoundInt(255.0 * std::pow(i / 65535.0, 1.0 / g)));
  const int half = img.Width() / 2;
  const int rows = last - first + 1;
  for (TExtBitmap* pic : {job.channelA, job.channelB}) {
    pic->SetPixelFormat(pf8bit);
    pic->SetPalette(GreyPalette(256));
    pic->SetSize(half, rows);
  }
  for (int r = 0; r < rows; ++r) {
    const std::uint16_t* src = img.Row16(first + r);
    const int out = job.rotate180 ? rows - 1 - r : r;
    std::uint8_t* pa = job.channelA->ScanLine(out);
    std::uint8_t* pb = job.channelB->ScanLine(out);
    for (int x = 0; x < half; ++x) {
      const int ox = job.rotate180 ? half - 1 - x : x;
      pa[ox] = table[src[x]];
      pb[ox] = table[src[half + x]];
    }
  }
  job.channelA->SetModified(true);
  job.channelB->SetModified(true);
}

}  // namespace

const char* ChannelAContentMessage(TChannelAContent content) {
  switch (content) {
    case caAllSensor1:
      return "NOAA: Chan A is all sensor 1";
    case caAllSensor2:
      return "NOAA: Chan A is all sensor 2";
    case caAllSensor3:
      return "NOAA: Chan A is all sensor 3";
    case caSensor2Then3:
      return "NOAA: Chan A is sensor 2 then sensor 3";
    case caSensor3Then2:
      return "NOAA: Chan A is sensor 3 then sensor 2";
    case caAllSensor4:
      return "NOAA: Chan A is all sensor 4";
  }
  return "";
}

std::string AvhrrSensorName(int sensor) {
  static const std::array<const char*, 6> names = {"1 (0.63um visible)",  "2 (0.86um visible)",
                                                   "3B (3.7um mid-IR)",   "4 (11um thermal IR)",
                                                   "5 (12um thermal IR)", "3A (1.6um near-IR)"};
  if (sensor >= 1 && sensor <= 6) return names[std::size_t(sensor - 1)];
  return std::to_string(sensor);
}

TNoaaFrame NoaaFrame(int w, int s) {
  TNoaaFrame f;
  f.syncStart = s;
  f.telemetryWidth = RoundInt(39.0 * w / 2080.0);
  f.spaceWidth = RoundInt(41.0 * w / 2080.0);
  const int e = 3 * 2 * w / 2080, u = 2 * w / 2080;
  // A sync found near the ends of its search range would put the strips
  // past the line; they are kept inside it.
  auto fit = [w](int start, int width) { return std::clamp(start, 0, std::max(0, w - width)); };
  f.telemetryA = fit(s - f.telemetryWidth - e + u, f.telemetryWidth);
  f.spaceB = fit(s + f.telemetryWidth + u, f.spaceWidth);
  f.telemetryB = fit(f.telemetryA + w / 2, f.telemetryWidth);
  f.spaceA = fit(f.spaceB - w / 2, f.spaceWidth);
  f.imageAFirst = f.spaceA + f.spaceWidth + e;
  f.imageAEnd = f.telemetryA - e;
  f.imageBFirst = f.spaceB + f.spaceWidth + e;
  f.imageBEnd = f.telemetryB - e;
  return f;
}

bool ProcessNOAA(TNoaaProcessing& job) {
  job.lineStats.clear();
  job.resampled.reset();
  job.found = TNoaaFindings();
  for (TExtBitmap* pic : {job.channelA, job.channelB})
    if (pic) pic->SetSize(0, 0);
  const TIplImage* input = job.image;
  if (!input || input->Width() == 0 || input->Height() < 192 || !job.channelA || !job.channelB ||
      input->Depth() != idDepth16u)
    return false;
  auto& f = job.found;

  // Input resample to the standard line width.
  Progress(job, "NOAA input resample", 1);
  const int w = job.largeImage ? 3120 : 2080;
  int h = input->Height();
  auto img = iplCreateImage(w, h, idDepth16u);
  if (w <= input->Width())
    iplDecimate(*input, *img, w, input->Width(), 1, 1, iiCubic);
  else
    iplZoom(*input, *img, w, input->Width(), 1, 1, iiCubic);

  // Align the line on the channel B sync.
  std::int64_t range = 0;
  auto profile = ColumnProfile(*img, range);
  int s = SearchSync(profile, range);
  if (s >= 0 && std::abs(s - w / 2) > 10) {
    const int d = w / 2 - s - 3;
    if (d != 0 && std::abs(d) <= 200) {
      MoveImage(*img, d);
      f.moved = d;
      Log(job, d > 0 ? Format("NOAA: Moving internal image %d pixels right.", d)
                     : Format("NOAA: Moving internal image %d pixels left.", -d));
    }
    profile = ColumnProfile(*img, range);
    s = SearchSync(profile, range);
  }
  f.syncStart = s;
  if (s <= 19 * w / 40) return false;
  if (job.keepResampled) job.resampled = iplCloneImage(*img);
  const TNoaaFrame fr = NoaaFrame(w, s);

  if (job.frameMarkers) {
    for (int y = 0; y < h; ++y) {
      std::uint16_t* r = img->Row16(y);
      auto mark = [&](int x, int period) {
        if (x >= 0 && x < w) r[x] = ((y / period) % 2) ? 14336 : 2048;
      };
      for (int x : {fr.imageAFirst, fr.imageAEnd, fr.imageBFirst, fr.imageBEnd}) mark(x, 2);
      for (int x : {fr.telemetryA, fr.telemetryA + fr.telemetryWidth, fr.telemetryB,
                    fr.telemetryB + fr.telemetryWidth})
        mark(x, 4);
      for (int x : {fr.spaceA, fr.spaceA + fr.spaceWidth, fr.spaceB, fr.spaceB + fr.spaceWidth})
        mark(x, 6);
    }
  }

  // Telemetry and space strips, line by line.
  Progress(job, "NOAA telemetry analysis", 40);
  job.lineStats.assign(std::size_t(h), NoaaLineStats());
  double sumSpaceA = 0, sumSpaceB = 0;
  std::int64_t sumTelemetry = 0;
  for (int y = 0; y < h; ++y) {
    auto& st = job.lineStats[std::size_t(y)];
    const std::uint16_t* r = img->Row16(y);
    MeanSd(r, fr.spaceA, fr.spaceWidth, st.spaceA, st.spaceASd);
    MeanSd(r, fr.telemetryA, fr.telemetryWidth, st.telemetryA, st.telemetryASd);
    MeanSd(r, fr.spaceB, fr.spaceWidth, st.spaceB, st.spaceBSd);
    MeanSd(r, fr.telemetryB, fr.telemetryWidth, st.telemetryB, st.telemetryBSd);
    sumSpaceA += st.spaceA;
    sumSpaceB += st.spaceB;
    sumTelemetry += st.telemetryA + st.telemetryB;
  }
  const std::int64_t mT = (sumTelemetry / (2 * std::int64_t(h))) * 2 / 3;
  f.twoVisible = double(mT) > sumSpaceA / h && double(mT) > sumSpaceB / h;
  if (f.twoVisible) Log(job, "NOAA: Detected 2 visible channels in this image");

  // Telemetry frame and minute-marker phases.
  {
    std::vector<std::int64_t> acc(128, 0);
    for (int y = 0; y < 128 * (h / 128); ++y) {
      const auto& st = job.lineStats[std::size_t(y)];
      acc[std::size_t(y % 128)] += st.telemetryA + st.telemetryB;
    }
    f.wedgePhase = Phase(acc, false);
    std::vector<std::int64_t> minute(120, 0);
    for (int y = 0; y < 120 * (h / 120); ++y) {
      const auto& st = job.lineStats[std::size_t(y)];
      minute[std::size_t(y % 120)] += st.spaceA + st.spaceB;
    }
    job.minuteMarkerPhase = Phase(minute, true);
  }

  BlackLevel(job, range);
  Gain(job);
  Normalise(job, *img);
  CleanLines(job);
  PercentileLimits(job, *img, fr);

  if (job.largeImage) {
    Progress(job, "NOAA interpolation", 50);
    const int tall = 3 * h / 2;
    auto stretched = iplCreateImage(w, tall, idDepth16u);
    iplZoom(*img, *stretched, 1, 1, tall, h, iiLinear);
    img = std::move(stretched);
  }
  const int analysedLines = h;
  h = img->Height();

  // Channel identification. Without a false-colour picture it only fixes
  // the channel A case for the stretch, silently.
  const bool colour = job.falseColour != nullptr;
  f.identified = Identify(job, 1, colour) || Identify(job, 3, colour);
  std::unique_ptr<TIplImage> temperatures;
  TSensor spareSensor;
  TSensor& sensor = job.sensor ? *job.sensor : spareSensor;
  if (colour && f.identified) {
    Log(job, ChannelAContentMessage(f.channelA));
    Log(job, Format("NOAA: Channel switch line: %d", f.switchLine));
    Progress(job, "NOAA false-colour", 70);
    WedgeCorrection(job);
    Calibrate(job, sensor);
    if (f.channelA != caAllSensor1) {  // smoothed straight into a picture of its own
      temperatures = iplCreateImage(img->Width(), img->Height(), idDepth16u);
      const auto smooth = Kernel(3, 3, 1, 1, 3, {0, 1, 0, 1, 4, 1, 0, 1, 0});
      iplConvolve2D(*img, *temperatures, smooth.get());
    } else {
      temperatures = iplCloneImage(*img);
    }
  }

  if (const auto kernel = SharpenKernel(job.largeImage, job.sharpen))
    iplConvolve2D(*img, *img, kernel.get());

  if (f.channelA != caAllSensor3) f.lowA = RoundInt(f.spaceALow);

  // Channel split.
  Progress(job, "NOAA channel split", 80);
  // The clean lines come and go in analysed lines, so that a picture made
  // again at another height keeps the same part of the pass.
  int first = int(std::int64_t(job.firstCleanLine) * h / analysedLines);
  int last =
      job.lastCleanLine == 0 ? 0 : int(std::int64_t(job.lastCleanLine + 1) * h / analysedLines) - 1;
  if (job.cropNoise || first != 0 || last != 0) {
    if (first == 0) first = RoundInt((h - 1) * f.fFirst);
    if (last == 0) last = RoundInt((h - 1) * f.fLast);
    Log(job, Format("NOAA: Noise crop:  first clean: %d  last: %d  (total height: %d lines)", first,
                    last, h));
  }
  // Lines handed back from an earlier picture may not fit this one.
  first = std::clamp(first, 0, h - 1);
  if (last != 0) last = std::clamp(last, first, h - 1);
  job.firstCleanLine = int(std::int64_t(first) * analysedLines / h);
  job.lastCleanLine = last == 0 ? 0 : int(std::int64_t(last + 1) * analysedLines / h) - 1;
  // The switch line counts analysed lines; the picture may be taller.
  int switchRow = f.switchLine < 0 ? -1 : int(std::int64_t(f.switchLine) * h / analysedLines);
  if (switchRow >= 0 && first > switchRow) {
    if (f.channelA == caSensor2Then3) f.channelA = caAllSensor3;
    if (f.channelA == caSensor3Then2) f.channelA = caAllSensor2;
    switchRow = -1;
  }
  if (switchRow >= 0 && last != 0 && last < switchRow) {
    if (f.channelA == caSensor2Then3) f.channelA = caAllSensor2;
    if (f.channelA == caSensor3Then2) f.channelA = caAllSensor3;
    switchRow = -1;
  }
  ChannelStretch(job, *img, switchRow);
  WritePictures(job, *img, first, last != 0 ? last : h - 1);
  img.reset();

  if (colour && f.identified) {
    if (f.channelA == caAllSensor1) {
      VisiblePairColouring(*job.channelA, *job.channelB, *job.falseColour, job.greenVegetation);
    } else {
      TThermalFalseColour tf;
      const bool fromA = f.channelA == caAllSensor4;
      const bool brightB = !fromA && (job.luminanceFromIR || f.channelA == caAllSensor3);
      tf.brightness = brightB ? job.channelB : job.channelA;
      tf.temperatures = temperatures.get();
      tf.firstCleanLine = first;
      tf.temperaturesFromChannelA = fromA;
      tf.wedge = f.wedge;
      tf.sensor = &sensor;
      tf.lookup = job.tempToColourLookup;
      tf.rotate180 = job.rotate180;
      tf.falseColour = job.falseColour;
      tf.irPicture = job.irPicture;
      tf.celsius = job.celsius;
      ThermalFalseColour(tf);
    }
  }
  Progress(job, "NOAA complete", 100);
  return true;
}

}  // namespace vivurozed
