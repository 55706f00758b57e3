#include "signal/SignalDetectors.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

#include "platform/VectorLib.h"

namespace vivurozed {

// --- TSignalSyncDemod -------------------------------------------------------------

TSignalSyncDemod::TSignalSyncDemod() {
  SetSampleRate(44100);
}

void TSignalSyncDemod::SetSampleRate(int rate) {
  TSignalProcessor::SetSampleRate(rate);
  carrier_ = DesignResonator(kCentreFrequency, kWidth, rate);
}

float TSignalSyncDemod::Smooth(float v) {
  constexpr float kGain = 73379.62063f;
  constexpr std::array<float, 6> kA = {-0.2646366357803345f, 1.9371238946914673f,
                                       -5.953983306884766f,  9.84408950805664f,
                                       -9.243526458740234f,  4.680061340332031f};
  std::copy(smoothX_.begin() + 1, smoothX_.end(), smoothX_.begin());
  smoothX_[6] = v / kGain;
  std::copy(smoothY_.begin() + 1, smoothY_.end(), smoothY_.begin());
  const auto& x = smoothX_;
  float y = (x[0] + x[6]) + 6 * (x[1] + x[5]) + 15 * (x[2] + x[4]) + 20 * x[3];
  for (std::size_t i = 0; i < kA.size(); ++i) y += kA[i] * smoothY_[i];
  smoothY_[6] = y;
  return y;
}

void TSignalSyncDemod::Process(SampleBlock block) {
  TimedScope timer(*this);
  const std::size_t count = block.size();
  if (static_cast<int>(count) != workLength_) {
    work_.assign(2 * count, 0.0f);
    workLength_ = static_cast<int>(count);
  }
  if (count == 0) return;

  if (isSynchronous_) {
    for (std::size_t i = 0; i < count; ++i) {
      const float square = block[i].real() <= 0 ? -1.0f : 1.0f;
      work_[i] = static_cast<float>(carrierState_.Step(carrier_, square));
    }
    for (std::size_t i = 0; i < count; ++i) {
      block[i] = TSample(block[i].real() * work_[i], block[i].imag());
    }
    return;
  }

  // Rectifying at twice the rate keeps the peaks between samples.
  float previous = lastReal_;
  for (std::size_t i = 0; i < count; ++i) {
    const float re = block[i].real();
    work_[2 * i] = std::fabs((previous + re) / 2);
    work_[2 * i + 1] = std::fabs(re);
    previous = re;
  }
  lastReal_ = previous;
  if (boxcarIntegration_) {
    for (std::size_t i = 0; i < 2 * count; ++i) work_[i] = Smooth(work_[i]);
  }
  for (std::size_t i = 0; i < count; ++i) {
    block[i] = TSample((work_[2 * i] + work_[2 * i + 1]) / 2, block[i].imag());
  }
}

// --- TSignalToneDetect2 -------------------------------------------------------------

TSignalToneDetect2::TSignalToneDetect2() {
  SetIntegrationCount(1);
}

void TSignalToneDetect2::SetFrequency(int f) {
  frequency_ = f;
  oscillator_.SetFrequency(static_cast<float>(f));
}

void TSignalToneDetect2::SetIntegrationCount(int n) {
  n = std::max(n, 1);
  const auto size = static_cast<std::size_t>(n);
  if (n != integrationCount_) {
    integrationCount_ = n;
    ring_.resize(size);
    line_.assign(size + mixed_.size(), TSample{});
  }
  std::fill(ring_.begin(), ring_.end(), TSample{});
  ringIndex_ = 0;
  sampleCounter_ = 0;
  toneOn_ = false;
  // The moving sum restarts with its ring; a sum kept over an emptied ring
  // would carry an offset that never leaves it.
  sum_ = TSample{};
}

void TSignalToneDetect2::SetSampleRate(int rate) {
  TSignalProcessor::SetSampleRate(rate);
  oscillator_.SetSampleRate(rate);
}

void TSignalToneDetect2::Process(SampleBlock block) {
  TimedScope timer(*this);
  const std::size_t count = block.size();
  const auto delay = static_cast<std::size_t>(integrationCount_);
  if (mixed_.size() != count) {
    mixed_.resize(count);
    line_.resize(delay + count);
  }
  const std::span<const TSample> phasor = oscillator_.Generate(static_cast<int>(count));

  // The delay line holds the last `delay` inputs, then this block; it also
  // serves when the delay is longer than the block.
  const std::span<TSample> input(line_.data() + delay, count);
  std::copy(block.begin(), block.end(), input.begin());
  std::copy_n(line_.begin(), count, block.begin());

  double mean = 0;
  for (const TSample& x : input) mean += x.real();
  mean /= static_cast<double>(std::max<std::size_t>(count, 1));
  double variance = 0;
  for (const TSample& x : input) variance += (x.real() - mean) * (x.real() - mean);
  variance /= static_cast<double>(std::max<std::size_t>(count, 1));

  std::copy(input.begin(), input.end(), mixed_.begin());
  vec::Mul(phasor, mixed_);

  const float scale = 1.0f / static_cast<float>(integrationCount_);
  for (std::size_t i = 0; i < count; ++i) {
    const TSample z = mixed_[i] * scale;
    sum_ += z - ring_[ringIndex_];
    ring_[ringIndex_] = z;
    if (++ringIndex_ == ring_.size()) ringIndex_ = 0;
    // A constant block has no variance to measure a tone against: it reads
    // as no tone (0) rather than an undefined ratio.
    const double power =
        variance > 0 ? std::min(std::norm(std::complex<double>(sum_)) / variance, double{FLT_MAX})
                     : 0.0;
    const auto p = static_cast<float>(power);
    block[i] = TSample(block[i].real(), p);

    if (!toneOn_ && p > kToneThreshold) {
      toneOn_ = true;
      toneCentre_ = sampleCounter_;
    } else if (toneOn_ && p <= kToneThreshold) {
      toneOn_ = false;
      toneCentre_ = (toneCentre_ + sampleCounter_) / 2;
    }
    ++sampleCounter_;
  }

  std::copy(line_.begin() + static_cast<std::ptrdiff_t>(count), line_.end(), line_.begin());
}

// --- TSignalAutocorrelation -----------------------------------------------------------

void TSignalAutocorrelation::SetLength(int n) {
  n = std::max(n, 0);
  if (n == length_) return;
  length_ = n;
  a_.assign(3 * static_cast<std::size_t>(n), 0.0f);
  b_.assign(3 * static_cast<std::size_t>(n), 0.0f);
  fill_ = 0;
  minimum_ = maximum_ = mean_ = 0.0f;
}

void TSignalAutocorrelation::Process(SampleBlock block) {
  TimedScope timer(*this);
  const std::size_t room = a_.size() - static_cast<std::size_t>(fill_);
  const std::size_t n = std::min(room, block.size());
  const auto at = static_cast<std::size_t>(fill_);
  for (std::size_t i = 0; i < n; ++i) {
    a_[at + i] = block[i].real();
    b_[at + i] = block[i].imag();
  }
  fill_ += static_cast<int>(n);
}

std::span<const float> TSignalAutocorrelation::Compute(bool removeMean) {
  TimedScope timer(*this);
  removeMean_ = removeMean;
  vec::Zero(b_);
  if (a_.empty()) return b_;
  if (removeMean_) {
    double sum = 0;
    for (float x : a_) sum += x;
    mean_ = static_cast<float>(sum / static_cast<double>(a_.size()));
    float s = mean_;
    minimum_ = maximum_ = mean_;
    bool first = true;
    for (float x : a_) {
      s = (9 * s + x) / 10;
      minimum_ = first ? s : std::min(minimum_, s);
      maximum_ = first ? s : std::max(maximum_, s);
      first = false;
    }
    vec::Sub(mean_, a_);
  }
  vec::AutoCorr(a_, std::span<float>(b_.data(), static_cast<std::size_t>(LagCount())),
                vec::acUnbiased);
  return b_;
}

}  // namespace vivurozed
