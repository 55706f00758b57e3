#include "signal/LiveInput.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <filesystem>

#include "platform/InputPipe.h"

namespace vivurozed {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::size_t kMaxHead = 1 << 20;
constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;
constexpr std::array<std::uint8_t, 14> kGuidTail = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                    0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

std::uint32_t Le32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
}
std::uint16_t Le16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

TWaveHead Bad(std::string why) {
  TWaveHead h;
  h.status = TWaveHead::whBad;
  h.error = std::move(why);
  return h;
}

}  // namespace

std::size_t TLiveInput::Read(std::span<std::int16_t> frames, std::chrono::milliseconds wait) {
  const std::size_t n = ReadFrames(frames, wait);
  int peak = 0;
  double squares = 0;
  for (std::size_t i = 0; i < 2 * n; ++i) {
    const int v = frames[i];
    peak = std::max(peak, std::abs(v));
    squares += double(v) * v;
  }
  if (n > 0) {
    std::lock_guard lock(levelMutex_);
    peak_ = std::max(peak_, peak);
    squares_ += squares;
    values_ += 2 * n;
  }
  return n;
}

TLiveInput::TLevels TLiveInput::TakeLevels() {
  std::lock_guard lock(levelMutex_);
  TLevels levels;
  levels.peak = static_cast<float>(peak_) / 32768.0f;
  if (values_ > 0) levels.rms = static_cast<float>(std::sqrt(squares_ / double(values_)) / 32768.0);
  peak_ = 0;
  squares_ = 0;
  values_ = 0;
  return levels;
}

bool IsKnownDataSize(std::uint32_t declared) {
  // Two gigabytes are over a day of 11025 Hz audio: a size that large is a
  // placeholder for "until the stream ends".
  return declared != 0 && declared < 0x7FFF0000u;
}

TWaveHead ParseWaveHead(std::span<const std::uint8_t> b) {
  if (b.empty()) return {};
  if (b.size() < 12) {
    const std::size_t n = std::min<std::size_t>(b.size(), 4);
    if (std::memcmp(b.data(), "RIFF", n) != 0) return Bad("not a RIFF WAVE stream");
    return {};
  }
  if (std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "WAVE", 4) != 0)
    return Bad("not a RIFF WAVE stream");
  TWaveHead h;
  bool haveFormat = false;
  std::size_t pos = 12;
  for (;;) {
    if (pos > kMaxHead) return Bad("no \"data\" chunk in the first megabyte");
    if (b.size() < pos + 8) return {};
    const std::uint8_t* chunk = b.data() + pos;
    const std::uint32_t size = Le32(chunk + 4);
    if (std::memcmp(chunk, "data", 4) == 0) {
      if (!haveFormat) return Bad("the \"data\" chunk comes before the \"fmt \" chunk");
      h.status = TWaveHead::whReady;
      h.dataOffset = pos + 8;
      h.dataSize = size;
      h.sizeKnown = IsKnownDataSize(size);
      return h;
    }
    const std::uint64_t next = std::uint64_t{pos} + 8 + size + (size & 1);
    if (next > kMaxHead) return Bad("no \"data\" chunk in the first megabyte");
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (size < 16) return Bad("its format chunk is too short");
      if (b.size() < pos + 8 + size) return {};
      const std::uint8_t* f = chunk + 8;
      bool pcm = Le16(f) == kFormatPcm;
      if (Le16(f) == kFormatExtensible && size >= 40) {
        pcm = Le16(f + 24) == kFormatPcm && std::equal(kGuidTail.begin(), kGuidTail.end(), f + 26);
      }
      h.format.FormatTag = pcm ? kFormatPcm : Le16(f);
      h.format.Channels = Le16(f + 2);
      h.format.SamplesPerSec = Le32(f + 4);
      h.format.AvgBytesPerSec = Le32(f + 8);
      h.format.BlockAlign = Le16(f + 12);
      h.format.BitsPerSample = Le16(f + 14);
      if (!IsStreamablePcm(h.format)) return Bad("not 8- or 16-bit PCM");
      haveFormat = true;
    }
    pos = static_cast<std::size_t>(next);
  }
}

// --- TQueuedInput -------------------------------------------------------------

TWaveFormat TQueuedInput::Format() const {
  std::lock_guard lock(mutex_);
  return format_;
}

bool TQueuedInput::Ended() const {
  std::lock_guard lock(mutex_);
  return ended_;
}

std::string TQueuedInput::RecordingFile() const {
  std::lock_guard lock(mutex_);
  return recorder_ ? recorder_->FileName() : std::string();
}

std::string TQueuedInput::Failure() const {
  std::lock_guard lock(mutex_);
  return error_;
}

std::uint64_t TQueuedInput::ReceivedBytes() const {
  std::lock_guard lock(mutex_);
  return received_;
}

std::size_t TQueuedInput::QueuedBytes() const {
  std::lock_guard lock(mutex_);
  return queue_.size() - head_;
}

void TQueuedInput::SetRecordingName(const std::string& name) {
  std::lock_guard lock(mutex_);
  recordingName_ = name;
}

void TQueuedInput::Begin(const TWaveFormat& format) {
  if (!IsStreamablePcm(format)) throw EWaveInError("the audio is not 8- or 16-bit PCM");
  std::string name;
  {
    std::lock_guard lock(mutex_);
    name = recordingName_;
  }
  // Made outside the lock: creating a file may take a while.
  auto recorder = name.empty() ? nullptr : std::make_unique<TWaveRecorder>(name, format);
  std::lock_guard lock(mutex_);
  recorder_ = std::move(recorder);
  format_ = format;
}

bool TQueuedInput::Push(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return true;
  TWaveRecorder* recorder = nullptr;
  {
    std::lock_guard lock(mutex_);
    recorder = recorder_.get();
  }
  try {
    if (recorder) recorder->Write(bytes);
  } catch (const EWaveInError& e) {
    Finish(e.what());
    return false;
  }
  {
    std::lock_guard lock(mutex_);
    queue_.insert(queue_.end(), bytes.begin(), bytes.end());
    received_ += bytes.size();
  }
  arrived_.notify_all();
  return true;
}

void TQueuedInput::Finish(const std::string& error) {
  {
    std::lock_guard lock(mutex_);
    if (!finished_ && error_.empty()) error_ = error;
    finished_ = true;
  }
  arrived_.notify_all();
}

void TQueuedInput::CloseRecording() {
  TWaveRecorder* recorder = nullptr;
  {
    std::lock_guard lock(mutex_);
    recorder = recorder_.get();
  }
  if (recorder) recorder->Close();
}

std::size_t TQueuedInput::ReadFrames(std::span<std::int16_t> frames, milliseconds wait) {
  std::unique_lock lock(mutex_);
  const auto ready = [&] {
    return finished_ || (format_.BlockAlign > 0 && queue_.size() - head_ >= format_.BlockAlign);
  };
  arrived_.wait_for(lock, wait, ready);
  if (format_.BlockAlign > 0) {
    const std::size_t n = ConvertToStereo16(std::span(queue_).subspan(head_), format_, frames);
    head_ += n * format_.BlockAlign;
    if (head_ > queue_.size() / 2) {
      queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(head_));
      head_ = 0;
    }
    if (n > 0) return n;
  }
  if (finished_) {
    ended_ = true;
    if (!error_.empty() && !errorReported_) {
      errorReported_ = true;
      throw EWaveInError(error_);
    }
  }
  return 0;
}

// --- TWaveStreamInput -----------------------------------------------------------

TWaveStreamInput::TWaveStreamInput(int fd, std::string name, int rawRate)
    : fd_(fd), name_(std::move(name)), rawRate_(rawRate) {}

TWaveStreamInput::~TWaveStreamInput() {
  try {
    Close();
  } catch (const EWaveInError&) {
    // The audio is on disk; only its header keeps the "unknown" sizes.
  }
}

void TWaveStreamInput::Start(const std::string& recording) {
  if (thread_.joinable()) return;
  SetRecordingName(recording);
  if (rawRate_ > 0) {
    TWaveFormat raw;
    raw.Channels = 1;
    raw.SamplesPerSec = static_cast<std::uint32_t>(rawRate_);
    raw.AvgBytesPerSec = raw.SamplesPerSec * 2;
    raw.BlockAlign = 2;
    raw.BitsPerSample = 16;
    Begin(raw);
  }
  thread_ = std::thread([this] { Pump(); });
}

void TWaveStreamInput::Close() {
  if (closed_) return;
  closed_ = true;
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  Finish();
  CloseRecording();
}

void TWaveStreamInput::Pump() {
  std::vector<std::uint8_t> head;
  std::array<std::uint8_t, 16384> buffer;
  bool headDone = rawRate_ > 0;
  bool bounded = false;
  std::uint64_t remaining = 0;
  try {
    while (!stop_) {
      std::size_t n = 0;
      const TPipeRead r = ReadPipe(fd_, buffer, milliseconds(100), n);
      if (r == prTimeout) continue;
      if (r == prEnd) {
        if (!headDone) {
          Finish(head.empty() ? name_ + " sent nothing" : name_ + " ended inside its WAV header");
        } else if (bounded && remaining > 0) {
          Finish(name_ + " was cut off " + std::to_string(remaining) +
                 " bytes before the end its header announced");
        } else {
          Finish();
        }
        return;
      }
      std::span<const std::uint8_t> data(buffer.data(), n);
      if (!headDone) {
        head.insert(head.end(), data.begin(), data.end());
        const TWaveHead h = ParseWaveHead(head);
        if (h.status == TWaveHead::whNeedMore) continue;
        if (h.status == TWaveHead::whBad) {
          Finish(name_ + ": " + h.error + " (raw samples need their sample rate given)");
          return;
        }
        Begin(h.format);
        headDone = true;
        bounded = h.sizeKnown;
        remaining = h.dataSize;
        data = std::span<const std::uint8_t>(head).subspan(std::min(h.dataOffset, head.size()));
      }
      if (bounded) {
        data =
            data.first(static_cast<std::size_t>(std::min<std::uint64_t>(data.size(), remaining)));
        remaining -= data.size();
      }
      if (!Push(data)) return;
      if (bounded && remaining == 0) {
        Finish();
        return;
      }
    }
  } catch (const std::exception& e) {
    Finish(name_ + ": " + e.what());
  }
}

// --- TGrowingWaveInput -------------------------------------------------------

TGrowingWaveInput::TGrowingWaveInput(std::string fileName, milliseconds quiet)
    : fileName_(std::move(fileName)), quiet_(quiet) {}

void TGrowingWaveInput::Start(const std::string& /*recording*/) {
  lastGrowth_ = Clock::now();
}

bool TGrowingWaveInput::ReadHead(std::uint64_t size) {
  if (!in_.is_open()) {
    in_.open(fileName_, std::ios::binary);
    if (!in_.is_open()) return false;
  }
  std::vector<std::uint8_t> bytes(
      static_cast<std::size_t>(std::min<std::uint64_t>(size, kMaxHead + 8)));
  in_.clear();
  in_.seekg(0);
  in_.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(in_.gcount(), 0)));
  const TWaveHead h = ParseWaveHead(bytes);
  if (h.status == TWaveHead::whBad) throw EWaveInError(fileName_ + ": " + h.error);
  if (h.status == TWaveHead::whNeedMore) return false;
  format_ = h.format;
  dataOffset_ = pos_ = h.dataOffset;
  headDone_ = true;
  return true;
}

std::uint64_t TGrowingWaveInput::DataEnd(std::uint64_t size) {
  // A writer that keeps its header up to date (or has finished it) says
  // where the audio ends; bytes after it are other chunks.
  std::array<std::uint8_t, 4> declared{};
  in_.clear();
  in_.seekg(static_cast<std::streamoff>(dataOffset_ - 4));
  in_.read(reinterpret_cast<char*>(declared.data()), 4);
  if (in_.gcount() != 4) return size;
  const std::uint32_t d = Le32(declared.data());
  return IsKnownDataSize(d) ? std::min<std::uint64_t>(size, dataOffset_ + d) : size;
}

std::size_t TGrowingWaveInput::ReadFrames(std::span<std::int16_t> frames, milliseconds wait) {
  if (ended_) return 0;
  const auto deadline = Clock::now() + wait;
  for (;;) {
    const auto now = Clock::now();
    std::error_code ec;
    const std::uint64_t size = std::filesystem::file_size(fileName_, ec);
    if (!ec && size != lastSize_) {
      if (headDone_ && size < pos_)
        throw EWaveInError(fileName_ + " got shorter while it was being read");
      lastSize_ = size;
      lastGrowth_ = now;
    }
    if (!ec && (headDone_ || ReadHead(size))) {
      const std::uint64_t end = DataEnd(size);
      const std::uint64_t align = format_.BlockAlign;
      const std::size_t n = static_cast<std::size_t>(
          std::min<std::uint64_t>(end > pos_ ? (end - pos_) / align : 0, frames.size() / 2));
      if (n > 0) {
        raw_.resize(n * align);
        in_.clear();
        in_.seekg(static_cast<std::streamoff>(pos_));
        in_.read(reinterpret_cast<char*>(raw_.data()), static_cast<std::streamsize>(raw_.size()));
        const auto got = static_cast<std::size_t>(std::max<std::streamsize>(in_.gcount(), 0));
        const std::size_t whole = ConvertToStereo16(std::span(raw_).first(got), format_, frames);
        pos_ += whole * align;
        if (whole > 0) return whole;
      }
    }
    if (now - lastGrowth_ >= quiet_) {
      if (!headDone_) {
        throw EWaveInError(ec ? "Error opening file " + fileName_
                              : fileName_ + " has no complete WAV header");
      }
      ended_ = true;
      return 0;
    }
    if (now >= deadline) return 0;
    std::this_thread::sleep_for(std::min<Clock::duration>(milliseconds(20), deadline - now));
  }
}

// --- TReplayInput ------------------------------------------------------------

bool TReplayInput::Ended() const {
  return (!replaying_ || replayed_ >= kept_.size()) && inner_.Ended();
}

void TReplayInput::Replay() {
  replaying_ = true;
  replayed_ = 0;
}

std::size_t TReplayInput::ReadFrames(std::span<std::int16_t> frames, milliseconds wait) {
  if (replaying_ && replayed_ < kept_.size()) {
    const std::size_t values = std::min(frames.size() & ~std::size_t{1}, kept_.size() - replayed_);
    std::copy_n(kept_.begin() + static_cast<std::ptrdiff_t>(replayed_), values, frames.begin());
    replayed_ += values;
    if (replayed_ == kept_.size()) {
      kept_.clear();
      kept_.shrink_to_fit();
      replayed_ = 0;
    }
    return values / 2;
  }
  const std::size_t n = inner_.Read(frames, wait);
  if (!replaying_)
    kept_.insert(kept_.end(), frames.begin(), frames.begin() + 2 * static_cast<std::ptrdiff_t>(n));
  return n;
}

}  // namespace vivurozed
