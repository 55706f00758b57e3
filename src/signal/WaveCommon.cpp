#include "signal/WaveCommon.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <istream>
#include <type_traits>

#include "platform/UserMessages.h"
#include "signal/LiveInput.h"

namespace vivurozed {

namespace {

constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;
// The tail of the PCM sub-format GUID shared by every KSDATAFORMAT subtype.
constexpr std::array<std::uint8_t, 14> kGuidTail = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                    0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr int kMaxBufferSamples = 1 << 22;
constexpr int kMaxChannels = 32;
constexpr const char* kNotPcm = "File is not a PCM file";

std::uint32_t Le32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
}
std::uint16_t Le16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

struct Chunk {
  std::uint64_t offset = 0;  // of the chunk's data
  std::uint64_t size = 0;    // declared size, possibly clamped (see FindChunk)
};

struct WaveLayout {
  std::vector<std::uint8_t> fmt;  // the format chunk's bytes (at most 64 kept)
  Chunk fmtChunk, dataChunk;
  bool haveFmt = false, haveData = false;
  std::uint16_t tag = 0, channels = 0, blockAlign = 0, bits = 0;
  std::uint32_t rate = 0;
};

class RiffFile {
 public:
  explicit RiffFile(std::istream& in) : in_(in) {
    in_.clear();
    in_.seekg(0, std::ios::end);
    const auto end = in_.tellg();
    size_ = end < 0 ? 0 : static_cast<std::uint64_t>(end);
    next_ = kUnknown;
  }
  std::uint64_t Size() const { return size_; }

  bool Read(std::uint64_t offset, void* dst, std::size_t n) {
    if (offset > size_ || n > size_ - offset) return false;
    // Blocks are read one after the other: seeking only when the position
    // differs keeps the stream's buffer, where a seek would empty it.
    if (offset != next_) {
      in_.clear();
      in_.seekg(static_cast<std::streamoff>(offset));
    }
    in_.read(static_cast<char*>(dst), static_cast<std::streamsize>(n));
    const bool whole = static_cast<std::size_t>(in_.gcount()) == n;
    next_ = whole ? offset + n : kUnknown;
    return whole;
  }

  // Searches the chunks from `from` to the end of the file. The RIFF size is
  // not trusted: recorders that never finished their header leave it wrong.
  // A chunk that runs past the end of the file ends the search, except the
  // one sought when clampToEnd is set: it then holds what is really there.
  // A data chunk declared empty with bytes after it also runs to the end.
  bool FindChunk(const char id[4], std::uint64_t from, bool clampToEnd, Chunk& chunk) {
    std::uint64_t pos = from;
    std::uint8_t head[8];
    while (pos <= size_ && size_ - pos >= 8 && Read(pos, head, 8)) {
      const std::uint64_t dataStart = pos + 8;
      const std::uint64_t declared = Le32(head + 4);
      const std::uint64_t available = size_ - dataStart;
      if (std::memcmp(head, id, 4) == 0) {
        chunk.offset = dataStart;
        chunk.size = declared;
        if (clampToEnd && (declared > available || (declared == 0 && available > 0))) {
          chunk.size = available;
        }
        return chunk.size <= available;
      }
      if (declared > available) return false;
      pos = dataStart + declared + (declared & 1);  // chunks are padded to even length
    }
    return false;
  }

 private:
  std::istream& in_;
  std::uint64_t size_ = 0;
  static constexpr std::uint64_t kUnknown = ~std::uint64_t{0};
  std::uint64_t next_ = kUnknown;  // where the stream stands after the last whole read
};

// Finds the WAVE form, its "fmt " chunk and, after it, the "data" chunk.
// haveFmt and haveData say how far it got.
WaveLayout ParseLayout(RiffFile& file) {
  WaveLayout w;
  std::uint8_t head[12];
  if (!file.Read(0, head, 12) || std::memcmp(head, "RIFF", 4) != 0 ||
      std::memcmp(head + 8, "WAVE", 4) != 0) {
    return w;
  }
  if (!file.FindChunk("fmt ", 12, false, w.fmtChunk)) return w;
  w.fmt.resize(static_cast<std::size_t>(std::min<std::uint64_t>(w.fmtChunk.size, 64)));
  if (!file.Read(w.fmtChunk.offset, w.fmt.data(), w.fmt.size())) return w;
  w.haveFmt = true;
  if (w.fmt.size() >= 16) {
    w.tag = Le16(&w.fmt[0]);
    w.channels = Le16(&w.fmt[2]);
    w.rate = Le32(&w.fmt[4]);
    w.blockAlign = Le16(&w.fmt[12]);
    w.bits = Le16(&w.fmt[14]);
  }
  const std::uint64_t afterFmt = w.fmtChunk.offset + w.fmtChunk.size + (w.fmtChunk.size & 1);
  w.haveData = file.FindChunk("data", afterFmt, true, w.dataChunk);
  return w;
}

bool IsPcm(const WaveLayout& w) {
  if (w.fmt.size() < 16) return false;
  bool pcm = w.tag == kFormatPcm;
  if (w.tag == kFormatExtensible && w.fmt.size() >= 40) {
    // Recording programs write PCM as WAVE_FORMAT_EXTENSIBLE with the PCM
    // sub-format GUID.
    pcm = Le16(&w.fmt[24]) == kFormatPcm &&
          std::equal(kGuidTail.begin(), kGuidTail.end(), w.fmt.begin() + 26);
  }
  TWaveFormat f;
  f.FormatTag = pcm ? kFormatPcm : w.tag;
  f.Channels = w.channels;
  f.SamplesPerSec = w.rate;
  f.BlockAlign = w.blockAlign;
  f.BitsPerSample = w.bits;
  return IsStreamablePcm(f);
}

int ClampToInt(std::uint64_t v) {
  return v > INT_MAX ? INT_MAX : static_cast<int>(v);
}

}  // namespace

bool IsStreamablePcm(const TWaveFormat& f) {
  if (f.FormatTag != kFormatPcm || (f.BitsPerSample != 8 && f.BitsPerSample != 16)) return false;
  // A frame must hold every channel it claims; a zero count or rate is a
  // broken header, not a format we can stream. Frames far wider than their
  // samples (or hundreds of channels) would make every read buffer huge.
  const int sampleBytes = f.Channels * (f.BitsPerSample / 8);
  return f.Channels > 0 && f.Channels <= kMaxChannels && f.SamplesPerSec > 0 &&
         f.BlockAlign >= sampleBytes && f.BlockAlign <= 2 * sampleBytes;
}

std::size_t ConvertToStereo16(std::span<const std::uint8_t> raw, const TWaveFormat& format,
                              std::span<std::int16_t> stereo) {
  const std::size_t frameBytes = format.BlockAlign;
  if (frameBytes == 0) return 0;
  const std::size_t frames = std::min(raw.size() / frameBytes, stereo.size() / 2);
  const bool eight = format.BitsPerSample == 8;
  const std::size_t sampleBytes = eight ? 1 : 2;
  const std::size_t secondOffset = format.Channels >= 2 ? sampleBytes : 0;  // mono fills both
  // The layout is fixed for the common formats, so that their loops vectorise.
  auto convert = [&](auto eightBits, auto step, auto second) {
    for (std::size_t f = 0; f < frames; ++f) {
      const std::uint8_t* p = raw.data() + f * step;
      if constexpr (decltype(eightBits)::value) {
        stereo[2 * f] = static_cast<std::int16_t>((p[0] - 128) * 256);
        stereo[2 * f + 1] = static_cast<std::int16_t>((p[second] - 128) * 256);
      } else {
        stereo[2 * f] = static_cast<std::int16_t>(Le16(p));
        stereo[2 * f + 1] = static_cast<std::int16_t>(Le16(p + second));
      }
    }
  };
  using std::integral_constant;
  using Size = std::size_t;
  if (!eight && frameBytes == 2 && secondOffset == 0)
    convert(std::false_type{}, integral_constant<Size, 2>{}, integral_constant<Size, 0>{});
  else if (!eight && frameBytes == 4 && secondOffset == 2)
    convert(std::false_type{}, integral_constant<Size, 4>{}, integral_constant<Size, 2>{});
  else if (eight && frameBytes == 2 && secondOffset == 1)
    convert(std::true_type{}, integral_constant<Size, 2>{}, integral_constant<Size, 1>{});
  else if (eight)
    convert(std::true_type{}, frameBytes, secondOffset);
  else
    convert(std::false_type{}, frameBytes, secondOffset);
  return frames;
}

TWaveIn::TWaveIn() {
  captureFormat_.SamplesPerSec = static_cast<std::uint32_t>(sampleRate_);
  captureFormat_.AvgBytesPerSec = captureFormat_.SamplesPerSec * 4;
  SetBufferSamples(4410);
}

TWaveIn::~TWaveIn() {
  onOpen_ = nullptr;
  onClose_ = nullptr;
  onData_ = nullptr;
  enabled_ = false;
  Reopen();
}

void TWaveIn::SetEnabled(bool value) {
  if (value == enabled_) return;
  enabled_ = value;
  Reopen();
}

void TWaveIn::SetAutoStart(bool value) {
  autoStart_ = value;
  enabled_ = false;
  Reopen();
}

void TWaveIn::SetBufferSamples(int n) {
  if (n == bufferSamples_) return;
  if (n < 1 || n > kMaxBufferSamples) {
    throw EWaveInError("Buffer size of " + std::to_string(n) + " samples is out of range");
  }
  const bool wasEnabled = enabled_;
  enabled_ = false;
  Reopen();
  bufferSamples_ = n;
  data1_.assign(static_cast<std::size_t>(n) * 2, 0);
  data2_.assign(static_cast<std::size_t>(n) * 2, 0);
  if (wasEnabled) {
    enabled_ = true;
    Reopen();
  }
}

void TWaveIn::SetOnOpen(TNotifyEvent e) {
  onOpen_ = std::move(e);
  Reopen();
}
void TWaveIn::SetOnClose(TNotifyEvent e) {
  onClose_ = std::move(e);
  Reopen();
}
void TWaveIn::SetOnData(THaveDataEvent e) {
  onData_ = std::move(e);
  Reopen();
}

void TWaveIn::SetCaptureDevice(std::unique_ptr<TCaptureDevice> device) {
  const bool wasEnabled = enabled_;
  enabled_ = false;
  Reopen();
  device_ = std::move(device);
  if (wasEnabled) {
    enabled_ = true;
    Reopen();
  }
}

void TWaveIn::Reopen() {
  if (DeviceOpen()) {
    state_ = wsClosing;
    closeSeen_ = false;
    device_->Stop();
    device_->Reset();
    device_->Close();
    if (!closeSeen_) DoClose();  // the close must have run before we go on
  }
  if (!enabled_) return;
  state_ = wsOpened;
  if (!device_) {
    status_ = kNoDeviceError;
    throw EWaveInError("Error " + std::to_string(status_) +
                       " opening wave input - no capture device is available");
  }
  deviceOpen_ = true;
  status_ = device_->Open(captureFormat_, *this);
  if (status_ != 0) {
    deviceOpen_ = false;
    std::string text = device_->ErrorText(status_).substr(0, 100);
    throw EWaveInError("Error " + std::to_string(status_) + " opening wave input - " + text);
  }
}

void TWaveIn::FillHeader(TWaveHeader& header, std::vector<std::int16_t>& data) {
  header = TWaveHeader{};
  header.Data = reinterpret_cast<std::uint8_t*>(data.data());
  header.BufferLength = static_cast<std::uint32_t>(data.size() * 2);
  header.Loops = 1;
}

void TWaveIn::DoOpen() {
  if (state_ != wsOpened || !DeviceOpen()) return;
  FillHeader(header1_, data1_);
  FillHeader(header2_, data2_);
  for (TWaveHeader* h : {&header1_, &header2_}) {
    device_->Prepare(*h);
    device_->AddBuffer(*h);
  }
  bufferNumber_ = 0;
  if (onOpen_) onOpen_(*this);
  if (autoStart_) Start();
}

void TWaveIn::Start() {
  if (state_ != wsOpened || !DeviceOpen()) return;
  state_ = wsRunning;
  device_->Start();
}

void TWaveIn::CaptureData(TWaveHeader& header) {
  current_ = &header;
  DoData();
}

void TWaveIn::CaptureClosed() {
  closeSeen_ = true;
  DoClose();
}

void TWaveIn::DoData() {
  if (state_ != wsRunning || current_ == nullptr) return;
  const int frames = static_cast<int>(current_->BytesRecorded / 4);
  if (frames == bufferSamples_ && onData_) onData_(*current_);
  CountBuffer();
  RequeueCurrent();
}

void TWaveIn::RequeueCurrent() {
  if (DeviceOpen() && current_ != nullptr && current_ != &fileHeader_)
    device_->AddBuffer(*current_);
}

void TWaveIn::DoClose() {
  if (device_ && deviceOpen_) {
    device_->Unprepare(header1_);
    device_->Unprepare(header2_);
  }
  deviceOpen_ = false;
  state_ = wsClosed;
  if (onClose_) onClose_(*this);
}

void TWaveIn::ReadFile(const std::string& fileName, int maxSamples, int startSample) {
  std::error_code ec;
  // A few large reads rather than one per block; the buffer outlives the stream.
  std::vector<char> buffer(std::size_t{1} << 16);
  std::ifstream in;
  in.rdbuf()->pubsetbuf(buffer.data(), static_cast<std::streamsize>(buffer.size()));
  if (!std::filesystem::is_directory(fileName, ec)) in.open(fileName, std::ios::binary);
  if (!in.is_open()) throw EWaveInError("Error opening file " + fileName);
  ReadStream(in, fileName, maxSamples, startSample);
}

void TWaveIn::ReadStream(std::istream& in, const std::string& caption, int maxSamples,
                         int startSample) {
  RiffFile file(in);
  WaveLayout w = ParseLayout(file);
  if (!w.haveFmt) return;
  if (!IsPcm(w)) {
    UserMessages().Show(kNotPcm, caption);
    return;
  }
  sampleRate_ = ClampToInt(w.rate);
  SampleRateChanged();
  if (!w.haveData) return;

  const std::uint64_t frameBytes = w.blockAlign;
  const std::uint64_t bytesPerRead = static_cast<std::uint64_t>(bufferSamples_) * frameBytes;
  std::vector<std::uint8_t> raw(static_cast<std::size_t>(bytesPerRead));
  std::vector<std::int16_t> work(static_cast<std::size_t>(bufferSamples_) * 2);
  FillHeader(fileHeader_, work);
  current_ = &fileHeader_;

  SetEnabled(false);
  state_ = wsRunning;
  totalSamples_ = ClampToInt(w.dataChunk.size / frameBytes);
  stopFlag_ = false;
  try {
    DoDataStart();
    const std::uint64_t skip = std::min<std::uint64_t>(
        static_cast<std::uint64_t>(std::max(startSample, 0)) * frameBytes, w.dataChunk.size);
    std::uint64_t pos = w.dataChunk.offset + skip;
    std::uint64_t remaining = w.dataChunk.size - skip;
    TWaveFormat format;
    format.Channels = w.channels;
    format.SamplesPerSec = w.rate;
    format.BlockAlign = w.blockAlign;
    format.BitsPerSample = w.bits;
    std::int64_t delivered = 0;
    for (int index = 0; remaining > 0 && !stopFlag_; ++index) {
      const std::size_t want = static_cast<std::size_t>(std::min(bytesPerRead, remaining));
      // Short reads happen only at the end of a truncated file: take what is there.
      const std::size_t n = static_cast<std::size_t>(
          std::min<std::uint64_t>(want, file.Size() > pos ? file.Size() - pos : 0));
      if (n == 0 || !file.Read(pos, raw.data(), n)) break;
      const std::size_t frames = ConvertToStereo16(std::span(raw).first(n), format, work);
      fileHeader_.BytesRecorded = static_cast<std::uint32_t>(frames * 4);
      bufferNumber_ = index;
      DoData();
      pos += n;
      remaining -= n;
      delivered += bufferSamples_;
      if (maxSamples != 0 && delivered > maxSamples) break;
    }
  } catch (...) {
    state_ = wsClosed;
    current_ = nullptr;
    throw;
  }
  state_ = wsClosed;
  current_ = nullptr;
  DoDataEnd();
}

void TWaveIn::ReadLive(TLiveInput& input, int totalSamples, const std::function<void()>& poll) {
  const TWaveFormat format = input.Format();
  if (format.SamplesPerSec == 0) throw EWaveInError(input.Name() + " has no sample rate yet");
  sampleRate_ = ClampToInt(format.SamplesPerSec);
  SampleRateChanged();
  std::vector<std::int16_t> work(static_cast<std::size_t>(bufferSamples_) * 2);
  FillHeader(fileHeader_, work);
  current_ = &fileHeader_;

  SetEnabled(false);
  state_ = wsRunning;
  totalSamples_ = totalSamples;
  stopFlag_ = false;
  try {
    DoDataStart();
    // Reads come in whatever sizes the input has; blocks go on whole, as
    // from a file, so the chain sees the same blocks either way.
    std::size_t held = 0;
    for (int index = 0; !stopFlag_;) {
      const std::size_t n =
          input.Read(std::span(work).subspan(2 * held), std::chrono::milliseconds(100));
      held += n;
      if (held == static_cast<std::size_t>(bufferSamples_)) {
        fileHeader_.BytesRecorded = static_cast<std::uint32_t>(held * 4);
        bufferNumber_ = index++;
        DoData();
        held = 0;
      } else if (n == 0 && input.Ended()) {
        break;
      }
      if (poll) poll();
    }
  } catch (...) {
    state_ = wsClosed;
    current_ = nullptr;
    throw;
  }
  state_ = wsClosed;
  current_ = nullptr;
  DoDataEnd();
}

bool GetWaveStreamInfo(std::istream& in, int& sampleRate, int& frameCount) {
  RiffFile file(in);
  const WaveLayout w = ParseLayout(file);
  if (!w.haveFmt || !w.haveData || w.fmt.size() < 16 || w.blockAlign == 0) return false;
  sampleRate = ClampToInt(w.rate);
  frameCount = ClampToInt(w.dataChunk.size / w.blockAlign);
  return true;
}

bool GetWaveFileInfo(const std::string& fileName, int& sampleRate, int& frameCount) {
  std::error_code ec;
  if (std::filesystem::is_directory(fileName, ec)) return false;
  std::ifstream in(fileName, std::ios::binary);
  if (!in.is_open()) return false;
  return GetWaveStreamInfo(in, sampleRate, frameCount);
}

}  // namespace vivurozed
