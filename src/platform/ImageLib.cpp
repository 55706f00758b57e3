#include "platform/ImageLib.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace vivurozed {

namespace {

constexpr std::int64_t kMaxImageBytes = std::int64_t(1) << 31;

int MaxValue(TIplDepth depth) {
  return depth == idDepth16u ? 65535 : 255;
}

void RequireSameFormat(const TIplImage& a, const TIplImage& b, const char* what) {
  if (a.Depth() != b.Depth() || a.Channels() != b.Channels())
    throw EImageError(std::string(what) + ": source and destination formats differ");
}

void RequireSameSize(const TIplROI& a, const TIplROI& b, const char* what) {
  if (a.width != b.width || a.height != b.height)
    throw EImageError(std::string(what) + ": source and destination regions differ in size");
}

// Round to nearest, halves to even, then clamp to 0 .. maxValue.
inline int RoundClamp(double v, int maxValue) {
  const double r = std::nearbyint(v);
  if (!(r > 0)) return 0;  // also NaN
  return r >= maxValue ? maxValue : int(r);
}

// ---- resampling -------------------------------------------------------------

// For each output index, the input indices that contribute and their weights
// (summing to 1).
struct AxisTaps {
  std::vector<int> first;  // per output: offset into index/weight, size n+1
  std::vector<int> index;
  std::vector<double> weight;
  void Add(int i, double w) {
    index.push_back(i);
    weight.push_back(w);
  }
};

AxisTaps BuildAxis(int nIn, int nOut, std::int64_t num, std::int64_t den, TIplInterpolation mode) {
  AxisTaps t;
  t.first.reserve(std::size_t(nOut) + 1);
  auto clampIn = [nIn](std::int64_t j) { return int(std::clamp<std::int64_t>(j, 0, nIn - 1)); };
  for (int i = 0; i < nOut; ++i) {
    t.first.push_back(int(t.index.size()));
    // Centre of output pixel i in input coordinates: ((2i+1)den - num) / 2num.
    const double u = double((2 * std::int64_t(i) + 1) * den - num) / double(2 * num);
    switch (mode) {
      case iiNearest:
        t.Add(clampIn((2 * std::int64_t(i) + 1) * den / (2 * num)), 1.0);
        break;
      case iiLinear: {
        const double uc = std::clamp(u, 0.0, double(nIn - 1));
        const int j = int(std::floor(uc));
        const double f = uc - j;
        if (j >= nIn - 1 || f == 0.0) {
          t.Add(j, 1.0);
        } else {
          t.Add(j, 1.0 - f);
          t.Add(j + 1, f);
        }
        break;
      }
      case iiCubic: {
        const double jf = std::floor(u);
        const double f = u - jf;
        const std::int64_t j = std::int64_t(jf);
        const double f2 = f * f, f3 = f2 * f;
        const double w[4] = {(-f3 + 2 * f2 - f) / 2, (3 * f3 - 5 * f2 + 2) / 2,
                             (-3 * f3 + 4 * f2 + f) / 2, (f3 - f2) / 2};
        for (int k = 0; k < 4; ++k)
          if (w[k] != 0.0) t.Add(clampIn(j - 1 + k), w[k]);
        break;
      }
      case iiSuper: {
        // Output i spans [i den, (i+1) den), input j spans [j num, (j+1) num).
        const std::int64_t lo = std::int64_t(i) * den, hi = lo + den;
        for (std::int64_t j = lo / num; j * num < hi && j < nIn; ++j) {
          const std::int64_t overlap = std::min(hi, (j + 1) * num) - std::max(lo, j * num);
          if (overlap > 0) t.Add(int(j), double(overlap) / double(den));
        }
        break;
      }
    }
  }
  t.first.push_back(int(t.index.size()));
  return t;
}

// Whether every output index takes exactly input index i with weight 1.
bool IsIdentity(const AxisTaps& t) {
  for (std::size_t i = 0; i + 1 < t.first.size(); ++i)
    if (t.first[i + 1] - t.first[i] != 1 || t.index[t.first[i]] != int(i) ||
        t.weight[t.first[i]] != 1.0)
      return false;
  return true;
}

template <typename T>
void ResampleRow(const T* in, double* out, int outW, int ch, const AxisTaps& ax) {
  for (int x = 0; x < outW; ++x) {
    for (int c = 0; c < ch; ++c) {
      double acc = 0;
      for (int k = ax.first[x]; k < ax.first[x + 1]; ++k)
        acc += ax.weight[k] * in[std::size_t(ax.index[k]) * ch + c];
      out[std::size_t(x) * ch + c] = acc;
    }
  }
}

template <typename T>
void ResampleTyped(const TIplImage& src, TIplImage& dst, const TIplROI& s, const TIplROI& d,
                   int outW, int outH, const AxisTaps& ax, const AxisTaps& ay) {
  const int ch = src.Channels();
  const int maxValue = MaxValue(src.Depth());
  const std::size_t tmpStride = std::size_t(outW) * ch;
  auto input = [&](int y) {
    return reinterpret_cast<const T*>(src.Row8(s.y + y)) + std::size_t(s.x) * ch;
  };
  auto output = [&](int y) {
    return reinterpret_cast<T*>(dst.Row8(d.y + y)) + std::size_t(d.x) * ch;
  };
  std::vector<double> row(tmpStride);
  if (IsIdentity(ay)) {  // rows kept: resample across straight into place
    for (int y = 0; y < outH; ++y) {
      ResampleRow(input(y), row.data(), outW, ch, ax);
      T* out = output(y);
      for (std::size_t i = 0; i < tmpStride; ++i) out[i] = T(RoundClamp(row[i], maxValue));
    }
    return;
  }
  // Rows resampled across on demand into a ring holding the widest span of
  // input rows one output row reads, then combined down.
  int span = 1;
  for (int y = 0; y < outH; ++y) {
    const auto [lo, hi] =
        std::minmax_element(ay.index.begin() + ay.first[y], ay.index.begin() + ay.first[y + 1]);
    span = std::max(span, *hi - *lo + 1);
  }
  std::vector<double> ring(tmpStride * std::size_t(span));
  std::vector<int> held(std::size_t(span), -1);
  for (int y = 0; y < outH; ++y) {
    std::fill(row.begin(), row.end(), 0.0);
    for (int k = ay.first[y]; k < ay.first[y + 1]; ++k) {
      const int j = ay.index[k];
      const std::size_t slot = std::size_t(j % span);
      double* in = ring.data() + tmpStride * slot;
      if (held[slot] != j) {
        ResampleRow(input(j), in, outW, ch, ax);
        held[slot] = j;
      }
      const double w = ay.weight[k];
      for (std::size_t i = 0; i < tmpStride; ++i) row[i] += w * in[i];
    }
    T* out = output(y);
    for (std::size_t i = 0; i < tmpStride; ++i) out[i] = T(RoundClamp(row[i], maxValue));
  }
}

void Resample(const TIplImage& src, TIplImage& dst, int xDst, int xSrc, int yDst, int ySrc,
              TIplInterpolation mode, const char* what) {
  RequireSameFormat(src, dst, what);
  // Source rows are read while destination rows are written.
  if (&src == &dst) throw EImageError(std::string(what) + ": source and destination are one image");
  if (xDst <= 0 || xSrc <= 0 || yDst <= 0 || ySrc <= 0)
    throw EImageError(std::string(what) + ": ratios must be positive");
  if (mode > iiSuper) throw EImageError(std::string(what) + ": unknown interpolation");
  const TIplROI s = src.Rect(), d = dst.Rect();
  const int outW = int(std::min<std::int64_t>(d.width, std::int64_t(s.width) * xDst / xSrc));
  const int outH = int(std::min<std::int64_t>(d.height, std::int64_t(s.height) * yDst / ySrc));
  if (outW <= 0 || outH <= 0) return;
  if (xDst == xSrc && yDst == ySrc) {  // every mode reproduces the source
    const int bpp = src.BytesPerPixel();
    for (int y = 0; y < outH; ++y)
      std::memmove(dst.Row8(d.y + y) + std::size_t(d.x) * bpp,
                   src.Row8(s.y + y) + std::size_t(s.x) * bpp, std::size_t(outW) * bpp);
    return;
  }
  const AxisTaps ax = BuildAxis(s.width, outW, xDst, xSrc, mode);
  const AxisTaps ay = BuildAxis(s.height, outH, yDst, ySrc, mode);
  if (src.Depth() == idDepth16u)
    ResampleTyped<std::uint16_t>(src, dst, s, d, outW, outH, ax, ay);
  else
    ResampleTyped<std::uint8_t>(src, dst, s, d, outW, outH, ax, ay);
}

// ---- convolution -------------------------------------------------------------

template <typename T, typename Acc>
void ConvolveTyped(const TIplImage& src, TIplImage& dst, const TIplROI& s, const TIplROI& d,
                   const TIplConvKernel& k) {
  const int ch = src.Channels();
  const int maxValue = MaxValue(src.Depth());
  const int padW = s.width + k.nCols - 1;
  const std::size_t padStride = std::size_t(padW) * ch;
  // The kernel's rows of the source neighbourhood, with the image's edge
  // pixels repeated outwards, in a ring. Source row y + r - anchorY is read
  // before output row y is written and is never above it, so in place (one
  // image, one region) the ring always holds rows not yet overwritten.
  std::vector<std::int32_t> ring(padStride * std::size_t(k.nRows));
  std::vector<int> col(padW);
  for (int x = 0; x < padW; ++x) col[x] = std::clamp(s.x + x - k.anchorX, 0, src.Width() - 1);
  // Padded columns lo .. hi - 1 lie inside the image: a straight run.
  const int lo = std::min(padW, std::max(0, k.anchorX - s.x));
  const int hi = std::max(lo, std::min(padW, src.Width() - s.x + k.anchorX));
  auto load = [&](int p) {  // padded row p, p = 0 at anchorY rows above the region
    const int sy = std::clamp(s.y + p - k.anchorY, 0, src.Height() - 1);
    const T* in = reinterpret_cast<const T*>(src.Row8(sy));
    std::int32_t* out = ring.data() + padStride * std::size_t(p % k.nRows);
    auto edge = [&](int x) {
      for (int c = 0; c < ch; ++c) out[std::size_t(x) * ch + c] = in[std::size_t(col[x]) * ch + c];
    };
    for (int x = 0; x < lo; ++x) edge(x);
    const T* run = in + std::size_t(s.x + lo - k.anchorX) * ch;
    const std::size_t count = std::size_t(hi - lo) * ch;
    std::int32_t* to = out + std::size_t(lo) * ch;
    for (std::size_t i = 0; i < count; ++i) to[i] = run[i];
    for (int x = hi; x < padW; ++x) edge(x);
  };
  for (int p = 0; p < k.nRows - 1; ++p) load(p);
  const std::size_t n = std::size_t(s.width) * ch;
  std::vector<Acc> acc(n);
  for (int y = 0; y < s.height; ++y) {
    load(y + k.nRows - 1);
    std::fill(acc.begin(), acc.end(), 0);
    for (int r = 0; r < k.nRows; ++r) {
      const std::int32_t* in = ring.data() + padStride * std::size_t((y + r) % k.nRows);
      for (int c = 0; c < k.nCols; ++c) {
        const Acc v = k.values[std::size_t(r) * k.nCols + c];
        if (v == 0) continue;
        const std::int32_t* p = in + std::size_t(c) * ch;
        for (std::size_t i = 0; i < n; ++i) acc[i] += v * p[i];
      }
    }
    T* out = reinterpret_cast<T*>(dst.Row8(d.y + y)) + std::size_t(d.x) * ch;
    for (std::size_t i = 0; i < n; ++i) {
      const Acc v = acc[i] < 0 ? 0 : Acc(acc[i] >> k.shiftR);
      out[i] = T(v > maxValue ? maxValue : v);
    }
  }
}

// ---- histograms ------------------------------------------------------------

template <typename T>
void CountTyped(const TIplImage& src, const TIplROI& s, TIplHistogram& hist) {
  const std::size_t levels = hist.counts.size();
  for (int y = 0; y < s.height; ++y) {
    const T* in = reinterpret_cast<const T*>(src.Row8(s.y + y)) + s.x;
    for (int x = 0; x < s.width; ++x)
      if (std::size_t(in[x]) < levels) ++hist.counts[in[x]];
  }
}

template <typename T>
void MapTyped(const TIplImage& src, TIplImage& dst, const TIplROI& s, const TIplROI& d,
              const std::vector<T>& lut) {
  for (int y = 0; y < s.height; ++y) {
    const T* in = reinterpret_cast<const T*>(src.Row8(s.y + y)) + s.x;
    T* out = reinterpret_cast<T*>(dst.Row8(d.y + y)) + d.x;
    for (int x = 0; x < s.width; ++x) out[x] = lut[in[x]];
  }
}

template <typename T>
void EqualizeTyped(const TIplImage& src, TIplImage& dst, const TIplROI& s, const TIplROI& d,
                   const TIplHistogram& hist) {
  const int maxValue = MaxValue(src.Depth());
  const int levels = std::min(hist.Levels(), maxValue + 1);
  std::int64_t total = 0, first = -1;
  int occupied = 0;
  for (int v = 0; v < levels; ++v) {
    const std::int64_t c = std::max<std::int64_t>(hist.counts[v], 0);
    if (c == 0) continue;
    if (first < 0) first = c;
    total += c;
    ++occupied;
  }
  std::vector<T> lut(std::size_t(maxValue) + 1, T(maxValue));
  if (occupied < 2) {
    for (int v = 0; v <= maxValue; ++v) lut[v] = T(v);
  } else {
    const double scale = double(maxValue) / double(total - first);
    std::int64_t cum = 0;
    for (int v = 0; v < levels; ++v) {
      cum += std::max<std::int64_t>(hist.counts[v], 0);
      lut[v] = T(RoundClamp(double(std::max<std::int64_t>(cum - first, 0)) * scale, maxValue));
    }
  }
  MapTyped<T>(src, dst, s, d, lut);
}

}  // namespace

// ---- the image ---------------------------------------------------------------

TIplImage::TIplImage(int width, int height, TIplDepth depth, int channels)
    : width_(width), height_(height), depth_(depth), channels_(channels) {
  if (width < 0 || height < 0) throw EImageError("Image size must not be negative");
  if (depth != idDepth8u && depth != idDepth16u) throw EImageError("Unsupported image depth");
  if (channels != 1 && (channels != 3 || depth != idDepth8u))
    throw EImageError("Unsupported channel count for this depth");
  const std::int64_t rowBytes = std::int64_t(width) * BytesPerPixel();
  const std::int64_t step = (rowBytes + 7) / 8 * 8;
  if (step * height > kMaxImageBytes) throw EImageError("Image too large");
  widthStep_ = int(step);
  data_ = TPixelStore(std::size_t(step * height));
}

void TIplImage::Crop(int width, int height) {
  if (width < 0 || height < 0 || width > width_ || height > height_)
    throw EImageError("Crop: size outside the image");
  const int step = int((std::int64_t(width) * BytesPerPixel() + 7) / 8 * 8);
  // Each row moves to a lower address, so rows are moved from the top down;
  // the padding after the kept pixels is cleared as a new image's would be.
  if (step != widthStep_) {
    const std::size_t used = std::size_t(width) * BytesPerPixel();
    for (int y = 0; y < height; ++y) {
      std::uint8_t* to = data_.Data() + std::size_t(y) * step;
      std::memmove(to, Row8(y), used);
      std::memset(to + used, 0, std::size_t(step) - used);
    }
  }
  data_.Shrink(std::size_t(step) * height);
  width_ = width;
  height_ = height;
  widthStep_ = step;
  roi_.reset();
}

TIplROI TIplImage::Rect() const {
  if (!roi_) return {0, 0, width_, height_};
  const int x0 = std::clamp(roi_->x, 0, width_), y0 = std::clamp(roi_->y, 0, height_);
  const std::int64_t x1 = std::clamp<std::int64_t>(std::int64_t(roi_->x) + roi_->width, x0, width_);
  const std::int64_t y1 =
      std::clamp<std::int64_t>(std::int64_t(roi_->y) + roi_->height, y0, height_);
  return {x0, y0, int(x1 - x0), int(y1 - y0)};
}

void TIplImage::Fill(int value) {
  const int v = std::clamp(value, 0, MaxValue(depth_));
  if (depth_ == idDepth8u) {
    std::fill_n(data_.Data(), data_.Size(), std::uint8_t(v));
  } else {
    for (int y = 0; y < height_; ++y) std::fill_n(Row16(y), width_, std::uint16_t(v));
  }
}

std::unique_ptr<TIplImage> iplCreateImage(int width, int height, TIplDepth depth, int channels) {
  return std::make_unique<TIplImage>(width, height, depth, channels);
}

std::unique_ptr<TIplImage> iplCloneImage(const TIplImage& src) {
  return std::make_unique<TIplImage>(src);
}

TIplROI iplCreateROI(int x, int y, int width, int height) {
  return {x, y, width, height};
}

void iplCopy(const TIplImage& src, TIplImage& dst) {
  RequireSameFormat(src, dst, "iplCopy");
  const TIplROI s = src.Rect(), d = dst.Rect();
  const int w = std::min(s.width, d.width), h = std::min(s.height, d.height);
  if (w <= 0 || h <= 0) return;
  const int bpp = src.BytesPerPixel();
  for (int y = 0; y < h; ++y)
    std::memmove(dst.Row8(d.y + y) + std::size_t(d.x) * bpp,
                 src.Row8(s.y + y) + std::size_t(s.x) * bpp, std::size_t(w) * bpp);
}

void iplDecimate(const TIplImage& src, TIplImage& dst, int xDst, int xSrc, int yDst, int ySrc,
                 TIplInterpolation interpolation) {
  if (xDst > xSrc || yDst > ySrc) throw EImageError("iplDecimate: a ratio enlarges");
  Resample(src, dst, xDst, xSrc, yDst, ySrc, interpolation, "iplDecimate");
}

void iplZoom(const TIplImage& src, TIplImage& dst, int xDst, int xSrc, int yDst, int ySrc,
             TIplInterpolation interpolation) {
  if (xDst < xSrc || yDst < ySrc) throw EImageError("iplZoom: a ratio reduces");
  Resample(src, dst, xDst, xSrc, yDst, ySrc, interpolation, "iplZoom");
}

void iplMirror(const TIplImage& src, TIplImage& dst, TIplMirrorAxis axis) {
  RequireSameFormat(src, dst, "iplMirror");
  const TIplROI s = src.Rect(), d = dst.Rect();
  RequireSameSize(s, d, "iplMirror");
  if (axis != maTopBottom && axis != maLeftRight && axis != maBoth)
    throw EImageError("iplMirror: unknown axis");
  std::unique_ptr<TIplImage> copy;
  const TIplImage* from = &src;
  if (&src == &dst) {
    copy = iplCloneImage(src);
    from = copy.get();
  }
  const int bpp = src.BytesPerPixel();
  const bool flipRows = axis != maLeftRight, flipCols = axis != maTopBottom;
  for (int y = 0; y < s.height; ++y) {
    const std::uint8_t* in =
        from->Row8(flipRows ? s.y + s.height - 1 - y : s.y + y) + std::size_t(s.x) * bpp;
    std::uint8_t* out = dst.Row8(d.y + y) + std::size_t(d.x) * bpp;
    if (!flipCols) {
      std::memcpy(out, in, std::size_t(s.width) * bpp);
      continue;
    }
    for (int x = 0; x < s.width; ++x)
      std::memcpy(out + std::size_t(x) * bpp, in + std::size_t(s.width - 1 - x) * bpp,
                  std::size_t(bpp));
  }
}

std::unique_ptr<TIplConvKernel> iplCreateConvKernel(int nCols, int nRows, int anchorX, int anchorY,
                                                    std::vector<int> values, int shiftR) {
  if (nCols <= 0 || nRows <= 0 || nCols > 64 || nRows > 64)
    throw EImageError("Kernel size must be 1 to 64 in each direction");
  if (anchorX < 0 || anchorX >= nCols || anchorY < 0 || anchorY >= nRows)
    throw EImageError("Kernel anchor lies outside the kernel");
  if (shiftR < 0 || shiftR > 31) throw EImageError("Kernel shift must be 0 to 31");
  if (values.size() != std::size_t(nCols) * std::size_t(nRows))
    throw EImageError("Kernel value count does not match its size");
  for (int v : values)
    if (v < -65535 || v > 65535) throw EImageError("Kernel value out of range");
  auto k = std::make_unique<TIplConvKernel>();
  k->nCols = nCols;
  k->nRows = nRows;
  k->anchorX = anchorX;
  k->anchorY = anchorY;
  k->shiftR = shiftR;
  k->values = std::move(values);
  return k;
}

void iplConvolve2D(const TIplImage& src, TIplImage& dst, const TIplConvKernel* kernel) {
  if (!kernel) return;
  RequireSameFormat(src, dst, "iplConvolve2D");
  const TIplROI s = src.Rect(), d = dst.Rect();
  RequireSameSize(s, d, "iplConvolve2D");
  const TIplConvKernel& k = *kernel;
  if (k.nCols <= 0 || k.nRows <= 0 || k.anchorX < 0 || k.anchorX >= k.nCols || k.anchorY < 0 ||
      k.anchorY >= k.nRows || k.shiftR < 0 || k.shiftR > 62 ||
      k.values.size() != std::size_t(k.nCols) * std::size_t(k.nRows))
    throw EImageError("iplConvolve2D: malformed kernel");
  if (s.width == 0 || s.height == 0) return;
  // Narrow sums run several times faster where no sum can overflow them.
  std::int64_t weight = 0;
  for (int v : k.values) weight += std::abs(v);
  const bool narrow = weight * MaxValue(src.Depth()) <= INT32_MAX && k.shiftR < 31;
  if (src.Depth() == idDepth16u) {
    if (narrow)
      ConvolveTyped<std::uint16_t, std::int32_t>(src, dst, s, d, k);
    else
      ConvolveTyped<std::uint16_t, std::int64_t>(src, dst, s, d, k);
  } else {
    if (narrow)
      ConvolveTyped<std::uint8_t, std::int32_t>(src, dst, s, d, k);
    else
      ConvolveTyped<std::uint8_t, std::int64_t>(src, dst, s, d, k);
  }
}

void iplComputeHisto(const TIplImage& src, TIplHistogram& hist) {
  if (src.Channels() != 1) throw EImageError("iplComputeHisto: one channel only");
  std::fill(hist.counts.begin(), hist.counts.end(), 0);
  const TIplROI s = src.Rect();
  if (src.Depth() == idDepth16u)
    CountTyped<std::uint16_t>(src, s, hist);
  else
    CountTyped<std::uint8_t>(src, s, hist);
}

void iplHistoEqualize(const TIplImage& src, TIplImage& dst, const TIplHistogram& hist) {
  if (src.Channels() != 1) throw EImageError("iplHistoEqualize: one channel only");
  RequireSameFormat(src, dst, "iplHistoEqualize");
  const TIplROI s = src.Rect(), d = dst.Rect();
  RequireSameSize(s, d, "iplHistoEqualize");
  if (src.Depth() == idDepth16u)
    EqualizeTyped<std::uint16_t>(src, dst, s, d, hist);
  else
    EqualizeTyped<std::uint8_t>(src, dst, s, d, hist);
}

}  // namespace vivurozed
