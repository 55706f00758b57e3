// The push-model chain every sample flows through: a source reads blocks and
// hands each to the next processor named by its DataSink; each processor
// transforms the block in place and hands it on.
#pragma once

#include <array>
#include <chrono>
#include <complex>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "signal/WaveCommon.h"

namespace vivurozed {

using TSample = std::complex<float>;  // real part first, like the interleaved block
using SampleBlock = std::span<TSample>;

class TSignalProcessor {
 public:
  TSignalProcessor() = default;
  virtual ~TSignalProcessor() = default;
  TSignalProcessor(const TSignalProcessor&) = delete;
  TSignalProcessor& operator=(const TSignalProcessor&) = delete;

  TSignalProcessor* DataSink() const { return dataSink_; }
  void SetDataSink(TSignalProcessor* sink) { dataSink_ = sink; }
  int SampleRate() const { return sampleRate_; }
  virtual void SetSampleRate(int rate);
  virtual void SetBufferSamples(int /*n*/) {}
  int TotalSamples() const { return totalSamples_; }
  void SetTotalSamples(int n) { totalSamples_ = n; }

  virtual void BeginData();
  virtual void EndData();
  virtual void DataIn(TSignalProcessor* sender, SampleBlock block);

  // Time spent in this processor's own work (a diagnostic).
  std::chrono::nanoseconds ProcessingTime() const { return processingTime_; }
  void ResetProcessingTime() { processingTime_ = {}; }

  std::string Name;

 protected:
  virtual void Process(SampleBlock /*block*/) {}
  bool HasSink() const { return dataSink_ != nullptr && dataSink_ != this; }

  // Adds the lifetime of the object to the processor's processing time.
  class TimedScope {
   public:
    explicit TimedScope(TSignalProcessor& p) : p_(p), start_(std::chrono::steady_clock::now()) {}
    ~TimedScope() { p_.processingTime_ += std::chrono::steady_clock::now() - start_; }
    TimedScope(const TimedScope&) = delete;
    TimedScope& operator=(const TimedScope&) = delete;

   private:
    TSignalProcessor& p_;
    std::chrono::steady_clock::time_point start_;
  };

  int workLength_ = 0;  // the Count the work buffers were last sized for

 private:
  TSignalProcessor* dataSink_ = nullptr;
  int sampleRate_ = 0;
  int totalSamples_ = 0;
  std::chrono::nanoseconds processingTime_{};
};

enum TChannelSelect : std::uint8_t {
  chSum = 0,
  chDiff = 1,
  chLeft = 2,
  chRight = 3,
  chCplx = 4,
  chMonoToBoth = 5
};

class TSignalSource;

// The wave reader of a TSignalSource: turns each 16-bit stereo block into a
// float block by the channel choice, with optional AGC, and feeds the source.
class TSignalSourceWaveIn : public TWaveIn {
 public:
  explicit TSignalSourceWaveIn(TSignalSource* owner);
  void SetBufferSamples(int n) override;

  bool AgcEnabled() const { return agc_; }
  float AgcGain() const { return agcGain_; }
  void SetAgc(bool on) {
    agcGain_ = 1.0f;
    agc_ = on;
  }
  TChannelSelect ChannelSelect() const { return channelSelect_; }
  void SetChannelSelect(TChannelSelect c) { channelSelect_ = c; }

 protected:
  void SampleRateChanged() override;
  void DoOpen() override;
  void DoData() override;
  void DoDataStart() override;
  void DoDataEnd() override;

 private:
  TSignalSource* owner_;
  std::vector<TSample> work_;
  bool agc_ = false;
  float agcGain_ = 0.0f;
  TChannelSelect channelSelect_ = chSum;
};

class TSignalSource : public TSignalProcessor {
 public:
  TSignalSource();

  int BufferSamples() const { return bufferSamples_; }
  void SetBufferSamples(int n) override;
  TChannelSelect ChannelSelect() const { return waveIn_->ChannelSelect(); }
  void SetChannelSelect(TChannelSelect c) { waveIn_->SetChannelSelect(c); }
  bool Enabled() const { return waveIn_->Enabled(); }
  void SetEnabled(bool on) { waveIn_->SetEnabled(on); }
  bool AGC() const { return waveIn_->AgcEnabled(); }
  void SetAGC(bool on) { waveIn_->SetAgc(on); }
  void SetOnOpen(TWaveIn::TNotifyEvent e) { waveIn_->SetOnOpen(std::move(e)); }
  void SetOnClose(TWaveIn::TNotifyEvent e) { waveIn_->SetOnClose(std::move(e)); }

  void ReadFile(const std::string& fileName, int maxSamples = 0, int startSample = 0) {
    waveIn_->ReadFile(fileName, maxSamples, startSample);
  }
  // Audio that arrives while it is decoded; see TWaveIn::ReadLive.
  void ReadLive(TLiveInput& input, int totalSamples, const std::function<void()>& poll = {}) {
    waveIn_->ReadLive(input, totalSamples, poll);
  }
  void Stop() { waveIn_->Stop(); }
  void DataIn(TSignalProcessor* sender, SampleBlock block) override;

  TSignalSourceWaveIn& WaveIn() { return *waveIn_; }

 private:
  std::unique_ptr<TSignalSourceWaveIn> waveIn_;
  int bufferSamples_ = 0;
};

// Averages successive periods of a signal, sample by sample.
class TSignalAverage : public TSignalProcessor {
 public:
  TSignalAverage() { Reset(); }
  void Reset();
  void SetPeriod(int length);
  int PassCount() const { return passCount_; }
  const std::vector<float>& AverageRe() const { return averageRe_; }
  const std::vector<float>& AverageIm() const { return averageIm_; }

 protected:
  void Process(SampleBlock block) override;

 private:
  int passCount_ = 0;
  int position_ = 0;
  std::vector<float> averageRe_, averageIm_;
};

// One turn of a unit phasor rotating clockwise, 32768 entries.
const std::array<TSample, 32768>& SineTable();

// A table-driven complex oscillator whose phase runs on across calls.
class TSignalOscillator : public TSignalProcessor {
 public:
  float Frequency() const { return frequency_; }
  void SetFrequency(float f) {
    if (f != frequency_) frequency_ = f;
  }
  float Phase() const { return phase_; }
  void SetPhase(float p);
  // Fills the oscillator's own buffer with count samples and returns it.
  std::span<const TSample> Generate(int count);

 private:
  float frequency_ = 0.0f;
  float phase_ = 0.0f;
  std::uint32_t accumulator_ = 0;  // 30-bit phase
  std::vector<TSample> output_;
};

}  // namespace vivurozed
