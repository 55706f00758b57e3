// The program's only way of getting samples: TWaveIn streams a RIFF WAVE
// file block by block, or audio that arrives while it is read (a pipe, a
// growing file, the sound card: signal/LiveInput.h), or captures from a
// sound-card device, through one per-block path, so that nothing downstream
// can tell them apart.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/AudioCapture.h"

namespace vivurozed {

class EWaveInError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A PCM format the readers can stream: 8 or 16 bits, 1 to 32 channels, a
// rate, and frames that hold every channel they claim.
bool IsStreamablePcm(const TWaveFormat& format);
// Turns whole frames of `format` into 16-bit stereo (left, right): 8-bit
// samples are widened, mono fills both slots, channels after the second are
// dropped. Converts min(raw frames, stereo.size() / 2) frames, returns how many.
std::size_t ConvertToStereo16(std::span<const std::uint8_t> raw, const TWaveFormat& format,
                              std::span<std::int16_t> stereo);

class TLiveInput;

class TWaveIn : private TCaptureListener {
 public:
  using TNotifyEvent = std::function<void(TWaveIn& sender)>;
  using THaveDataEvent = std::function<void(TWaveHeader& header)>;

  enum TState : std::uint8_t { wsClosed = 0, wsOpened = 1, wsRunning = 2, wsClosing = 3 };
  static constexpr int kNoDeviceError = 2;

  TWaveIn();
  ~TWaveIn() override;
  TWaveIn(const TWaveIn&) = delete;
  TWaveIn& operator=(const TWaveIn&) = delete;

  int Status() const { return status_; }
  bool Enabled() const { return enabled_; }
  virtual void SetEnabled(bool value);
  bool AutoStart() const { return autoStart_; }
  void SetAutoStart(bool value);
  int BufferSamples() const { return bufferSamples_; }
  virtual void SetBufferSamples(int n);
  int BufferNumber() const { return bufferNumber_; }
  int SampleRate() const { return sampleRate_; }
  int TotalSamples() const { return totalSamples_; }
  TState State() const { return state_; }

  void SetOnOpen(TNotifyEvent e);
  void SetOnClose(TNotifyEvent e);
  void SetOnData(THaveDataEvent e);

  // The device used when Enabled; without one, opening fails.
  void SetCaptureDevice(std::unique_ptr<TCaptureDevice> device);

  void Start();
  // Ends a running read after the current block; any thread may call it.
  void Stop() { stopFlag_ = true; }

  // Streams a WAVE file through the block handler. maxSamples 0 means the
  // whole file; startSample frames are skipped first.
  void ReadFile(const std::string& fileName, int maxSamples = 0, int startSample = 0);
  // The same on an open stream; caption names it in messages.
  void ReadStream(std::istream& in, const std::string& caption, int maxSamples = 0,
                  int startSample = 0);
  // Streams audio that arrives while it is read, through the same block
  // handler, until the input ends or Stop. totalSamples stands in for the
  // unknown length. poll runs between reads (and while none comes), so that
  // a stop request is seen even when the input stalls. Errors of the input
  // propagate as EWaveInError, as file errors do.
  void ReadLive(TLiveInput& input, int totalSamples, const std::function<void()>& poll = {});

 protected:
  virtual void SampleRateChanged() {}
  virtual void DoOpen();
  virtual void DoClose();
  virtual void DoData();
  virtual void DoDataStart() {}
  virtual void DoDataEnd() {}

  TWaveHeader* CurrentHeader() const { return current_; }
  bool DeviceOpen() const { return device_ != nullptr && deviceOpen_; }
  // Hands the current capture buffer back to the device (no-op for files).
  void RequeueCurrent();
  void CountBuffer() { ++bufferNumber_; }

 private:
  void CaptureOpened() override { DoOpen(); }
  void CaptureData(TWaveHeader& header) override;
  void CaptureClosed() override;
  void Reopen();
  void FillHeader(TWaveHeader& header, std::vector<std::int16_t>& data);

  bool enabled_ = false;
  bool autoStart_ = false;
  std::atomic<bool> stopFlag_ = false;
  bool deviceOpen_ = false;
  bool closeSeen_ = false;
  int status_ = 0;
  TState state_ = wsClosed;
  int bufferSamples_ = 0;
  int bufferNumber_ = 0;
  int sampleRate_ = 44100;
  int totalSamples_ = 0;
  TWaveFormat captureFormat_;
  TWaveHeader header1_, header2_, fileHeader_;
  std::vector<std::int16_t> data1_, data2_;  // 16-bit stereo frames
  TWaveHeader* current_ = nullptr;
  std::unique_ptr<TCaptureDevice> device_;
  TNotifyEvent onOpen_, onClose_;
  THaveDataEvent onData_;
};

// Rate and frame count of a WAVE file without decoding it; false when the
// file cannot be opened or has no usable "fmt " and "data" chunks. No PCM
// check is made.
bool GetWaveFileInfo(const std::string& fileName, int& sampleRate, int& frameCount);
bool GetWaveStreamInfo(std::istream& in, int& sampleRate, int& frameCount);

}  // namespace vivurozed
