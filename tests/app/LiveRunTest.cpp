// Live runs: the sample recording played by a fake sound card and written
// by a recorder while it is followed; each must give the picture the
// finished file gives, and keep the audio.
#include "QuietRunHost.h"
#include "app/LiveRun.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <thread>

#include "FakeSoundCard.h"
#include "PictureCorrelation.h"
#include "RunFixture.h"
#include "ToneSignals.h"

namespace vivurozed {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::FakeSoundCard;
using Bytes = std::vector<std::uint8_t>;

class Host : public testing::QuietRunHost {
 public:
  std::function<bool()> stop = [] { return false; };
  std::function<void(int)> onLine = [](int) {};
  std::vector<int> rows;
  std::size_t rowWidth = 0;
  bool StopRequested() override { return stop(); }
  void LineDecoded(int row, std::span<const std::uint8_t> pixels) override {
    rows.push_back(row);
    rowWidth = pixels.size();
    onLine(row);
  }
};

// The data chunk of the sample (16-bit mono, 11025 Hz).
Bytes SampleSound() {
  const Bytes wav = testing::ReadBytes(VZ_SAMPLE);
  return Bytes(wav.begin() + 44, wav.end());
}

class LiveRunTest : public testing::RunFixture {
 protected:
  // A capture run over `card`, stopped once the card has played everything
  // and the run has read it. The card keeps at most a second ahead of the
  // run, as one playing in real time would.
  std::unique_ptr<TProcessingRun> CaptureRun(std::unique_ptr<FakeSoundCard> card, bool& made) {
    FakeSoundCard& c = *card;
    TCaptureInput input(std::move(card), "fake card");
    c.mayPlay = [&] { return input.QueuedBytes() < 22050; };
    host.stop = [&] { return c.done && input.QueuedBytes() == 0; };
    auto run = std::make_unique<TProcessingRun>(host, store);
    TLiveRunOptions live;
    live.recordingFolder = dir.Path().string();
    made = run->LiveRun(input, live);
    host.stop = [] { return false; };
    return run;
  }

  Host host;
};

TEST_F(LiveRunTest, ASoundCardAndAFollowedRecordingGiveTheFilesPicture) {
  const Bytes wav = testing::ReadBytes(VZ_SAMPLE);
  const Bytes sound(wav.begin() + 44, wav.end());
  TProcessingRun fileRun(host, store);
  ASSERT_TRUE(fileRun.Dispatch(VZ_SAMPLE));
  const TExtBitmap& fromFile = fileRun.Pictures().channelB;
  host.rows.clear();
  bool made = false;
  const auto run = CaptureRun(std::make_unique<FakeSoundCard>(sound), made);
  ASSERT_TRUE(made);
  const TExtBitmap& live = run->Pictures().channelB;
  EXPECT_NEAR(live.Height(), fromFile.Height(), 2);
  EXPECT_GE(testing::PictureCorrelation(live, fromFile), 0.999);
  // The lines were shown as they came, one picture row each.
  EXPECT_GE(host.rows.size(), 236u);
  EXPECT_TRUE(std::is_sorted(host.rows.begin(), host.rows.end()));
  EXPECT_EQ(host.rowWidth, 2080u);
  const std::string kept = fs::path(run->OutputName()).replace_extension(".wav").string();
  const Bytes file = testing::ReadBytes(kept);
  ASSERT_EQ(file.size(), 44 + sound.size());
  EXPECT_TRUE(std::equal(sound.begin(), sound.end(), file.begin() + 44));
  EXPECT_EQ(fs::path(kept).stem().string().size(), 8u);  // MMDDhhmm

  const std::string name = (dir / "08251827_NOAA15.wav").string();
  std::thread recorder([&] {
    // A recorder that leaves the sizes 0 until it finishes, writing a
    // tenth of a second at a time, a hundred times as fast as real time.
    Bytes head(wav.begin(), wav.begin() + 44);
    std::fill(head.begin() + 40, head.end(), 0);
    FILE* f = std::fopen(name.c_str(), "wb");
    std::fwrite(head.data(), 1, head.size(), f);
    for (std::size_t at = 44; at < wav.size(); at += 2205) {
      std::fwrite(wav.data() + at, 1, std::min<std::size_t>(2205, wav.size() - at), f);
      std::fflush(f);
      std::this_thread::sleep_for(1ms);
    }
    std::fseek(f, 0, SEEK_SET);
    std::fwrite(wav.data(), 1, 44, f);
    std::fclose(f);
  });
  TGrowingWaveInput input(name, 500ms);
  TProcessingRun followed(host, store);
  made = followed.LiveRun(input, {});
  recorder.join();
  ASSERT_TRUE(made);
  EXPECT_EQ(followed.OutputName(), (dir / "08251827_NOAA15.").string());
  EXPECT_NEAR(followed.Pictures().channelB.Height(), fromFile.Height(), 2);
  EXPECT_GE(testing::PictureCorrelation(followed.Pictures().channelB, fromFile), 0.999);
  EXPECT_EQ(testing::ReadBytes(name), wav);  // the followed file is left as it was
}

TEST_F(LiveRunTest, ALostSoundCardKeepsWhatArrivedAndItsPicture) {
  const Bytes sound = SampleSound();
  auto card = std::make_unique<FakeSoundCard>(sound);
  card->loseAfter = 60 * 11025 * 2;
  bool made = false;
  const auto run = CaptureRun(std::move(card), made);
  ASSERT_TRUE(made);
  ASSERT_FALSE(messages.entries.empty());
  EXPECT_EQ(messages.entries.back().text,
            "The wave input fake card was lost: unplugged.\n"
            "What arrived before is kept and decoded.");
  EXPECT_NEAR(run->Decoder().LineCount(), 120, 4);
  const Bytes file =
      testing::ReadBytes(fs::path(run->OutputName()).replace_extension(".wav").string());
  ASSERT_EQ(file.size(), 44 + 60 * 11025 * 2u);
  EXPECT_TRUE(std::equal(file.begin() + 44, file.end(), sound.begin()));
}

TEST_F(LiveRunTest, AGivenTypeIsDecodedAtOnceAndNoiseFirstIsListenedThrough) {
  // The card holds back after 10 s until a line has been shown: only a run
  // that decodes without listening first gets that far.
  const Bytes sound = SampleSound();
  auto card = std::make_unique<FakeSoundCard>(sound);
  card->holdAfter = 10 * 11025 * 2;
  FakeSoundCard& c = *card;
  host.onLine = [&](int) { c.Release(); };
  {
    TCaptureInput input(std::move(card), "fake card");
    host.stop = [&] { return c.done && input.QueuedBytes() == 0; };
    TProcessingRun run(host, store);
    run.Options().forcedType = dpNOAAapt;
    TLiveRunOptions live;
    live.recordingFolder = dir.Path().string();
    ASSERT_TRUE(run.LiveRun(input, live));
    EXPECT_TRUE(c.released);
    for (const std::string& line : run.Log().Lines())
      EXPECT_EQ(line.find("analyser recognised"), std::string::npos) << line;
  }
  host.onLine = [](int) {};
  // 40 s of noise before the pass: the first analyses find nothing, a later
  // one finds the NOAA signal, and the run decodes from the start.
  Bytes noisy = testing::BuildWav(testing::NoiseSignal(11025, 40, 3000));
  noisy.erase(noisy.begin(), noisy.begin() + 44);  // the samples alone
  noisy.insert(noisy.end(), sound.begin(), sound.end());
  host.rows.clear();
  bool made = false;
  const auto run = CaptureRun(std::make_unique<FakeSoundCard>(noisy), made);
  ASSERT_TRUE(made);
  const auto& lines = run->Log().Lines();
  EXPECT_GE(
      std::count_if(lines.begin(), lines.end(),
                    [](const std::string& l) { return l.rfind("Signal analysis at", 0) == 0; }),
      6);
  EXPECT_NE(std::find(lines.begin(), lines.end(), "  analyser recognised NOAA APT"), lines.end());
  EXPECT_EQ(run->Decoder().DecodeParameters(), dpNOAAapt);
  EXPECT_GE(run->Decoder().LineCount(), 236);
}

TEST(RecordingPath, NamesTheRecordingAsPassIdentificationReadsIt) {
  testing::TempDir dir;
  const TDateTime t = EncodeDateTime(2024, 8, 25, 18, 27, 41);
  const std::string folder = dir.Path().string();
  const struct {
    int zone;
    const char* satellite;
    const char* name;
  } cases[] = {{0, "", "08251827.wav"},
               {0, "NOAA15", "08251827_NOAA15.wav"},
               {120, "NOAA19", "08252027_NOAA19.wav"},
               {-1110, "", "08242357.wav"}};
  for (const auto& c : cases)
    EXPECT_EQ(RecordingPath(folder, t, c.zone, c.satellite), (dir / c.name).string());
  testing::WriteBytes(dir / "08251827.wav", {});
  testing::WriteBytes(dir / "08251827-2.wav", {});
  EXPECT_EQ(RecordingPath(folder, t, 0, ""), (dir / "08251827-3.wav").string());
}

TEST(PreviewRow, SpreadsTheLevelsOverTheGreyScale) {
  const std::vector<std::uint16_t> row = {100, 100, 200, 300, 300, 400, 500, 700};
  const struct {
    int width, low, high;
    std::vector<std::uint8_t> pixels;
  } cases[] = {
      {4, 100, 600, {0, 77, 128, 255}},         // pairs averaged; above high is white
      {8, 300, 300, {0, 0, 0, 0, 0, 0, 0, 0}},  // no spread: black
      {16, 0, 1000, {26, 26, 26, 26, 51, 51, 77, 77, 77, 77, 102, 102, 128, 128, 179, 179}}};
  for (const auto& c : cases) EXPECT_EQ(PreviewRow(row, c.width, c.low, c.high), c.pixels);
}

}  // namespace
}  // namespace vivurozed
