#include "signal/SignalHilbert.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/VectorLib.h"

namespace vivurozed {

namespace {

constexpr double kPi = std::numbers::pi;

}  // namespace

// --- TSignalHilbertBPF -----------------------------------------------------------

TSignalHilbertBPF::TSignalHilbertBPF() : filter_(std::make_unique<TSignalFIRQuadFilter>()) {
  SetBandwidth(bandwidth_);
}

void TSignalHilbertBPF::SetCarrierFrequency(int f) {
  carrierFrequency_ = f;
  Redesign();
}

void TSignalHilbertBPF::SetBandwidth(int hz) {
  bandwidth_ = hz;
  filter_->SetPassFreq(hz);
  filter_->SetStopFreq(0);
  Redesign();
}

void TSignalHilbertBPF::SetFilterTaps(int n) {
  filterTaps_ = n;
  Redesign();
}

void TSignalHilbertBPF::SetWindowFunction(WindowFuncs w) {
  windowFunction_ = w;
  Redesign();
}

void TSignalHilbertBPF::SetSampleRate(int rate) {
  TSignalProcessor::SetSampleRate(rate);
  filter_->SetSampleRate(rate);
  Redesign();
}

void TSignalHilbertBPF::Redesign() {
  // Each setter leaves the same low-pass in both tap sets.
  filter_->SetWindowFunction(windowFunction_);
  filter_->SetTaps(filterTaps_);
  if (SampleRate() != 0) {
    const int taps = filter_->Taps();
    const int m = taps / 2;
    auto& set1 = filter_->TapSet1();
    auto& set2 = filter_->TapSet2();
    for (int i = 0; i < taps; ++i) {
      const auto k = static_cast<std::size_t>(i);
      const double phase = 2 * kPi * carrierFrequency_ * (i - m) / SampleRate();
      const double h = set1[k];
      set1[k] = static_cast<float>(2 * h * std::cos(phase));
      set2[k] = static_cast<float>(2 * h * std::sin(phase));
    }
  }
  filter_->ReloadTaps();
}

void TSignalHilbertBPF::Process(SampleBlock block) {
  TimedScope timer(*this);
  // The quad filter has no sink, so DataIn is its Process alone.
  filter_->DataIn(this, block);
}

// --- AM detectors ------------------------------------------------------------------

void TSignalHilbertAMDetector::Process(SampleBlock block) {
  if (block.size() != envelope_.size()) envelope_.assign(block.size(), 0.0f);
  TSignalHilbertBPF::Process(block);
  vec::PowerSpectrum(block, envelope_);
  vec::Sqrt(envelope_);
  vec::RealToCplx(envelope_, envelope_, block);
}

void TSignalHilbertAMDetectorQ::Process(SampleBlock block) {
  TimedScope timer(*this);
  if (block.size() != envelope_.size() || block.size() != inPhase_.size()) {
    envelope_.assign(block.size(), 0.0f);
    inPhase_.assign(block.size(), 0.0f);
  }
  QuadFilter().DataIn(this, block);
  vec::Real(block, inPhase_);
  vec::PowerSpectrum(block, envelope_);
  vec::Sqrt(envelope_);
  vec::RealToCplx(envelope_, inPhase_, block);
}

// --- TSignalHilbertSyncAMDetector ----------------------------------------------------

TSignalHilbertSyncAMDetector::TSignalHilbertSyncAMDetector() {
  RedesignResonator();
}

void TSignalHilbertSyncAMDetector::SetResonatorQ(int q) {
  resonatorQ_ = q;
  RedesignResonator();
}

void TSignalHilbertSyncAMDetector::SetCarrierFrequency(int f) {
  TSignalHilbertBPF::SetCarrierFrequency(f);
  RedesignResonator();
}

void TSignalHilbertSyncAMDetector::SetSampleRate(int rate) {
  TSignalHilbertBPF::SetSampleRate(rate);
  RedesignResonator();
}

void TSignalHilbertSyncAMDetector::RedesignResonator() {
  resonator_ = DesignResonator(CarrierFrequency(), resonatorQ_, SampleRate());
}

void TSignalHilbertSyncAMDetector::Process(SampleBlock block) {
  TimedScope timer(*this);
  const std::size_t count = block.size();
  if (i_.size() < count) {
    i_.resize(count);
    q_.resize(count);
    output_.resize(count);
  }
  QuadFilter().DataIn(this, block);
  vec::CplxToReal(block, std::span<float>(i_.data(), count), std::span<float>(q_.data(), count));

  constexpr double kQuarter = kPi / 2;
  std::size_t k = 0;
  for (std::size_t n = 0; n < count; ++n) {
    const double a = resonatorI_.Step(resonator_, i_[n]);
    const double b = resonatorQState_.Step(resonator_, q_[n]);
    const float e = std::sqrt(i_[n] * i_[n] + q_[n] * q_[n]);
    bool crossed = false;
    if ((!crossedI_ && a > 0) || (crossedI_ && a < 0)) {
      crossedI_ = !crossedI_;
      crossed = true;
    }
    if ((!crossedQ_ && b > 0) || (crossedQ_ && b < 0)) {
      crossedQ_ = !crossedQ_;
      crossed = true;
    }
    if (crossed) {
      const double theta = a == 0 ? 0.0 : std::atan2(b, a) + 2 * kPi;
      const double turns = theta / kQuarter;
      const double t = (turns - std::floor(turns)) / kQuarter;
      output_[k++] = static_cast<float>((1 - t) * e + t * previousEnvelope_);
    }
    previousEnvelope_ = e;
  }

  // The marker needs the last samples of the block; a block too short to
  // hold it passes the envelope without one.
  const bool marked = count >= kMarkerSamples;
  if (marked) k = std::min(k, count - kMarkerSamples);
  for (std::size_t n = 0; n < count; ++n) block[n] = TSample(n < k ? output_[n] : 0.0f, 0.0f);
  if (marked) {
    for (std::size_t j = 0; j + 1 < sizeof kDataStreamMarker; ++j) {
      const auto code = static_cast<float>(static_cast<unsigned char>(kDataStreamMarker[j]));
      block[count - 1 - j] = TSample(code, -code);
    }
    const auto valid = static_cast<float>(k);
    block[count - kMarkerSamples] = TSample(valid, -valid);
  }
}

// --- TSignalHilbertFreqMeter ------------------------------------------------------

double TSignalHilbertFreqMeter::MeasuredFrequency() const {
  if (stepCount_ == 0) return 0.0;
  return SampleRate() * phaseSum_ / (static_cast<double>(stepCount_) * 2 * kPi);
}

void TSignalHilbertFreqMeter::SetCarrierFrequency(int f) {
  TSignalHilbertBPF::SetCarrierFrequency(f);
  ResetMeasurement();
}

void TSignalHilbertFreqMeter::SetSampleRate(int rate) {
  TSignalHilbertBPF::SetSampleRate(rate);
  ResetMeasurement();
}

void TSignalHilbertFreqMeter::Process(SampleBlock block) {
  const std::size_t count = block.size();
  if (count != envelope_.size()) {
    envelope_.assign(count, 0.0f);
    phase_.assign(count, 0.0f);
  }
  TSignalHilbertBPF::Process(block);
  vec::CartToPolar(block, envelope_, phase_);

  std::size_t start = 0;
  if (stepCount_ == 0) {
    // The first half of the first block is the filter settling.
    if (count < 2) return;
    start = count / 2;
    lastPhase_ = phase_[start - 1];
  }
  for (std::size_t n = start; n < count; ++n) {
    double d = phase_[n] - lastPhase_;
    if (d > kPi) d -= 2 * kPi;
    if (d < -kPi) d += 2 * kPi;
    phaseSum_ += d;
    ++stepCount_;
    lastPhase_ = phase_[n];
  }
}

}  // namespace vivurozed
