// Live audio from a sound card, behind the capture-device interface of the
// wave input. The device may call from a thread of its own: what it
// delivers is queued for the run and kept in the recording as it arrives.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "signal/LiveInput.h"
#include "signal/WaveCommon.h"

namespace vivurozed {

class TCaptureInput : public TQueuedInput, private TCaptureListener {
 public:
  // The device is opened with `format` and filled in blocks of bufferFrames.
  TCaptureInput(std::unique_ptr<TCaptureDevice> device, std::string name,
                TWaveFormat format = PcmFormat(11025, 1), int bufferFrames = 1024);
  ~TCaptureInput() override;
  // Opens and starts the device. Throws EWaveInError ("Error %d opening
  // wave input - %s") when it cannot.
  void Start(const std::string& recording) override;
  std::string Name() const override { return name_; }
  // Stops and closes the device; what it had filled is kept.
  void Close() override;

 private:
  void CaptureOpened() override {}
  void CaptureData(TWaveHeader& header) override;
  void CaptureClosed() override;
  void CaptureFailed(int code) override;

  std::unique_ptr<TCaptureDevice> device_;
  std::string name_;
  TWaveFormat format_;
  std::vector<std::uint8_t> data1_, data2_;
  TWaveHeader header1_, header2_;
  std::atomic<bool> open_ = false, closing_ = false;
  std::string failure_;  // written and read on the device's thread
};

}  // namespace vivurozed
