// The audio-capture service of the platform, as the wave input sees it: a
// device opened with a format, double-buffered, telling its listener when a
// buffer is full, and the buffer queue a device implementation fills.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <string>

namespace vivurozed {

// A buffer handed between the reader or the capture device and the block
// handler. A capture device fills it in the format it was opened with.
struct TWaveHeader {
  std::uint8_t* Data = nullptr;
  std::uint32_t BufferLength = 0;
  std::uint32_t BytesRecorded = 0;
  std::uintptr_t User = 0;
  std::uint32_t Flags = 0;
  std::uint32_t Loops = 0;
};

// The platform's PCM format record.
struct TWaveFormat {
  std::uint16_t FormatTag = 1;
  std::uint16_t Channels = 2;
  std::uint32_t SamplesPerSec = 44100;
  std::uint32_t AvgBytesPerSec = 44100 * 4;
  std::uint16_t BlockAlign = 4;
  std::uint16_t BitsPerSample = 16;
};

// 16-bit PCM at `rate` with `channels` channels.
TWaveFormat PcmFormat(int rate, int channels);

// What a capture device tells its owner. A device calls these on the
// owner's thread unless it says otherwise (TWaveIn's own capture face needs
// the owner's thread); CaptureClosed is delivered before Close returns.
class TCaptureListener {
 public:
  virtual ~TCaptureListener() = default;
  virtual void CaptureOpened() = 0;
  virtual void CaptureData(TWaveHeader& header) = 0;
  virtual void CaptureClosed() = 0;
  // The device failed while running (unplugged, stopped by the system);
  // CaptureClosed follows.
  virtual void CaptureFailed(int /*code*/) {}
};

// A sound-card input, as the wave input's capture face and the live capture
// input of a run use it.
class TCaptureDevice {
 public:
  virtual ~TCaptureDevice() = default;
  // Returns 0 on success, otherwise an error code for ErrorText.
  virtual int Open(const TWaveFormat& format, TCaptureListener& listener) = 0;
  virtual std::string ErrorText(int code) const = 0;
  virtual void Prepare(TWaveHeader& header) = 0;
  virtual void Unprepare(TWaveHeader& header) = 0;
  virtual void AddBuffer(TWaveHeader& header) = 0;
  virtual void Start() = 0;
  virtual void Stop() = 0;
  virtual void Reset() = 0;
  virtual void Close() = 0;
  // The recording level, 0 .. 1, where the device has one; any time.
  virtual void SetVolume(double /*volume*/) {}
};

// The buffers a device fills: bytes come in whatever pieces the sound
// system hands over; each queued buffer is filled in turn and given to the
// listener when full. Any thread may queue; one thread delivers.
class TCaptureBuffers {
 public:
  void Add(TWaveHeader& header);
  // Fills queued buffers with `bytes`; bytes that find no queued buffer are
  // counted as dropped.
  void Deliver(std::span<const std::uint8_t> bytes, TCaptureListener& listener);
  // Hands over the partly filled buffer, then forgets every queued one (a
  // device being reset returns its buffers).
  void Reset(TCaptureListener& listener);
  std::uint64_t DroppedBytes() const;

 private:
  mutable std::mutex mutex_;
  std::deque<TWaveHeader*> queue_;
  std::uint64_t dropped_ = 0;
};

}  // namespace vivurozed
