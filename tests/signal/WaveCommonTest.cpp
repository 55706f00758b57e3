#include "signal/WaveCommon.h"

#include <gtest/gtest.h>

#include <sstream>

#include "RecordingMessages.h"
#include "SignalTestUtil.h"
#include "WavWriter.h"
#include "signal/SignalProcessing.h"

namespace vivurozed {
namespace {

using signaltest::Collector;
using testing::BuildWav;
using testing::RecordingMessages;
using testing::TempDir;
using testing::WavOptions;

struct Chain {
  TSignalSource source;
  Collector sink;
  explicit Chain(int bufferSamples, TChannelSelect select = chLeft) {
    source.SetDataSink(&sink);
    source.SetBufferSamples(bufferSamples);
    source.SetAGC(false);
    source.SetChannelSelect(select);
  }
  void Read(const std::vector<std::uint8_t>& bytes, int maxSamples = 0, int startSample = 0) {
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    source.WaveIn().ReadStream(in, "test.wav", maxSamples, startSample);
  }
};

std::vector<std::int16_t> Ramp(int n, int step = 1) {
  std::vector<std::int16_t> v(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) v[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(i * step);
  return v;
}

TEST(WaveIn, EightBitMonoFillsBothSlotsWithWidenedBytes) {
  std::vector<std::int16_t> samples;
  for (int b = 0; b < 256; ++b) samples.push_back(static_cast<std::int16_t>((b - 128) * 256));
  Chain chain(256, chCplx);
  chain.Read(BuildWav(samples, {.bits = 8}));
  ASSERT_EQ(chain.sink.blocks.size(), 1u);
  for (int b = 0; b < 256; ++b) {
    EXPECT_EQ(chain.sink.blocks[0][b], TSample(float((b - 128) * 256), float((b - 128) * 256)));
  }
  EXPECT_EQ(chain.sink.SampleRate(), 11025);  // the rate travels down the chain
}

TEST(WaveIn, DeliversOnlyWholeBlocksButCountsEveryFrame) {
  Chain chain(100);
  chain.Read(BuildWav(Ramp(2 * 250), {.channels = 2}));  // 2.5 blocks of stereo
  EXPECT_EQ(chain.sink.blocks.size(), 2u);
  EXPECT_EQ(chain.sink.TotalSamples(), 250);
  EXPECT_EQ(chain.sink.begins, 1);
  EXPECT_EQ(chain.sink.ends, 1);
  EXPECT_EQ(chain.sink.blocks[1][0].real(), 200.0f);  // left of frame 100

  // A sample limit lets one further block through.
  Chain limited(64);
  limited.Read(BuildWav(Ramp(64 * 10)), 2 * 64);
  EXPECT_EQ(limited.sink.blocks.size(), 3u);
}

TEST(WaveIn, StartSampleSkipsFramesWhateverTheFormat) {
  for (int bits : {8, 16}) {
    for (int channels : {1, 2}) {
      std::vector<std::int16_t> s;
      for (int f = 0; f < 3000; ++f) s.insert(s.end(), channels, std::int16_t((f % 200) * 256));
      Chain chain(10);
      chain.Read(BuildWav(s, {.channels = channels, .bits = bits}), 0, 1000);
      ASSERT_EQ(chain.sink.blocks.size(), 200u) << bits << " bits, " << channels << " channels";
      EXPECT_EQ(chain.sink.blocks[0][0].real(), float((1000 % 200) * 256));
    }
  }
}

TEST(WaveIn, RefusesNonPcmWithAMessageAndNoDownstreamCall) {
  for (const WavOptions& o :
       {WavOptions{.bits = 24}, WavOptions{.formatTag = 3},
        WavOptions{.extensible = true, .formatTag = 3}, WavOptions{.channels = 0},
        WavOptions{.blockAlignOverride = 0}, WavOptions{.sampleRate = 0},
        // Frames so wide, or so many channels, that a read buffer would be huge.
        WavOptions{.blockAlignOverride = 65535}, WavOptions{.channels = 300}}) {
    RecordingMessages messages;
    Chain chain(16);
    chain.Read(BuildWav(Ramp(100), o));
    ASSERT_EQ(messages.entries.size(), 1u);
    EXPECT_EQ(messages.entries[0].text, "File is not a PCM file");
    EXPECT_EQ(messages.entries[0].caption, "test.wav");
    EXPECT_EQ(chain.sink.begins, 0);
    EXPECT_TRUE(chain.sink.blocks.empty());
  }
}

TEST(WaveIn, ReadsWhatIsThereWhenTheDataSizeIsZeroTooLargeOrCutShort) {
  for (std::int64_t declared : {std::int64_t{0}, std::int64_t{0x7FFFFFF0}}) {
    Chain chain(100);
    chain.Read(BuildWav(Ramp(1000), {.dataSizeOverride = declared, .riffSizeOverride = 8}));
    EXPECT_EQ(chain.sink.blocks.size(), 10u) << declared;
    EXPECT_EQ(chain.sink.TotalSamples(), 1000);
  }
  auto bytes = BuildWav(Ramp(1000));
  bytes.resize(bytes.size() - 2 * 450);  // 550 frames left, header still says 1000
  Chain chain(100);
  chain.Read(bytes);
  EXPECT_EQ(chain.sink.blocks.size(), 5u);
  EXPECT_EQ(chain.sink.ends, 1);
}

TEST(WaveIn, MalformedFilesNeverReachTheChain) {
  const auto good = BuildWav(Ramp(400));
  auto noWave = good, hugeFmt = good;
  noWave[8] = 'X';
  hugeFmt[16] = hugeFmt[17] = hugeFmt[18] = hugeFmt[19] = 0xFF;  // fmt runs past the end
  const std::vector<std::uint8_t> fmtCut(good.begin(), good.begin() + 30);
  for (const auto& bytes :
       {std::vector<std::uint8_t>{}, std::vector<std::uint8_t>{'R', 'I', 'F', 'F'}, fmtCut, noWave,
        hugeFmt}) {
    RecordingMessages messages;
    Chain chain(16);
    chain.Read(bytes);
    EXPECT_EQ(chain.sink.begins, 0);
    EXPECT_TRUE(chain.sink.blocks.empty());
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    int rate = -1, frames = -1;
    EXPECT_FALSE(GetWaveStreamInfo(in, rate, frames));
  }
}

TEST(WaveIn, MoreThanTwoChannelsTakesTheFirstTwo) {
  std::vector<std::int16_t> s;
  for (int f = 0; f < 20; ++f) s.insert(s.end(), {std::int16_t(f), std::int16_t(-f), 9999});
  Chain chain(20, chCplx);
  chain.Read(BuildWav(s, {.channels = 3}));
  ASSERT_EQ(chain.sink.blocks.size(), 1u);
  EXPECT_EQ(chain.sink.blocks[0][7], TSample(7, -7));
}

TEST(WaveIn, ReadFileReportsFilesThatCannotBeOpened) {
  TempDir dir;
  TSignalSource source;
  EXPECT_THROW(source.ReadFile((dir / "missing.wav").string()), EWaveInError);
  try {
    source.ReadFile(dir.Path().string());
    FAIL() << "a folder was read";
  } catch (const EWaveInError& e) {
    EXPECT_EQ(std::string(e.what()), "Error opening file " + dir.Path().string());
  }
}

TEST(GetWaveFileInfo, ReportsRateAndFramesEvenForCompressedFormats) {
  TempDir dir;
  testing::WriteWav(dir / "c.wav", Ramp(300), {.sampleRate = 8000, .channels = 2, .formatTag = 2});
  int rate = 0, frames = 0;
  ASSERT_TRUE(GetWaveFileInfo((dir / "c.wav").string(), rate, frames));
  EXPECT_EQ(rate, 8000);
  EXPECT_EQ(frames, 150);
  EXPECT_FALSE(GetWaveFileInfo((dir / "none.wav").string(), rate, frames));
  EXPECT_FALSE(GetWaveFileInfo(dir.Path().string(), rate, frames));
}

TEST(GetWaveFileInfo, ReadsTheRealRecordingWithABrokenHeader) {
  const std::string path = std::string(VZ_TEST_DATA) + "/real-envelope-53s-brokenheader.wav";
  int rate = 0, frames = 0;
  ASSERT_TRUE(GetWaveFileInfo(path, rate, frames));
  EXPECT_EQ(rate, 11025);
  EXPECT_EQ(frames, 53 * 11025);  // all 53 s, though the header says 0
  Chain chain(8192);
  chain.source.ReadFile(path);
  EXPECT_EQ(chain.sink.TotalSamples(), frames);
  EXPECT_EQ(static_cast<int>(chain.sink.blocks.size()), frames / 8192);
}

}  // namespace
}  // namespace vivurozed
