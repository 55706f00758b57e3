#include "signal/SignalFilters.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>

namespace vivurozed {

namespace {

constexpr double kPi = std::numbers::pi;

std::size_t Size(int n) {
  return static_cast<std::size_t>(std::max(n, 0));
}

}  // namespace

// --- Resonator -----------------------------------------------------------------

TResonatorDesign DesignResonator(double frequency, double quality, double sampleRate) {
  TResonatorDesign d;
  if (!(sampleRate > 0) || !(quality > 0) || !(frequency > 0) || !(frequency < sampleRate / 2)) {
    d.gain = std::numeric_limits<double>::infinity();
    return d;
  }
  using cd = std::complex<double>;
  const double theta = 2 * kPi * frequency / sampleRate;
  const double r = std::exp(-theta / (2 * quality));
  const cd z = std::polar(1.0, theta);
  const cd numerator = (z - 1.0) * (z + 1.0);
  auto response = [&](double angle) {
    const cd p = std::polar(r, angle);
    return numerator / ((z - p) * (z - std::conj(p)));
  };

  // Bisect the pole angle until the response at the centre has no phase.
  double lower = 0, upper = kPi, trial = theta;
  for (int round = 0; round < 50; ++round) {
    const cd h = response(trial);
    const double phi = h.imag() / h.real();
    if (phi > 0) {
      upper = trial;
    } else {
      lower = trial;
    }
    if (std::abs(phi) < 1e-12) break;
    trial = (lower + upper) / 2;
  }
  // Denominator z^2 + b1 z + b0 from the poles r e^(+/- j trial).
  const double b1 = -2 * r * std::cos(trial);
  const double b0 = r * r;
  d.c0 = -b0;
  d.c1 = -b1;
  d.gain = std::abs(response(trial));
  return d;
}

// --- Fixed recursive filters -------------------------------------------------------

template <int N>
void TSignalIIRFilter<N>::Process(SampleBlock block) {
  TimedScope timer(*this);
  const int count = static_cast<int>(block.size());
  if (count != workLength_) {
    work_.assign(Size(count), 0.0f);
    workLength_ = count;
  }
  vec::Real(block, work_);
  for (float& v : work_) {
    std::copy(x_.begin() + 1, x_.end(), x_.begin());
    x_[N] = v / k_.gain;
    std::copy(y_.begin() + 1, y_.end(), y_.begin());
    double y = k_.inputSum(x_);
    for (int k = 0; k < N; ++k)
      y += k_.c[static_cast<std::size_t>(k)] * y_[static_cast<std::size_t>(k)];
    y_[N] = y;
    v = static_cast<float>(y);
  }
  vec::RealToCplx(work_, work_, block);
}

template class TSignalIIRFilter<6>;
template class TSignalIIRFilter<12>;
template class TSignalIIRFilter<20>;

namespace {

constexpr TIIRCoefficients<6> kLowPass6 = {
    771.3490168,
    [](const std::array<double, 7>& x) {
      return (x[0] + x[6]) + 6 * (x[1] + x[5]) + 15 * (x[2] + x[4]) + 20 * x[3];
    },
    {-0.0189567013, 0.1904844861, -0.8315765361, 2.0356488446, -2.9819798569, 2.5234082441}};

constexpr TIIRCoefficients<12> kBandPass12 = {
    17.09142015,
    [](const std::array<double, 13>& x) {
      return (x[0] + x[12]) - 6 * (x[2] + x[10]) + 15 * (x[4] + x[8]) - 20 * x[6];
    },
    {-0.0013412765, -0.0027573905, 0.015272392, 0.0381666413, -0.0927250031, -0.1758550095,
     0.2331209694, 0.6387022619, -0.6620895317, -0.8307062378, 0.5103321638, 1.2513754487}};

constexpr TIIRCoefficients<20> kBandPass20 = {
    105.0885015,
    [](const std::array<double, 21>& x) {
      return (x[20] - x[0]) + 1.8373714492 * (x[19] - x[1]) + 8 * (x[2] - x[18]) +
             16.536343043 * (x[3] - x[17]) + 27 * (x[16] - x[4]) + 66.145372172 * (x[15] - x[5]) +
             48 * (x[6] - x[14]) + 154.33920173 * (x[7] - x[13]) + 42 * (x[12] - x[8]) +
             231.5088026 * (x[11] - x[9]);
    },
    {0.0,           0.0,           0.0002430555,  0.0006476892,  -0.0038441267,
     -0.0108960755, 0.0275798579,  0.0834484507,  -0.1199457043, -0.3797255637,
     0.3497539704,  1.1487866655,  -0.756653048,  -2.3452783313, 1.1896624183,
     3.3593793609,  -1.5815220707, -2.9589019833, 1.3215317231,  1.6663067087}};

}  // namespace

TSignalIIRFilter6pole::TSignalIIRFilter6pole() : TSignalIIRFilter<6>(kLowPass6) {}
TSignalIIRFilter12pole::TSignalIIRFilter12pole() : TSignalIIRFilter<12>(kBandPass12) {}
TSignalIIRFilter20pole::TSignalIIRFilter20pole() : TSignalIIRFilter<20>(kBandPass20) {}

// --- Two-channel resonator -------------------------------------------------------

TSignal2ChResonator::TSignal2ChResonator() {
  SetSampleRate(44100);
}

void TSignal2ChResonator::SetLeftFrequency(int f) {
  leftFrequency_ = f;
  Redesign();
}
void TSignal2ChResonator::SetLeftQfactor(int q) {
  leftQ_ = q;
  Redesign();
}
void TSignal2ChResonator::SetRightFrequency(int f) {
  rightFrequency_ = f;
  Redesign();
}
void TSignal2ChResonator::SetRightQfactor(int q) {
  rightQ_ = q;
  Redesign();
}
void TSignal2ChResonator::SetSampleRate(int rate) {
  TSignalProcessor::SetSampleRate(rate);
  Redesign();
}

void TSignal2ChResonator::Redesign() {
  left_ = DesignResonator(leftFrequency_, leftQ_, SampleRate());
  right_ = DesignResonator(rightFrequency_, rightQ_, SampleRate());
}

void TSignal2ChResonator::Process(SampleBlock block) {
  TimedScope timer(*this);
  const int count = static_cast<int>(block.size());
  if (count != workLength_) {
    workL_.assign(Size(count), 0.0f);
    workR_.assign(Size(count), 0.0f);
    workLength_ = count;
  }
  vec::Real(block, workL_);
  vec::Copy(workL_, workR_);
  for (float& v : workL_) v = static_cast<float>(leftState_.Step(left_, v));
  for (float& v : workR_) v = static_cast<float>(rightState_.Step(right_, v));
  vec::RealToCplx(workL_, workR_, block);
}

// --- FIR filters -------------------------------------------------------------------

TSignalFIRFilter::TSignalFIRFilter() {
  TSignalProcessor::SetSampleRate(44100);
  Design();
}

int TSignalFIRFilter::LimitFreq(int f) const {
  if (f < 1) f = SampleRate() / 4;
  return std::min(f, SampleRate() / 2);
}

void TSignalFIRFilter::SetFilterType(FilterTypes t) {
  filterType_ = t;
  Design();
}
void TSignalFIRFilter::SetPassFreq(int f) {
  passFreq_ = LimitFreq(f);
  Design();
}
void TSignalFIRFilter::SetStopFreq(int f) {
  stopFreq_ = LimitFreq(f);
  Design();
}
void TSignalFIRFilter::SetTaps(int n) {
  // Fewer than one tap is no filter at all.
  n = std::max(n, 1);
  if (n % 2 == 0) ++n;
  taps_ = std::min(n, kMaxTaps);
  Design();
}
void TSignalFIRFilter::SetWindowFunction(WindowFuncs w) {
  window_ = w;
  Design();
}
void TSignalFIRFilter::SetSampleRate(int rate) {
  const bool changed = rate != SampleRate();
  TSignalProcessor::SetSampleRate(rate);
  if (changed) Design();
}

void TSignalFIRFilter::SetBufferSamples(int n) {
  const std::size_t size = Size(n) + 8;
  work1_.assign(size, 0.0f);
  work2_.assign(size, 0.0f);
  work3_.assign(size, 0.0f);
  workLength_ = n;
}

void TSignalFIRFilter::Design() {
  if (stopFreq_ < passFreq_) stopFreq_ = passFreq_ + 1;
  DesignBranch(tapSet1_, state1_, ready1_);
  DesignBranch(tapSet2_, state2_, ready2_);
}

void TSignalFIRFilter::DesignBranch(TapSet& h, vec::FirState& state, bool& ready) {
  const int half = SampleRate() / 2;
  // Without a rate there is no band to pass: the taps come out all zero.
  const float p = half > 0 ? static_cast<float>(passFreq_) / static_cast<float>(half) : 0.0f;
  const float s = half > 0 ? static_cast<float>(stopFreq_) / static_cast<float>(half) : 0.0f;
  const int m = taps_ / 2;
  std::fill(h.begin(), h.end(), 0.0f);
  auto sinc = [](double f, int i) { return std::sin(kPi * f * i) / (kPi * i); };
  const auto centre = static_cast<std::size_t>(m);
  switch (filterType_) {
    case ftLowPass:
      h[centre] = p;
      break;
    case ftHighPass:
      h[centre] = 1 - p;
      break;
    case ftBandPass:
      h[centre] = s - p;
      break;
  }
  for (int i = 1; i <= m; ++i) {
    double v = 0;
    switch (filterType_) {
      case ftLowPass:
        v = sinc(p, i);
        break;
      case ftHighPass:
        v = -sinc(p, i);
        break;
      case ftBandPass:
        v = sinc(s, i) - sinc(p, i);
        break;
    }
    h[centre + static_cast<std::size_t>(i)] = h[centre - static_cast<std::size_t>(i)] =
        static_cast<float>(v);
  }
  const std::span<float> used(h.data(), Size(taps_));
  switch (window_) {
    case wfRectangular:
      break;
    case wfBartlett:
      vec::WinBartlett(used);
      break;
    case wfHann:
      vec::WinHann(used);
      break;
    case wfHamming:
      vec::WinHamming(used);
      break;
    case wfBlackmanStd:
      vec::WinBlackmanStd(used);
      break;
    case wfBlackmanOpt:
      vec::WinBlackmanOpt(used);
      break;
  }
  state.Init(used);
  ready = true;
}

void TSignalFIRFilter::ReloadTaps() {
  const std::size_t n = Size(taps_);
  if (ready1_) state1_.Init(std::span<const float>(tapSet1_.data(), n));
  if (ready2_) state2_.Init(std::span<const float>(tapSet2_.data(), n));
}

void TSignalFIRFilter::FilterBranch1(SampleBlock block) {
  const int count = static_cast<int>(block.size());
  if (count != workLength_) SetBufferSamples(count);
  const std::size_t n = block.size();
  vec::Real(block, std::span<float>(work1_.data(), n));
  state1_.Filter(std::span<const float>(work1_.data(), n), std::span<float>(work2_.data(), n));
}

void TSignalFIRFilter::Process(SampleBlock block) {
  FilterBranch1(block);
  vec::RealToCplx(std::span<const float>(work2_.data(), block.size()), {}, block);
}

void TSignalFIRQuadFilter::Process(SampleBlock block) {
  FilterBranch1(block);
  const std::size_t n = block.size();
  state2_.Filter(std::span<const float>(work1_.data(), n), std::span<float>(work3_.data(), n));
  vec::RealToCplx(std::span<const float>(work2_.data(), n),
                  std::span<const float>(work3_.data(), n), block);
}

}  // namespace vivurozed
