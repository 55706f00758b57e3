#include "platform/VectorLib.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace vivurozed::vec {

namespace {

constexpr double kPi = std::numbers::pi;

// In-place iterative radix-2 FFT; size must be a power of two.
void Fft(std::vector<std::complex<double>>& a, bool inverse) {
  const std::size_t n = a.size();
  for (std::size_t i = 1, j = 0; i < n; ++i) {
    std::size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (std::size_t len = 2; len <= n; len <<= 1) {
    const double angle = 2 * kPi / static_cast<double>(len) * (inverse ? 1 : -1);
    const std::complex<double> step(std::cos(angle), std::sin(angle));
    std::vector<std::complex<double>> twiddle(len / 2);
    std::complex<double> w(1, 0);
    for (auto& t : twiddle) {
      t = w;
      w *= step;
    }
    for (std::size_t i = 0; i < n; i += len) {
      for (std::size_t k = 0; k < len / 2; ++k) {
        const auto u = a[i + k];
        const auto v = a[i + k + len / 2] * twiddle[k];
        a[i + k] = u + v;
        a[i + k + len / 2] = u - v;
      }
    }
  }
}

template <typename F>
void ApplyWindow(std::span<float> v, F weight) {
  const std::size_t n = v.size();
  if (n < 2) return;  // a window of one point is the point itself
  const double m = static_cast<double>(n - 1);
  for (std::size_t k = 0; k < n; ++k) v[k] = static_cast<float>(v[k] * weight(k / m));
}

}  // namespace

FirState::FirState(std::span<const float> taps) {
  Init(taps);
}

void FirState::Init(std::span<const float> taps) {
  reversed_.assign(taps.rbegin(), taps.rend());
  history_.assign(taps.empty() ? 0 : taps.size() - 1, 0.0f);
}

void FirState::Reset() {
  std::fill(history_.begin(), history_.end(), 0.0f);  // the past and the room after it
}

namespace {

// The input filter is the largest single cost of a decode: built for AVX2
// as well where the processor has it (same operations in the same order, so
// the same results). Each output still sums its taps in order from zero, but
// a block of outputs is summed at once in registers: the inner loop
// vectorises without reassociating the sum, and the outputs are not read and
// written back once per tap.
__attribute__((target_clones("avx2", "default"))) void SumTaps(const float* taps, std::size_t count,
                                                               const float* x, float* out,
                                                               std::size_t n) {
  constexpr std::size_t kBlock = 32;
  std::size_t i0 = 0;
  for (; i0 + kBlock <= n; i0 += kBlock) {
    float acc[kBlock] = {};
    for (std::size_t k = 0; k < count; ++k) {
      const float t = taps[k];
      const float* xk = x + k + i0;
      for (std::size_t j = 0; j < kBlock; ++j) acc[j] += t * xk[j];
    }
    std::copy_n(acc, kBlock, out + i0);
  }
  for (; i0 < n; ++i0) {
    float acc = 0.0f;
    for (std::size_t k = 0; k < count; ++k) acc += taps[k] * x[k + i0];
    out[i0] = acc;
  }
}

}  // namespace

void FirState::Filter(std::span<const float> src, std::span<float> dst) {
  const std::size_t n = std::min(src.size(), dst.size());
  const std::size_t taps = reversed_.size();
  if (taps == 0) {
    std::fill_n(dst.begin(), n, 0.0f);
    return;
  }
  const std::size_t keep = taps - 1;
  // Sized for the largest block so far: it grows once, not every block.
  if (history_.size() < keep + n) history_.resize(keep + n);
  std::copy_n(src.begin(), n, history_.begin() + keep);
  SumTaps(reversed_.data(), taps, history_.data(), dst.data(), n);
  std::copy(history_.begin() + n, history_.begin() + n + keep, history_.begin());
}

void WinBartlett(std::span<float> v) {
  ApplyWindow(v, [](double x) { return x <= 0.5 ? 2 * x : 2 - 2 * x; });
}
void WinHann(std::span<float> v) {
  ApplyWindow(v, [](double x) { return 0.5 - 0.5 * std::cos(2 * kPi * x); });
}
void WinHamming(std::span<float> v) {
  ApplyWindow(v, [](double x) { return 0.54 - 0.46 * std::cos(2 * kPi * x); });
}
void WinBlackmanStd(std::span<float> v) {
  ApplyWindow(v, [](double x) {
    return 0.42 - 0.5 * std::cos(2 * kPi * x) + 0.08 * std::cos(4 * kPi * x);
  });
}
void WinBlackmanOpt(std::span<float> v) {
  if (v.size() < 2) return;
  // The Blackman family member whose side lobes fall fastest for this length.
  const double alpha = -0.5 / (1 + std::cos(2 * kPi / static_cast<double>(v.size() - 1)));
  ApplyWindow(v, [alpha](double x) {
    return (alpha + 1) / 2 - 0.5 * std::cos(2 * kPi * x) - alpha / 2 * std::cos(4 * kPi * x);
  });
}

void Zero(std::span<float> v) {
  std::fill(v.begin(), v.end(), 0.0f);
}
void Zero(std::span<cfloat> v) {
  std::fill(v.begin(), v.end(), cfloat{});
}
void Copy(std::span<const float> src, std::span<float> dst) {
  std::copy_n(src.begin(), std::min(src.size(), dst.size()), dst.begin());
}

void Add(std::span<const float> src, std::span<float> dst) {
  const std::size_t n = std::min(src.size(), dst.size());
  for (std::size_t i = 0; i < n; ++i) dst[i] += src[i];
}
void Sub(float value, std::span<float> v) {
  for (float& x : v) x -= value;
}
void Mul(float value, std::span<float> v) {
  for (float& x : v) x *= value;
}
void Mul(std::span<const cfloat> src, std::span<cfloat> dst) {
  const std::size_t n = std::min(src.size(), dst.size());
  // Spelled out: std::complex's operator* checks for infinities and does not
  // vectorise.
  for (std::size_t i = 0; i < n; ++i) {
    const float a = dst[i].real(), b = dst[i].imag(), c = src[i].real(), d = src[i].imag();
    dst[i] = cfloat(a * c - b * d, a * d + b * c);
  }
}
void Abs(std::span<float> v) {
  for (float& x : v) x = std::fabs(x);
}
void Sqrt(std::span<float> v) {
  std::size_t i = 0;
#ifdef __SSE2__
  // std::sqrt keeps a call per element for errno; the instruction gives the
  // same correctly rounded results.
  for (; i + 4 <= v.size(); i += 4) _mm_storeu_ps(&v[i], _mm_sqrt_ps(_mm_loadu_ps(&v[i])));
#endif
  for (; i < v.size(); ++i) v[i] = std::sqrt(v[i]);
}

void IntToFloat(std::span<const std::int32_t> src, std::span<float> dst) {
  const std::size_t n = std::min(src.size(), dst.size());
  for (std::size_t i = 0; i < n; ++i) dst[i] = static_cast<float>(src[i]);
}
void IntToFloatInPlace(std::span<float> v) {
  for (float& x : v) x = static_cast<float>(std::bit_cast<std::int32_t>(x));
}
void WordsToFloat(std::span<const std::uint16_t> src, std::span<float> dst) {
  const std::size_t n = std::min(src.size(), dst.size());
  for (std::size_t i = 0; i < n; ++i) dst[i] = static_cast<float>(src[i]);
}
void FloatToWords(std::span<const float> src, std::span<std::uint16_t> dst) {
  const std::size_t n = std::min(src.size(), dst.size());
  std::size_t i = 0;
#ifdef __SSE2__
  // Four words at a time: the compiler does not vectorise the clamping,
  // which must send NaN to 0. The conversion rounds halves to even, as the
  // loop below does.
  const __m128 low = _mm_setzero_ps(), high = _mm_set1_ps(65535.0f);
  const __m128i bias = _mm_set1_epi32(32768);
  const __m128i flip = _mm_set1_epi16(std::int16_t(-32768));
  for (; i + 8 <= n; i += 8) {
    // max(x, 0) gives its second operand for NaN.
    const __m128 a = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(&src[i]), low), high);
    const __m128 b = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(&src[i + 4]), low), high);
    // Packing saturates signed values, so the words are packed about 0.
    const __m128i wa = _mm_sub_epi32(_mm_cvtps_epi32(a), bias);
    const __m128i wb = _mm_sub_epi32(_mm_cvtps_epi32(b), bias);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(&dst[i]),
                     _mm_xor_si128(_mm_packs_epi32(wa, wb), flip));
  }
#endif
  // Adding and taking away 2^23 rounds a float in 0 .. 2^23 to the nearest
  // integer, halves to even.
  constexpr float kRound = 8388608.0f;
  for (; i < n; ++i) {
    float x = src[i];
    x = x > 0.0f ? x : 0.0f;  // NaN fails the test too
    x = x < 65535.0f ? x : 65535.0f;
    const float rounded = (x + kRound) - kRound;
    dst[i] = static_cast<std::uint16_t>(static_cast<std::int32_t>(rounded));
  }
}

void Real(std::span<const cfloat> src, std::span<float> dst) {
  const std::size_t n = std::min(src.size(), dst.size());
  for (std::size_t i = 0; i < n; ++i) dst[i] = src[i].real();
}
void Imag(std::span<const cfloat> src, std::span<float> dst) {
  const std::size_t n = std::min(src.size(), dst.size());
  for (std::size_t i = 0; i < n; ++i) dst[i] = src[i].imag();
}
void RealToCplx(std::span<const float> re, std::span<const float> im, std::span<cfloat> dst) {
  const std::size_t n = dst.size();
  // The usual cases without a test per element, so that they vectorise.
  if (re.size() >= n && im.size() >= n) {
    for (std::size_t i = 0; i < n; ++i) dst[i] = cfloat(re[i], im[i]);
  } else if (re.size() >= n && im.empty()) {
    for (std::size_t i = 0; i < n; ++i) dst[i] = cfloat(re[i], 0.0f);
  } else {
    for (std::size_t i = 0; i < n; ++i)
      dst[i] = cfloat(i < re.size() ? re[i] : 0.0f, i < im.size() ? im[i] : 0.0f);
  }
}
void CplxToReal(std::span<const cfloat> src, std::span<float> re, std::span<float> im) {
  Real(src, re);
  Imag(src, im);
}

void PowerSpectrum(std::span<const cfloat> src, std::span<float> dst) {
  const std::size_t n = std::min(src.size(), dst.size());
  for (std::size_t i = 0; i < n; ++i) {
    dst[i] = src[i].real() * src[i].real() + src[i].imag() * src[i].imag();
  }
}
void CartToPolar(std::span<const cfloat> src, std::span<float> magnitude, std::span<float> phase) {
  for (std::size_t i = 0; i < src.size(); ++i) {
    if (i < magnitude.size()) magnitude[i] = std::hypot(src[i].real(), src[i].imag());
    if (i < phase.size()) phase[i] = std::atan2(src[i].imag(), src[i].real());
  }
}

float Min(std::span<const float> v) {
  return v.empty() ? 0.0f : *std::min_element(v.begin(), v.end());
}
float Max(std::span<const float> v) {
  return v.empty() ? 0.0f : *std::max_element(v.begin(), v.end());
}
std::int16_t Min(std::span<const std::int16_t> v) {
  return v.empty() ? std::int16_t{0} : *std::min_element(v.begin(), v.end());
}
std::int16_t Max(std::span<const std::int16_t> v) {
  return v.empty() ? std::int16_t{0} : *std::max_element(v.begin(), v.end());
}

void Thresh(std::span<std::int16_t> v, std::int16_t level, ThreshRelation relation) {
  if (relation == thRaiseBelow) {
    for (auto& x : v) x = std::max(x, level);
  } else {
    for (auto& x : v) x = std::min(x, level);
  }
}

void AutoCorr(std::span<const float> src, std::span<float> dst, AutoCorrType type) {
  const std::size_t len = src.size();
  const std::size_t lags = std::min(dst.size(), len);
  std::fill(dst.begin(), dst.end(), 0.0f);
  if (lags == 0) return;

  std::vector<double> raw(lags);
  if (len * lags <= 1u << 16) {
    for (std::size_t k = 0; k < lags; ++k) {
      double sum = 0;
      for (std::size_t i = 0; i + k < len; ++i) sum += double(src[i]) * src[i + k];
      raw[k] = sum;
    }
  } else {
    // Zero padding to len + lags keeps the circular wrap off every lag asked for.
    const std::size_t size = std::bit_ceil(len + lags);
    std::vector<std::complex<double>> a(size);
    for (std::size_t i = 0; i < len; ++i) a[i] = src[i];
    Fft(a, false);
    for (auto& x : a) x = std::norm(x);
    Fft(a, true);
    for (std::size_t k = 0; k < lags; ++k) raw[k] = a[k].real() / static_cast<double>(size);
  }
  for (std::size_t k = 0; k < lags; ++k) {
    double scale = 1;
    if (type == acBiased) scale = 1.0 / static_cast<double>(len);
    if (type == acUnbiased) scale = 1.0 / static_cast<double>(len - k);
    dst[k] = static_cast<float>(raw[k] * scale);
  }
}

}  // namespace vivurozed::vec
