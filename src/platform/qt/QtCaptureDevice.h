// The sound card through Qt Multimedia: a capture device for the wave
// input's capture interface. The audio input runs on a thread of its own,
// and the listener is called there (TCaptureInput takes that).
#pragma once

#include <QAudioDevice>
#include <QThread>
#include <atomic>
#include <memory>
#include <string>

#include "platform/AudioCapture.h"

#include <QAudioSource>
#include <QIODevice>
#include <QMediaDevices>
#include <QObject>
#include <QPointer>

namespace vivurozed {

class TQtCaptureDevice : public TCaptureDevice {
 public:
  // Codes Open and CaptureFailed report; ErrorText says what they mean.
  static constexpr int kNoDevice = 2;
  static constexpr int kBadFormat = 32;
  static constexpr int kNotStarted = 100;
  static constexpr int kDeviceGone = 101;
  static constexpr int kAudioError = 110;  // + the audio system's error

  // A null device (no input in the system) refuses to open.
  explicit TQtCaptureDevice(QAudioDevice device);
  ~TQtCaptureDevice() override;
  TQtCaptureDevice(const TQtCaptureDevice&) = delete;
  TQtCaptureDevice& operator=(const TQtCaptureDevice&) = delete;

  // The system's default input, or a null device when there is none.
  static QAudioDevice DefaultInput();
  // The first input whose description contains `name` (any case); the
  // default input for an empty name; a null device when none matches.
  static QAudioDevice FindInput(const std::string& name);
  // The device's name as the system gives it; empty for a null device.
  std::string Description() const;

  // The recording level, 0 .. 1 (the sound system's input volume); any
  // time, also while recording.
  void SetVolume(double volume) override;

  int Open(const TWaveFormat& format, TCaptureListener& listener) override;
  std::string ErrorText(int code) const override;
  void Prepare(TWaveHeader&) override {}
  void Unprepare(TWaveHeader&) override {}
  void AddBuffer(TWaveHeader& header) override { buffers_.Add(header); }
  void Start() override;
  void Stop() override;
  void Reset() override;
  void Close() override;

 private:
  template <typename F>
  void OnCaptureThread(F&& f);
  void Drain();
  void Lose(int code);
  void Release();

  QAudioDevice device_;
  QThread thread_;
  std::unique_ptr<QObject> context_;  // lives on thread_
  std::unique_ptr<QAudioSource> source_;
  std::unique_ptr<QMediaDevices> devices_;
  // The audio source owns its stream and may drop it on an error.
  QPointer<QIODevice> io_;
  TCaptureListener* listener_ = nullptr;
  TCaptureBuffers buffers_;
  std::atomic<bool> stopping_ = false, lost_ = false;
  std::atomic<double> volume_ = 1.0;
};

}  // namespace vivurozed
