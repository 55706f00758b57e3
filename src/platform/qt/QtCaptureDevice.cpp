#include "platform/qt/QtCaptureDevice.h"

#include <QAudioFormat>
#include <QAudioSource>
#include <QIODevice>
#include <QMediaDevices>
#include <QMetaObject>
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
  QMetaObject::invokeMethod(context_, std::forward<F>(f), Qt::BlockingQueuedConnection);
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
  context_ = new QObject;
  context_->moveToThread(&thread_);
  thread_.start();
  OnCaptureThread([this, f] {
    source_ = new QAudioSource(device_, f, context_);
    // A quarter of a second of buffering: the picture should not lag.
    source_->setBufferSize(f.bytesForDuration(250000));
    QObject::connect(source_, &QAudioSource::stateChanged, context_, [this](QAudio::State s) {
      if (s == QAudio::StoppedState && !stopping_ && source_->error() != QAudio::NoError)
        Lose(kAudioError + static_cast<int>(source_->error()));
    });
    devices_ = new QMediaDevices(context_);
    QObject::connect(devices_, &QMediaDevices::audioInputsChanged, context_, [this] {
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
    if (io_ == nullptr || source_->error() != QAudio::NoError) {
      Lose(kNotStarted);
      return;
    }
    QObject::connect(io_, &QIODevice::readyRead, context_, [this] { Drain(); });
  });
}

void TQtCaptureDevice::Drain() {
  if (io_ == nullptr || listener_ == nullptr) return;
  const QByteArray bytes = io_->readAll();
  buffers_.Deliver(std::span(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                             static_cast<std::size_t>(bytes.size())),
                   *listener_);
}

void TQtCaptureDevice::Lose(int code) {
  if (lost_.exchange(true)) return;
  Drain();
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
    // Children of the context, destroyed on the thread that made them.
    delete source_;
    delete devices_;
    source_ = nullptr;
    devices_ = nullptr;
    io_ = nullptr;
  });
  thread_.quit();
  thread_.wait();
  delete context_;
  context_ = nullptr;
}

std::string TQtCaptureDevice::ErrorText(int code) const {
  switch (code) {
    case kNoDevice:
      return "no sound card input was found";  // the only code of a null device
    case kBadFormat:
      return Description() + " cannot record 16-bit audio at this rate";
    case kNotStarted:
      return Description() + " did not start recording";
    case kDeviceGone:
      return Description() + " is no longer there";
    case kAudioError + QAudio::OpenError:
      return Description() + " could not be opened";
    case kAudioError + QAudio::IOError:
      return Description() + " stopped delivering audio";
    case kAudioError + QAudio::UnderrunError:
      return Description() + " ran out of audio";
    case kAudioError + QAudio::FatalError:
      return Description() + " failed";
    default:
      return "audio input error " + std::to_string(code);
  }
}

}  // namespace vivurozed
