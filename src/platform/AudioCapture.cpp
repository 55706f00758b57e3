#include "platform/AudioCapture.h"

#include <algorithm>
#include <cstring>

namespace vivurozed {

TWaveFormat PcmFormat(int rate, int channels) {
  TWaveFormat f;
  f.FormatTag = 1;
  f.Channels = static_cast<std::uint16_t>(channels);
  f.SamplesPerSec = static_cast<std::uint32_t>(rate);
  f.BlockAlign = static_cast<std::uint16_t>(2 * channels);
  f.AvgBytesPerSec = f.SamplesPerSec * f.BlockAlign;
  f.BitsPerSample = 16;
  return f;
}

void TCaptureBuffers::Add(TWaveHeader& header) {
  header.BytesRecorded = 0;
  std::lock_guard lock(mutex_);
  queue_.push_back(&header);
}

void TCaptureBuffers::Deliver(std::span<const std::uint8_t> bytes, TCaptureListener& listener) {
  while (!bytes.empty()) {
    TWaveHeader* full = nullptr;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty()) {
        dropped_ += bytes.size();
        return;
      }
      TWaveHeader& h = *queue_.front();
      const std::size_t n = std::min<std::size_t>(bytes.size(), h.BufferLength - h.BytesRecorded);
      std::memcpy(h.Data + h.BytesRecorded, bytes.data(), n);
      h.BytesRecorded += static_cast<std::uint32_t>(n);
      bytes = bytes.subspan(n);
      if (h.BytesRecorded == h.BufferLength) {
        full = &h;
        queue_.pop_front();
      }
    }
    // Outside the lock: the listener queues the buffer again from here.
    if (full) listener.CaptureData(*full);
  }
}

void TCaptureBuffers::Reset(TCaptureListener& listener) {
  TWaveHeader* partial = nullptr;
  {
    std::lock_guard lock(mutex_);
    if (!queue_.empty() && queue_.front()->BytesRecorded > 0) partial = queue_.front();
    queue_.clear();
  }
  if (partial) listener.CaptureData(*partial);
}

std::uint64_t TCaptureBuffers::DroppedBytes() const {
  std::lock_guard lock(mutex_);
  return dropped_;
}

}  // namespace vivurozed
