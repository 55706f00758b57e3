#include "signal/LiveInput.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <sstream>
#include <thread>

#include "SignalTestUtil.h"
#include "WavWriter.h"
#include "signal/CaptureInput.h"
#include "signal/SignalProcessing.h"

namespace vivurozed {
namespace {

using namespace std::chrono_literals;
using testing::BuildWav;
using testing::ReadBytes;
using testing::TempDir;
using testing::WavOptions;
using Bytes = std::vector<std::uint8_t>;
using Blocks = std::vector<std::vector<TSample>>;
using signaltest::Collector;

std::vector<std::int16_t> Signal(int values) {
  std::vector<std::int16_t> v(static_cast<std::size_t>(values));
  for (int i = 0; i < values; ++i) v[std::size_t(i)] = std::int16_t((i * 7919) % 60000 - 30000);
  return v;
}

// The blocks a chain gets from the file reader, and from a live input.
Blocks FileBlocks(const Bytes& wav) {
  TSignalSource source;
  Collector sink;
  source.SetDataSink(&sink);
  source.SetBufferSamples(100);
  source.SetAGC(false);
  source.SetChannelSelect(chCplx);
  std::istringstream in(std::string(wav.begin(), wav.end()));
  source.WaveIn().ReadStream(in, "file");
  return sink.blocks;
}
Blocks LiveBlocks(TLiveInput& input) {
  TSignalSource source;
  Collector sink;
  source.SetDataSink(&sink);
  source.SetBufferSamples(100);
  source.SetAGC(false);
  source.SetChannelSelect(chCplx);
  // The format arrives with the first bytes.
  for (int i = 0; i < 100 && input.Format().SamplesPerSec == 0; ++i) {
    std::int16_t none[2];
    EXPECT_EQ(input.Read(std::span(none).first(0), 20ms), 0u);
  }
  source.ReadLive(input, 1000);
  return sink.blocks;
}

// A pipe whose writer hands over `bytes` in pieces from a thread of its own.
struct Pipe {
  int fds[2] = {-1, -1};
  std::thread writer;
  Pipe(const Bytes& bytes, std::size_t piece) {
    if (pipe(fds) != 0) throw std::runtime_error("pipe");
    writer = std::thread([this, bytes, piece] {
      for (std::size_t at = 0; at < bytes.size(); at += piece) {
        const std::size_t n = std::min(piece, bytes.size() - at);
        if (write(fds[1], bytes.data() + at, n) != static_cast<ssize_t>(n)) break;
      }
      close(fds[1]);
    });
  }
  ~Pipe() {
    writer.join();
    close(fds[0]);
  }
};

Bytes DataChunk(const Bytes& wav, std::size_t offset, std::size_t size) {
  return Bytes(wav.begin() + std::ptrdiff_t(offset), wav.begin() + std::ptrdiff_t(offset + size));
}

// Heads it reads are checked through the stream input below, fed in pieces
// of every size against the file reader.
TEST(ParseWaveHead, RefusesWhatItCannotReadAndAsksForMoreOfAShortHead) {
  const Bytes plain = BuildWav(Signal(100));
  auto dataBeforeFormat = plain;
  std::memcpy(&dataBeforeFormat[12], "data", 4);
  for (const Bytes& bytes :
       {BuildWav(Signal(99), {.bits = 24}), Bytes{'X', 'I', 'F'}, dataBeforeFormat})
    EXPECT_EQ(ParseWaveHead(bytes).status, TWaveHead::whBad);
  for (std::size_t n = 0; n < 44; ++n) {
    EXPECT_EQ(ParseWaveHead(std::span(plain).first(n)).status, TWaveHead::whNeedMore) << n;
  }
  EXPECT_EQ(ParseWaveHead(plain).status, TWaveHead::whReady);
}

TEST(WaveStreamInput, GivesTheChainTheFileReadersBlocksAndKeepsTheAudio) {
  struct Case {
    WavOptions wav;
    std::size_t piece;
    int rawRate;
  };
  const Case cases[] = {
      {{.dataSizeOverride = 0xFFFFFFFF}, 1, 0},
      {{.channels = 2, .bits = 8, .dataSizeOverride = 0}, 333, 0},
      {{.extensible = true, .listChunkBeforeData = true}, 65536, 0},
      {{}, 777, 11025},  // raw: the data chunk alone
  };
  for (const Case& c : cases) {
    TempDir dir;
    const Bytes wav = BuildWav(Signal(2 * 1050), c.wav);
    const TWaveHead head = ParseWaveHead(wav);
    const std::size_t dataBytes = wav.size() - head.dataOffset;
    const Bytes data = DataChunk(wav, head.dataOffset, dataBytes);
    Pipe pipe(c.rawRate ? data : wav, c.piece);
    TWaveStreamInput input(pipe.fds[0], "pipe", c.rawRate);
    input.Start((dir / "kept.wav").string());
    EXPECT_EQ(LiveBlocks(input), FileBlocks(wav)) << c.piece;
    EXPECT_TRUE(input.Ended());
    input.Close();
    // The recording holds the received audio, its header finished.
    const Bytes kept = ReadBytes(dir / "kept.wav");
    ASSERT_EQ(kept.size(), 44 + dataBytes + (dataBytes & 1)) << c.piece;
    EXPECT_EQ(DataChunk(kept, 44, dataBytes), data);
    int rate = 0, frames = 0;
    ASSERT_TRUE(GetWaveFileInfo((dir / "kept.wav").string(), rate, frames));
    EXPECT_EQ(frames, static_cast<int>(dataBytes / head.format.BlockAlign));
  }
}

TEST(WaveStreamInput, ReportsStreamsThatAreNotWavOrEndTooSoon) {
  const Bytes wav = BuildWav(Signal(1000));
  Bytes withTail = wav;
  withTail.insert(withTail.end(), 400, 0x55);  // another chunk after the announced data
  Bytes cut(wav.begin(), wav.begin() + 44 + 1200);
  struct Case {
    Bytes bytes;
    std::size_t frames;
    const char* error;  // empty: none
  };
  const Case cases[] = {
      {Bytes{'h', 'e', 'l', 'l', 'o', '\n'}, 0, "pipe: not a RIFF WAVE stream"},
      {Bytes{}, 0, "pipe sent nothing"},
      {Bytes(wav.begin(), wav.begin() + 30), 0, "pipe ended inside its WAV header"},
      {cut, 600, "pipe was cut off 800 bytes before the end its header announced"},
      {withTail, 1000, ""},
  };
  for (const Case& c : cases) {
    Pipe pipe(c.bytes, 64);
    TWaveStreamInput input(pipe.fds[0], "pipe");
    input.Start("");
    std::vector<std::int16_t> frames(2 * 4000);
    std::size_t got = 0;
    std::string error;
    try {
      while (!input.Ended()) got += input.Read(std::span(frames).subspan(2 * got), 50ms);
    } catch (const EWaveInError& e) {
      error = e.what();
      EXPECT_EQ(input.Read(frames, 1ms), 0u);  // once reported, it stays ended
      EXPECT_TRUE(input.Ended());
    }
    EXPECT_EQ(got, c.frames) << c.error;
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
  }
}

TEST(WaveRecorder, HeaderSaysUnknownUntilClosed) {
  TempDir dir;
  const std::string name = (dir / "r.wav").string();
  TWaveRecorder recorder(name, PcmFormat(11025, 1));
  recorder.Write(Bytes{1, 0, 2, 0, 3});  // an odd byte count, as a crash may leave
  // What a crash would leave: read to its end.
  Bytes open = ReadBytes(name);
  EXPECT_EQ(DataChunk(open, 40, 4), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
  int rate = 0, frames = 0;
  ASSERT_TRUE(GetWaveFileInfo(name, rate, frames));
  EXPECT_EQ(frames, 2);
  recorder.Close();
  const Bytes closed = ReadBytes(name);
  ASSERT_EQ(closed.size(), 50u);  // padded to an even length
  EXPECT_EQ(DataChunk(closed, 4, 4), (Bytes{42, 0, 0, 0}));
  EXPECT_EQ(DataChunk(closed, 40, 4), (Bytes{5, 0, 0, 0}));
  EXPECT_THROW(TWaveRecorder((dir / "no" / "r.wav").string(), PcmFormat(11025, 1)), EWaveInError);
}

TEST(GrowingWaveInput, FollowsAFileAsItIsWrittenAndEndsWhenItStops) {
  TempDir dir;
  const std::string name = (dir / "grow.wav").string();
  const Bytes wav = BuildWav(Signal(3000), {.dataSizeOverride = 0});
  std::thread writer([&] {
    FILE* f = std::fopen(name.c_str(), "wb");
    for (std::size_t at = 0; at < wav.size(); at += 301) {
      std::fwrite(wav.data() + at, 1, std::min<std::size_t>(301, wav.size() - at), f);
      std::fflush(f);
      std::this_thread::sleep_for(2ms);
    }
    std::fclose(f);
  });
  TGrowingWaveInput input(name, 300ms);
  input.Start("");
  const auto started = std::chrono::steady_clock::now();
  const Blocks blocks = LiveBlocks(input);
  writer.join();
  EXPECT_EQ(blocks, FileBlocks(wav));
  EXPECT_GE(std::chrono::steady_clock::now() - started, 300ms);

  TGrowingWaveInput missing((dir / "never.wav").string(), 100ms);
  missing.Start("");
  std::int16_t frame[2];
  try {
    while (!missing.Ended()) missing.Read(frame, 50ms);
    FAIL() << "a missing file ended quietly";
  } catch (const EWaveInError& e) {
    EXPECT_EQ(std::string(e.what()), "Error opening file " + (dir / "never.wav").string());
  }
  // A file written again from the start while it is followed.
  TGrowingWaveInput shrinking(name, 1s);
  shrinking.Start("");
  std::vector<std::int16_t> all(2 * 3000);
  EXPECT_EQ(shrinking.Read(all, 50ms), 3000u);
  testing::WriteBytes(name, Bytes(wav.begin(), wav.begin() + 100));
  EXPECT_THROW(shrinking.Read(all, 50ms), EWaveInError);
}

// A device that keeps its buffers in a queue and fills them when told.
class FakeDevice : public TCaptureDevice {
 public:
  TCaptureListener* listener = nullptr;
  TCaptureBuffers buffers;
  int openResult = 0;
  int Open(const TWaveFormat&, TCaptureListener& l) override {
    listener = &l;
    return openResult;
  }
  std::string ErrorText(int code) const override { return code == 4 ? "device busy" : "unplugged"; }
  void Prepare(TWaveHeader&) override {}
  void Unprepare(TWaveHeader&) override {}
  void AddBuffer(TWaveHeader& h) override { buffers.Add(h); }
  void Start() override {}
  void Stop() override {}
  void Reset() override { buffers.Reset(*listener); }
  void Close() override { listener->CaptureClosed(); }
};

TEST(CaptureInput, KeepsWhatTheDeviceDeliveredAndReportsItsLoss) {
  TempDir dir;
  const std::vector<std::int16_t> mono = Signal(5000);
  const Bytes bytes(reinterpret_cast<const std::uint8_t*>(mono.data()),
                    reinterpret_cast<const std::uint8_t*>(mono.data() + mono.size()));
  auto device = std::make_unique<FakeDevice>();
  FakeDevice& d = *device;
  TCaptureInput input(std::move(device), "fake", PcmFormat(11025, 1), 256);
  input.Start((dir / "c.wav").string());
  TReplayInput replay(input);
  // The device hands over the audio from a thread of its own, then is lost,
  // returning the buffer it was filling.
  std::thread sound([&] {
    for (std::size_t at = 0; at < bytes.size(); at += 999)
      d.buffers.Deliver(std::span(bytes).subspan(at, std::min<std::size_t>(999, bytes.size() - at)),
                        *d.listener);
    d.buffers.Reset(*d.listener);
    d.listener->CaptureFailed(9);
    d.listener->CaptureClosed();
  });
  std::vector<std::int16_t> frames(2 * mono.size());
  std::size_t got = 0;
  std::string error;
  try {
    while (!replay.Ended()) got += replay.Read(std::span(frames).subspan(2 * got), 100ms);
  } catch (const EWaveInError& e) {
    error = e.what();
  }
  sound.join();
  EXPECT_EQ(error, "The wave input fake was lost: unplugged");
  ASSERT_EQ(got, mono.size());
  for (std::size_t i = 0; i < mono.size(); ++i) {
    ASSERT_EQ(frames[2 * i], mono[i]) << i;
    ASSERT_EQ(frames[2 * i + 1], mono[i]) << i;
  }
  double squares = 0;
  for (const std::int16_t v : mono) squares += double(v) * v;
  const TLiveInput::TLevels levels = input.TakeLevels();
  EXPECT_NEAR(levels.peak, 30000 / 32768.0, 0.001);
  EXPECT_NEAR(levels.rms, std::sqrt(squares / double(mono.size())) / 32768.0, 1e-4);
  EXPECT_EQ(input.TakeLevels().peak, 0.0f);
  EXPECT_EQ(input.TakeLevels().rms, 0.0f);
  // Replayed, the same frames come again.
  replay.Replay();
  std::vector<std::int16_t> again(frames.size());
  std::size_t replayed = 0;
  while (!replay.Ended()) replayed += replay.Read(std::span(again).subspan(2 * replayed), 1ms);
  EXPECT_EQ(again, frames);
  input.Close();
  EXPECT_EQ(ReadBytes(dir / "c.wav").size(), 44 + bytes.size());
  EXPECT_EQ(DataChunk(ReadBytes(dir / "c.wav"), 44, bytes.size()), bytes);

  auto busy = std::make_unique<FakeDevice>();
  busy->openResult = 4;
  TCaptureInput refused(std::move(busy), "busy");
  try {
    refused.Start((dir / "b.wav").string());
    FAIL();
  } catch (const EWaveInError& e) {
    EXPECT_EQ(std::string(e.what()), "Error 4 opening wave input - device busy");
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "b.wav"));  // nothing recorded, nothing made
}

}  // namespace
}  // namespace vivurozed
