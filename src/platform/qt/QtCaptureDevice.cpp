#include "platform/qt/QtCaptureDevice.h"

#include <QAudioFormat>
#include <QAudioSource>
#include <QIODevice>
#include <QMediaDevices>
#include <QMetaObject>
#include <algorithm>
#include <span>

namespace vivurozed {

TQtCaptureDevice::TQtCaptureDevice(QAudioDevice device) : device_(std::move(device)) {}

TQtCaptureDevice::~TQtCaptureDevice() {
  Release();
}

QAudioDevice TQtCaptureDevice::DefaultInput() {
  return QMediaDevices::defaultAudioInput();
}

QAudioDevice TQtCaptureDevice::FindInput(const std::string& name) {
  if (name.empty()) return DefaultInput();
  const QString wanted = QString::fromStdString(name);
  for (const QAudioDevice& d : QMediaDevices::audioInputs()) {
    if (d.description().contains(wanted, Qt::CaseInsensitive)) return d;
  }
  return {};
}

std::string TQtCaptureDevice::Description() const {
  return device_.isNull() ? std::string() : device_.description().toStdString();
}

template <typename F>
void TQtCaptureDevice::OnCaptureThread(F&& f) {
  if (context_ == nullptr) return;
  QMetaObject::invokeMethod(context_.get(), std::forward<F>(f), Qt::BlockingQueuedConnection);
}

void TQtCaptureDevice::SetVolume(double volume) {
  volume_ = std::clamp(volume, 0.0, 1.0);
  OnCaptureThread([this] {
    if (source_) source_->setVolume(volume_);
  });
}

int TQtCaptureDevice::Open(const TWaveFormat& format, TCaptureListener& listener) {
  if (device_.isNull()) return kNoDevice;
  if (context_ != nullptr) return 0;
  QAudioFormat f;
  f.setSampleRate(static_cast<int>(format.SamplesPerSec));
  f.setChannelCount(format.Channels);
  if (format.BitsPerSample == 16) {
    f.setSampleFormat(QAudioFormat::Int16);
  } else if (format.BitsPerSample == 8) {
    f.setSampleFormat(QAudioFormat::UInt8);
  } else {
    return kBadFormat;
  }
  if (!device_.isFormatSupported(f)) return kBadFormat;

  listener_ = &listener;
  stopping_ = false;
  lost_ = false;
  context_ = std::make_unique<QObject>();
  context_->moveToThread(&thread_);
  thread_.start();
  OnCaptureThread([this, f] {
    // Made, used and destroyed on the capture thread.
    source_ = std::make_unique<QAudioSource>(device_, f);
    // A quarter of a second of buffering: the picture should not lag.
    source_->setBufferSize(f.bytesForDuration(250000));
    source_->setVolume(volume_);
    QObject::connect(
        source_.get(), &QAudioSource::stateChanged, context_.get(), [this](QAudio::State s) {
          if (s == QAudio::StoppedState && !stopping_ && source_->error() != QAudio::NoError)
            Lose(kAudioError + static_cast<int>(source_->error()));
        });
    devices_ = std::make_unique<QMediaDevices>();
    QObject::connect(devices_.get(), &QMediaDevices::audioInputsChanged, context_.get(), [this] {
      if (!QMediaDevices::audioInputs().contains(device_)) Lose(kDeviceGone);
    });
  });
  listener.CaptureOpened();
  return 0;
}

void TQtCaptureDevice::Start() {
  OnCaptureThread([this] {
    if (lost_) return;
    io_ = source_->start();
    if (io_.isNull() || source_->error() != QAudio::NoError) {
      Lose(kNotStarted);
      return;
    }
    QObject::connect(io_.data(), &QIODevice::readyRead, context_.get(), [this] { Drain(); });
  });
}

void TQtCaptureDevice::Drain() {
  if (io_.isNull() || listener_ == nullptr) return;
  const QByteArray bytes = io_->readAll();
  buffers_.Deliver(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                             static_cast<std::size_t>(bytes.size())),
                   *listener_);
}

void TQtCaptureDevice::Lose(int code) {
  if (lost_.exchange(true)) return;
  // What had arrived, to the last byte, is handed over before the failure.
  Drain();
  buffers_.Reset(*listener_);
  stopping_ = true;
  source_->stop();
  io_ = nullptr;
  listener_->CaptureFailed(code);
  listener_->CaptureClosed();
}

void TQtCaptureDevice::Stop() {
  OnCaptureThread([this] {
    stopping_ = true;
    Drain();  // what the sound system still holds
    if (source_) source_->stop();
    io_ = nullptr;
  });
}

void TQtCaptureDevice::Reset() {
  OnCaptureThread([this] {
    if (listener_) buffers_.Reset(*listener_);
  });
}

void TQtCaptureDevice::Close() {
  const bool announce = context_ != nullptr && !lost_;
  Release();
  if (announce && listener_) listener_->CaptureClosed();
}

void TQtCaptureDevice::Release() {
  if (context_ == nullptr) return;
  OnCaptureThread([this] {
    stopping_ = true;
    io_ = nullptr;
    source_.reset();
    devices_.reset();
  });
  thread_.quit();
  thread_.wait();
  context_.reset();  // its thread has ended
}

std::string TQtCaptureDevice::ErrorText(int code) const {
  switch (code) {
    case kNoDevice:
      return "no sound card input was found";
    case kBadFormat:
      return "the sound card cannot record 16-bit audio at this rate";
    case kNotStarted:
      return "the sound card did not start recording";
    case kDeviceGone:
      return "the sound card is no longer there";
    case kAudioError + QAudio::OpenError:
      return "the sound card could not be opened";
    case kAudioError + QAudio::IOError:
      return "the sound card stopped delivering audio";
    case kAudioError + QAudio::UnderrunError:
      return "the sound card ran out of audio";
    case kAudioError + QAudio::FatalError:
      return "the sound system failed";
    default:
      return "sound card error " + std::to_string(code);
  }
}

}  // namespace vivurozed
