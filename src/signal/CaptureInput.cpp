#include "signal/CaptureInput.h"

#include <algorithm>

namespace vivurozed {

// --- TCaptureInput --------------------------------------------------------------

TCaptureInput::TCaptureInput(std::unique_ptr<TCaptureDevice> device, std::string name,
                             TWaveFormat format, int bufferFrames)
    : device_(std::move(device)), name_(std::move(name)), format_(format) {
  const std::size_t bytes =
      static_cast<std::size_t>(std::max(bufferFrames, 1)) * format_.BlockAlign;
  data1_.assign(bytes, 0);
  data2_.assign(bytes, 0);
  for (auto [h, d] : {std::pair{&header1_, &data1_}, {&header2_, &data2_}}) {
    h->Data = d->data();
    h->BufferLength = static_cast<std::uint32_t>(d->size());
    h->Loops = 1;
  }
}

TCaptureInput::~TCaptureInput() {
  try {
    Close();
  } catch (const EWaveInError&) {
    // The audio is on disk; only its header keeps the "unknown" sizes.
  }
}

void TCaptureInput::Start(const std::string& recording) {
  if (open_ || closing_) return;
  if (!device_) {
    throw EWaveInError("Error " + std::to_string(TWaveIn::kNoDeviceError) +
                       " opening wave input - no capture device is available");
  }
  SetRecordingName(recording);
  const int status = device_->Open(format_, *this);
  if (status != 0) {
    throw EWaveInError("Error " + std::to_string(status) + " opening wave input - " +
                       device_->ErrorText(status).substr(0, 100));
  }
  open_ = true;
  try {
    Begin(format_);
  } catch (...) {
    Close();
    throw;
  }
  for (TWaveHeader* h : {&header1_, &header2_}) {
    device_->Prepare(*h);
    device_->AddBuffer(*h);
  }
  device_->Start();
}

void TCaptureInput::CaptureData(TWaveHeader& header) {
  const bool kept = Push(std::span(header.Data, header.BytesRecorded));
  if (kept && !closing_) device_->AddBuffer(header);
}

void TCaptureInput::CaptureFailed(int code) {
  failure_ = device_->ErrorText(code);
}

void TCaptureInput::CaptureClosed() {
  open_ = false;
  if (closing_) {
    Finish();
  } else {
    Finish("The wave input " + name_ + " was lost" + (failure_.empty() ? "" : ": " + failure_));
  }
}

void TCaptureInput::Close() {
  if (closing_.exchange(true)) return;
  if (open_) {
    device_->Stop();
    device_->Reset();
    device_->Close();
    device_->Unprepare(header1_);
    device_->Unprepare(header2_);
  }
  open_ = false;
  Finish();
  CloseRecording();
}

}  // namespace vivurozed
