// Vector arithmetic for the signal code: FIR filtering with persistent
// state, windows, element-wise arithmetic, conversions, magnitudes,
// statistics and autocorrelation. Plain loops over contiguous arrays so that
// the compiler can vectorise them.
#pragma once

#include <complex>
#include <cstdint>
#include <span>
#include <vector>

namespace vivurozed::vec {

using cfloat = std::complex<float>;

// Direct-form FIR filter. The delay line starts at zero and persists across
// calls, so a signal cut into blocks of any length filters exactly as one
// long block.
class FirState {
 public:
  FirState() = default;
  explicit FirState(std::span<const float> taps);

  void Init(std::span<const float> taps);
  void Reset();  // clears the delay line, keeps the taps
  std::size_t TapCount() const { return reversed_.size(); }

  // dst may alias src exactly (in place).
  void Filter(std::span<const float> src, std::span<float> dst);

 private:
  std::vector<float> reversed_;  // taps, last first
  std::vector<float> history_;   // TapCount()-1 past samples, then room for a block
};

// Symmetric windows of length n, multiplied into v in place.
void WinBartlett(std::span<float> v);
void WinHann(std::span<float> v);
void WinHamming(std::span<float> v);
void WinBlackmanStd(std::span<float> v);
void WinBlackmanOpt(std::span<float> v);

void Zero(std::span<float> v);
void Zero(std::span<cfloat> v);
void Copy(std::span<const float> src, std::span<float> dst);

void Add(std::span<const float> src, std::span<float> dst);    // dst += src
void Sub(float value, std::span<float> v);                     // v -= value
void Mul(float value, std::span<float> v);                     // v *= value
void Mul(std::span<const cfloat> src, std::span<cfloat> dst);  // dst *= src
void Abs(std::span<float> v);
void Sqrt(std::span<float> v);

// 32-bit signed integers to floats; src and dst may be the same memory
// (IntToFloatInPlace reads each float slot as an int32).
void IntToFloat(std::span<const std::int32_t> src, std::span<float> dst);
void IntToFloatInPlace(std::span<float> v);
// Unsigned 16-bit picture words to floats.
void WordsToFloat(std::span<const std::uint16_t> src, std::span<float> dst);
// Floats to unsigned 16-bit picture words: rounded (halves to even),
// clipped to 0 .. 65535; NaN becomes 0.
void FloatToWords(std::span<const float> src, std::span<std::uint16_t> dst);

void Real(std::span<const cfloat> src, std::span<float> dst);
void Imag(std::span<const cfloat> src, std::span<float> dst);
// Either part may be empty, and then reads as 0.
void RealToCplx(std::span<const float> re, std::span<const float> im, std::span<cfloat> dst);
void CplxToReal(std::span<const cfloat> src, std::span<float> re, std::span<float> im);

void PowerSpectrum(std::span<const cfloat> src, std::span<float> dst);  // re^2 + im^2
// Phase in radians, -pi .. pi.
void CartToPolar(std::span<const cfloat> src, std::span<float> magnitude, std::span<float> phase);

// Extremes of a non-empty vector (an empty one gives 0).
float Min(std::span<const float> v);
float Max(std::span<const float> v);
std::int16_t Min(std::span<const std::int16_t> v);
std::int16_t Max(std::span<const std::int16_t> v);

enum ThreshRelation : std::uint8_t { thRaiseBelow = 0, thLowerAbove = 1 };
void Thresh(std::span<std::int16_t> v, std::int16_t level, ThreshRelation relation);

enum AutoCorrType : std::uint8_t { acNormal = 0, acBiased = 1, acUnbiased = 2 };
// dst[k] for lags k = 0 .. dst.size()-1 of sum_i src[i] * src[i + k];
// acBiased divides by the length, acUnbiased by the number of terms. Lags at
// or past the length are 0. Long inputs go through an FFT; the result is the
// same to float rounding.
void AutoCorr(std::span<const float> src, std::span<float> dst, AutoCorrType type);

}  // namespace vivurozed::vec
