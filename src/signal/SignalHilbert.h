// Quadrature band-pass around the subcarrier and the detectors built on it:
// one FIR pass yields the in-phase (I) and quadrature (Q) signal together,
// from which the envelope, a carrier-locked resampling of it or the carrier
// frequency follow.
#pragma once

#include <memory>
#include <vector>

#include "signal/SignalFilters.h"
#include "signal/SignalProcessing.h"

namespace vivurozed {

// A windowed low-pass of cut-off Bandwidth shifted to CarrierFrequency by a
// cosine (branch 1, I) and a sine (branch 2, Q): it passes
// CarrierFrequency +/- Bandwidth. The block becomes (I, Q).
class TSignalHilbertBPF : public TSignalProcessor {
 public:
  TSignalHilbertBPF();

  int CarrierFrequency() const { return carrierFrequency_; }
  virtual void SetCarrierFrequency(int f);
  int Bandwidth() const { return bandwidth_; }
  void SetBandwidth(int hz);
  int FilterTaps() const { return filterTaps_; }
  void SetFilterTaps(int n);
  WindowFuncs WindowFunction() const { return windowFunction_; }
  void SetWindowFunction(WindowFuncs w);
  void SetSampleRate(int rate) override;

  const TSignalFIRQuadFilter& Filter() const { return *filter_; }

 protected:
  virtual void Redesign();
  void Process(SampleBlock block) override;
  TSignalFIRQuadFilter& QuadFilter() { return *filter_; }

 private:
  int carrierFrequency_ = 2400;
  int bandwidth_ = 1100;
  int filterTaps_ = 31;
  WindowFuncs windowFunction_ = wfBlackmanOpt;
  std::unique_ptr<TSignalFIRQuadFilter> filter_;
};

// The block becomes (envelope, envelope).
class TSignalHilbertAMDetector : public TSignalHilbertBPF {
 protected:
  void Process(SampleBlock block) override;
  std::vector<float> envelope_;
};

// The block becomes (envelope, I).
class TSignalHilbertAMDetectorQ : public TSignalHilbertAMDetector {
 protected:
  void Process(SampleBlock block) override;

 private:
  std::vector<float> inPhase_;
};

// Resamples the envelope at every quarter turn of the carrier (four times
// the carrier frequency, whatever the recording speed). The first k samples
// of the block carry the resampled envelope, the rest is zero, and the last
// 12 samples hold an end marker: sample Count-12 is (k, -k), then the text
// of kDataStreamMarker last character first as (code, -code).
class TSignalHilbertSyncAMDetector : public TSignalHilbertBPF {
 public:
  static constexpr char kDataStreamMarker[] = "DATASTREAM ";
  static constexpr int kMarkerSamples = 12;

  TSignalHilbertSyncAMDetector();

  int ResonatorQ() const { return resonatorQ_; }
  void SetResonatorQ(int q);
  void SetCarrierFrequency(int f) override;
  void SetSampleRate(int rate) override;

 protected:
  void Process(SampleBlock block) override;

 private:
  void RedesignResonator();

  std::vector<float> i_, q_, output_;
  int resonatorQ_ = 36;
  TResonatorState resonatorI_, resonatorQState_;
  TResonatorDesign resonator_;
  bool crossedI_ = false, crossedQ_ = false;
  float previousEnvelope_ = 0.0f;
};

// Measures the carrier frequency from the mean phase step of (I, Q); the
// block passes on as (I, Q).
class TSignalHilbertFreqMeter : public TSignalHilbertBPF {
 public:
  TSignalHilbertFreqMeter() = default;

  // 0 until a phase step has been measured.
  double MeasuredFrequency() const;
  void SetCarrierFrequency(int f) override;
  void SetSampleRate(int rate) override;

 protected:
  void Process(SampleBlock block) override;

 private:
  void ResetMeasurement() {
    stepCount_ = 0;
    phaseSum_ = 0;
  }

  int stepCount_ = 0;
  double phaseSum_ = 0;
  float lastPhase_ = 0.0f;
  std::vector<float> envelope_, phase_;
};

}  // namespace vivurozed
