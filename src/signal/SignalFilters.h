// Filters of the chain: fixed recursive filters (a low-pass and two
// band-passes around the subcarrier), a two-channel tunable resonator, and
// windowed-sinc FIR filters with one or two branches.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "platform/VectorLib.h"
#include "signal/SignalProcessing.h"

namespace vivurozed {

// --- Second-order z-plane resonator ------------------------------------------

// Band-pass with zeros at z = +1 and -1 and a pole pair placed so that the
// response at the centre frequency is real, scaled to a peak gain of 1.
struct TResonatorDesign {
  double gain = 1.0;  // the input is divided by it
  double c0 = 0.0;    // multiplies y(n-2)
  double c1 = 0.0;    // multiplies y(n-1)
};

// A centre at or outside 0 .. rate/2, no rate or no quality cannot resonate:
// such a design has an infinite gain and so passes silence.
TResonatorDesign DesignResonator(double frequency, double quality, double sampleRate);

// Filter memory of one resonator channel, oldest first.
struct TResonatorState {
  std::array<double, 3> x{};
  std::array<double, 3> y{};

  void Clear() {
    x = {};
    y = {};
  }
  double Step(const TResonatorDesign& d, double v) {
    x[0] = x[1];
    x[1] = x[2];
    x[2] = v / d.gain;
    y[0] = y[1];
    y[1] = y[2];
    y[2] = (x[2] - x[0]) + d.c0 * y[0] + d.c1 * y[1];
    return y[2];
  }
};

// --- Fixed-coefficient recursive filters --------------------------------------

// Constant coefficients of an N-pole recursive filter.
template <int N>
struct TIIRCoefficients {
  double gain;  // the input is divided by it
  // The weighted sum of the scaled input history x0 (oldest) .. xN.
  double (*inputSum)(const std::array<double, N + 1>& x);
  std::array<double, N> c;  // output weights, c0 multiplies the oldest output
};

// An N-pole filter with constant coefficients (fractions of the sampling
// rate, so the rate does not matter). The memory is never cleared: a second
// file starts with the first file's filter state. The output is written to
// both parts of each sample.
template <int N>
class TSignalIIRFilter : public TSignalProcessor {
 protected:
  explicit TSignalIIRFilter(const TIIRCoefficients<N>& k) : k_(k) {}
  void Process(SampleBlock block) override;

 private:
  const TIIRCoefficients<N>& k_;
  std::array<double, N + 1> x_{};
  std::array<double, N + 1> y_{};
  std::vector<float> work_;
};

// Low-pass, -3 dB at about 0.081 of the sampling rate, unity gain at DC.
class TSignalIIRFilter6pole : public TSignalIIRFilter<6> {
 public:
  TSignalIIRFilter6pole();
};

// Band-pass, -3 dB at about 0.109 and 0.326 of the sampling rate.
class TSignalIIRFilter12pole : public TSignalIIRFilter<12> {
 public:
  TSignalIIRFilter12pole();
};

// The band-pass in front of the analyser's tone detectors.
class TSignalIIRFilter20pole : public TSignalIIRFilter<20> {
 public:
  TSignalIIRFilter20pole();
};

// Two resonators fed the same real input; the left one's output becomes the
// real part and the right one's the imaginary part.
class TSignal2ChResonator : public TSignalProcessor {
 public:
  TSignal2ChResonator();

  int LeftFrequency() const { return leftFrequency_; }
  void SetLeftFrequency(int f);
  int LeftQfactor() const { return leftQ_; }
  void SetLeftQfactor(int q);
  int RightFrequency() const { return rightFrequency_; }
  void SetRightFrequency(int f);
  int RightQfactor() const { return rightQ_; }
  void SetRightQfactor(int q);
  void SetSampleRate(int rate) override;

  const TResonatorDesign& LeftDesign() const { return left_; }
  const TResonatorDesign& RightDesign() const { return right_; }

 protected:
  void Process(SampleBlock block) override;

 private:
  void Redesign();

  TResonatorState leftState_, rightState_;
  int leftFrequency_ = 2125, leftQ_ = 7, rightFrequency_ = 2975, rightQ_ = 7;
  TResonatorDesign left_, right_;
  std::vector<float> workL_, workR_;
};

// --- Windowed-sinc FIR filters -------------------------------------------------

enum FilterTypes : std::uint8_t { ftLowPass = 0, ftHighPass = 1, ftBandPass = 2 };
enum WindowFuncs : std::uint8_t {
  wfRectangular = 0,
  wfBartlett = 1,
  wfHann = 2,
  wfHamming = 3,
  wfBlackmanStd = 4,
  wfBlackmanOpt = 5
};

// Every property change redesigns the filter and so restarts its memory.
// The output is real (imaginary parts 0); the block's imaginary input is
// ignored.
class TSignalFIRFilter : public TSignalProcessor {
 public:
  static constexpr int kMaxTaps = 127;
  using TapSet = std::array<float, kMaxTaps + 1>;

  TSignalFIRFilter();

  FilterTypes FilterType() const { return filterType_; }
  void SetFilterType(FilterTypes t);
  int PassFreq() const { return passFreq_; }
  void SetPassFreq(int f);
  int StopFreq() const { return stopFreq_; }
  void SetStopFreq(int f);
  int Taps() const { return taps_; }
  void SetTaps(int n);
  WindowFuncs WindowFunction() const { return window_; }
  void SetWindowFunction(WindowFuncs w);
  void SetSampleRate(int rate) override;
  void SetBufferSamples(int n) override;

  // The two branches' coefficients; the first Taps() entries are used. A
  // user that writes its own taps calls ReloadTaps afterwards.
  TapSet& TapSet1() { return tapSet1_; }
  TapSet& TapSet2() { return tapSet2_; }
  const TapSet& TapSet1() const { return tapSet1_; }
  const TapSet& TapSet2() const { return tapSet2_; }
  // Restarts each live branch from its tap set with an empty delay line.
  void ReloadTaps();

 protected:
  void Process(SampleBlock block) override;
  // Steps shared by both filters: real input in, branch 1 out.
  void FilterBranch1(SampleBlock block);
  int LimitFreq(int f) const;
  void Design();
  void DesignBranch(TapSet& h, vec::FirState& state, bool& ready);

  FilterTypes filterType_ = ftLowPass;
  int passFreq_ = 3000;
  int stopFreq_ = 10000;
  int taps_ = 31;
  WindowFuncs window_ = wfRectangular;
  bool ready1_ = false, ready2_ = false;
  std::vector<float> work1_, work2_, work3_;
  TapSet tapSet1_{}, tapSet2_{};
  vec::FirState state1_, state2_;
};

// Both branches filter the same real input: branch 1 gives the real part of
// the output, branch 2 the imaginary part.
class TSignalFIRQuadFilter : public TSignalFIRFilter {
 protected:
  void Process(SampleBlock block) override;
};

}  // namespace vivurozed
