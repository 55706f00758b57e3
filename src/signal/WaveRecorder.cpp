#include "signal/WaveRecorder.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace vivurozed {

namespace {

constexpr std::uint32_t kUnknownSize = 0xFFFFFFFFu;
constexpr long kRiffSizeAt = 4, kDataSizeAt = 40;
constexpr std::uint32_t kHeaderBytes = 44;

void Put16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
  Put16(p, v & 0xFFFF);
  Put16(p + 2, v >> 16);
}

}  // namespace

TWaveRecorder::TWaveRecorder(std::string fileName, const TWaveFormat& f)
    : fileName_(std::move(fileName)) {
  std::array<std::uint8_t, kHeaderBytes> h{};
  std::memcpy(&h[0], "RIFF", 4);
  Put32(&h[4], kUnknownSize);
  std::memcpy(&h[8], "WAVEfmt ", 8);
  Put32(&h[16], 16);
  Put16(&h[20], 1);
  Put16(&h[22], f.Channels);
  Put32(&h[24], f.SamplesPerSec);
  Put32(&h[28], f.SamplesPerSec * f.BlockAlign);
  Put16(&h[32], f.BlockAlign);
  Put16(&h[34], f.BitsPerSample);
  std::memcpy(&h[36], "data", 4);
  Put32(&h[40], kUnknownSize);
  file_ = std::fopen(fileName_.c_str(), "wb");
  if (file_ == nullptr) Fail("Cannot create the recording ");
  if (std::fwrite(h.data(), 1, h.size(), file_) != h.size() || std::fflush(file_) != 0)
    Fail("Cannot write the recording ");
}

TWaveRecorder::~TWaveRecorder() {
  try {
    Close();
  } catch (const EWaveInError&) {
    // A destructor cannot report it; the audio itself is on disk.
  }
}

void TWaveRecorder::Fail(const char* what) {
  const std::string reason = std::strerror(errno);
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  throw EWaveInError(what + fileName_ + ": " + reason);
}

void TWaveRecorder::Write(std::span<const std::uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  if (file_ == nullptr || bytes.empty()) return;
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size() ||
      std::fflush(file_) != 0) {
    Fail("Cannot write the recording ");
  }
  dataBytes_ += bytes.size();
}

void TWaveRecorder::Close() {
  std::lock_guard lock(mutex_);
  if (file_ == nullptr) return;
  // Sizes past 4 GiB cannot be said: those stay "unknown", read to the end.
  const std::uint64_t pad = dataBytes_ & 1;
  const auto clamp = [](std::uint64_t v) {
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(v, kUnknownSize));
  };
  std::array<std::uint8_t, 4> riff{}, data{};
  Put32(riff.data(), clamp(kHeaderBytes - 8 + dataBytes_ + pad));
  Put32(data.data(), clamp(dataBytes_));
  const std::uint8_t zero = 0;
  const bool ok =
      (pad == 0 || std::fwrite(&zero, 1, 1, file_) == 1) &&
      std::fseek(file_, kRiffSizeAt, SEEK_SET) == 0 && std::fwrite(riff.data(), 1, 4, file_) == 4 &&
      std::fseek(file_, kDataSizeAt, SEEK_SET) == 0 && std::fwrite(data.data(), 1, 4, file_) == 4;
  if (!ok) Fail("Cannot finish the recording ");
  if (std::fclose(file_) != 0) {
    file_ = nullptr;
    throw EWaveInError("Cannot finish the recording " + fileName_ + ": " + std::strerror(errno));
  }
  file_ = nullptr;
}

std::uint64_t TWaveRecorder::DataBytes() const {
  std::lock_guard lock(mutex_);
  return dataBytes_;
}

}  // namespace vivurozed
