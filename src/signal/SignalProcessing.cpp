#include "signal/SignalProcessing.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <utility>

#include "platform/VectorLib.h"

namespace vivurozed {

void TSignalProcessor::SetSampleRate(int rate) {
  sampleRate_ = rate;
  if (HasSink()) dataSink_->SetSampleRate(rate);
}

void TSignalProcessor::BeginData() {
  if (!HasSink()) return;
  dataSink_->SetTotalSamples(totalSamples_);
  dataSink_->BeginData();
}

void TSignalProcessor::EndData() {
  if (HasSink()) dataSink_->EndData();
}

void TSignalProcessor::DataIn(TSignalProcessor* /*sender*/, SampleBlock block) {
  Process(block);
  if (HasSink()) dataSink_->DataIn(this, block);
}

// --- TSignalSourceWaveIn ---------------------------------------------------

TSignalSourceWaveIn::TSignalSourceWaveIn(TSignalSource* owner) : owner_(owner) {
  work_.resize(static_cast<std::size_t>(BufferSamples()) + 8);
}

void TSignalSourceWaveIn::SetBufferSamples(int n) {
  TWaveIn::SetBufferSamples(n);
  work_.assign(static_cast<std::size_t>(BufferSamples()) + 8, TSample{});
}

void TSignalSourceWaveIn::SampleRateChanged() {
  if (owner_) owner_->SetSampleRate(SampleRate());
}

void TSignalSourceWaveIn::DoOpen() {
  if (owner_) owner_->SetSampleRate(SampleRate());
  TWaveIn::DoOpen();
}

void TSignalSourceWaveIn::DoDataStart() {
  if (!owner_) return;
  owner_->SetTotalSamples(TotalSamples());
  owner_->BeginData();
}

void TSignalSourceWaveIn::DoDataEnd() {
  if (owner_) owner_->EndData();
}

void TSignalSourceWaveIn::DoData() {
  TWaveHeader* header = CurrentHeader();
  if (State() != wsRunning || header == nullptr) return;
  const int frames = static_cast<int>(header->BytesRecorded / 4);
  const bool full = frames == BufferSamples() && owner_ != nullptr;
  if (full) {
    const auto* in = reinterpret_cast<const std::int16_t*>(header->Data);
    // One loop per choice, so that each vectorises.
    auto convert = [&](auto pick) {
      for (int i = 0; i < frames; ++i) {
        const auto [re, im] = pick(int{in[2 * i]}, int{in[2 * i + 1]});
        work_[static_cast<std::size_t>(i)] =
            TSample(static_cast<float>(re), static_cast<float>(im));
      }
    };
    using Pair = std::pair<int, int>;
    switch (channelSelect_) {
      case chSum:
        convert([](int l, int r) { return Pair{(l + r) / 2, 0}; });
        break;
      case chDiff:
        convert([](int l, int r) { return Pair{(r - l) / 2, 0}; });
        break;
      case chLeft:
        convert([](int l, int) { return Pair{l, 0}; });
        break;
      case chRight:
        convert([](int, int r) { return Pair{r, 0}; });
        break;
      case chCplx:
        convert([](int l, int r) { return Pair{l, r}; });
        break;
      case chMonoToBoth:
        convert([](int l, int) { return Pair{l, l}; });
        break;
      default:
        convert([](int, int) { return Pair{0, 0}; });
        break;
    }
  }
  RequeueCurrent();
  if (full) {
    std::span<float> values(reinterpret_cast<float*>(work_.data()), 2 * std::size_t(frames));
    if (agc_) {
      // Gain drops at once on a louder block and rises by at most 10 % a block.
      const float peak = std::max({-vec::Min(values), vec::Max(values), 1000.0f});
      const float target = 16384.0f / peak;
      agcGain_ = target < agcGain_ ? target : agcGain_ * 1.1f;
      vec::Mul(agcGain_, values);
    }
    owner_->DataIn(nullptr, SampleBlock(work_.data(), static_cast<std::size_t>(frames)));
  }
  CountBuffer();
}

// --- TSignalSource -----------------------------------------------------------

TSignalSource::TSignalSource() : waveIn_(std::make_unique<TSignalSourceWaveIn>(this)) {
  SetBufferSamples(8192);
  SetAGC(true);
}

void TSignalSource::SetBufferSamples(int n) {
  waveIn_->SetBufferSamples(n);
  bufferSamples_ = waveIn_->BufferSamples();
}

void TSignalSource::DataIn(TSignalProcessor* sender, SampleBlock block) {
  if (sender == this) return;
  TSignalProcessor::DataIn(this, block);
}

// --- TSignalAverage ----------------------------------------------------------

void TSignalAverage::Reset() {
  std::fill(averageRe_.begin(), averageRe_.end(), 0.0f);
  std::fill(averageIm_.begin(), averageIm_.end(), 0.0f);
  position_ = 0;
  passCount_ = 0;
}

void TSignalAverage::SetPeriod(int length) {
  const std::size_t n = static_cast<std::size_t>(std::max(length, 0));
  averageRe_.assign(n, 0.0f);
  averageIm_.assign(n, 0.0f);
  Reset();
}

void TSignalAverage::Process(SampleBlock block) {
  const int period = static_cast<int>(averageRe_.size());
  if (period == 0) return;  // no period set: nothing to average into
  TimedScope timer(*this);
  for (const TSample& x : block) {
    if (position_ == 0) ++passCount_;
    const float n = static_cast<float>(passCount_);
    float& re = averageRe_[static_cast<std::size_t>(position_)];
    float& im = averageIm_[static_cast<std::size_t>(position_)];
    re = ((n - 1) * re + x.real()) / n;
    im = ((n - 1) * im + x.imag()) / n;
    position_ = (position_ + 1) % period;
  }
}

// --- SineTable and TSignalOscillator -----------------------------------------

const std::array<TSample, 32768>& SineTable() {
  static const auto table = [] {
    std::array<TSample, 32768> t{};
    for (int k = 1; k < 8192; ++k) {
      const double a = 2 * std::numbers::pi * k / 32768;
      const float c = static_cast<float>(0.99995 * std::cos(a));
      const float s = static_cast<float>(0.99995 * std::sin(a));
      t[k] = TSample(c, -s);
      t[16384 - k] = TSample(-c, -s);
      t[16384 + k] = TSample(-c, s);
      t[32768 - k] = TSample(c, s);
    }
    t[0] = TSample(1, 0);
    t[8192] = TSample(0, -1);
    t[16384] = TSample(-1, 0);
    t[24576] = TSample(0, 1);
    return t;
  }();
  return table;
}

void TSignalOscillator::SetPhase(float p) {
  if (p == phase_ || !std::isfinite(p)) return;
  constexpr float kTwoPi = 2 * std::numbers::pi_v<float>;
  p = std::fmod(p, kTwoPi);  // large values need not loop
  while (p >= std::numbers::pi_v<float>) p -= kTwoPi;
  while (p < -std::numbers::pi_v<float>) p += kTwoPi;
  phase_ = p;
  const auto advance =
      static_cast<std::int64_t>(std::nearbyint(1073741824.0 * p / (2 * std::numbers::pi)));
  accumulator_ =
      static_cast<std::uint32_t>(accumulator_ + static_cast<std::uint64_t>(advance)) & 0x3FFFFFFFu;
}

std::span<const TSample> TSignalOscillator::Generate(int count) {
  const std::size_t n = static_cast<std::size_t>(std::max(count, 0));
  if (n != output_.size()) output_.resize(n);
  // Without a rate the oscillator holds still rather than divide by zero.
  const double step = SampleRate() > 0 ? 1073741824.0 * frequency_ / SampleRate() : 0.0;
  const auto istep = static_cast<std::uint32_t>(static_cast<std::int64_t>(std::nearbyint(step)));
  const auto& table = SineTable();
  for (std::size_t i = 0; i < n; ++i) {
    output_[i] = table[accumulator_ >> 15];
    accumulator_ = (accumulator_ + istep) & 0x3FFFFFFFu;
  }
  return output_;
}

}  // namespace vivurozed
