#include "app/MainForm.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "AptSignal.h"
#include "QuietRunHost.h"
#include "RunFixture.h"
#include "analysis/SignalAnalysis.h"
#include "image/PngImage.h"
#include "noaa/Thermal.h"

namespace vivurozed {
namespace {

namespace fs = std::filesystem;

class FakeHost : public testing::QuietRunHost {
 public:
  bool busy = false;
  void SetBusy(bool b) override { busy = b; }
};

class ProcessingRunTest : public testing::RunFixture {
 protected:
  std::string Wav(const std::string& name, const std::vector<std::int16_t>& s,
                  testing::WavOptions o = {}) {
    const std::string path = (dir / name).string();
    testing::WriteWav(path, s, o);
    return path;
  }
  static std::vector<std::int16_t> Apt(double seconds) {
    testing::AptOptions o;
    o.seconds = seconds;
    o.snrDb = 30;
    return testing::AptSignal(o);
  }

  FakeHost host;
};

TEST_F(ProcessingRunTest, RefusesRecordingsItCannotDecode) {
  TProcessingRun run(host, store);
  const std::string expects =
      "Vivurozed expects an 11025 Hz sampling rate wave  file lasting at least 30 seconds. ";
  testing::WriteBytes(dir / "empty.wav", {});
  std::ofstream(dir / "notes.txt") << "Pass notes\n";
  const std::pair<std::string, std::string> cases[] = {
      {(dir / "missing.wav").string(), "cannot read " + (dir / "missing.wav").string() +
                                           ": No such file or directory; check that it exists"},
      {(dir / "empty.wav").string(),
       "Error reading wave file header: " + (dir / "empty.wav").string() +
           " is not a WAV recording: it holds an empty file"},
      {Wav("fast.wav", std::vector<std::int16_t>(22050 * 40, 100), {.sampleRate = 22050}),
       expects + "fast.wav holds 40 s at 22050 Hz"},
      {Wav("short.wav", Apt(29)), expects + "short.wav holds 29 s at 11025 Hz"},
      {(dir / "notes.txt").string(),
       "notes.txt is not a WAV recording or a BMP/PNG/JPEG picture: "
       "it holds text beginning \"Pass notes\""}};
  for (const auto& [file, message] : cases) {
    messages.entries.clear();
    EXPECT_FALSE(run.Dispatch(file));
    ASSERT_EQ(messages.entries.size(), 1u) << file;
    EXPECT_EQ(messages.entries[0].text.rfind(message, 0), 0u) << messages.entries[0].text;
    EXPECT_EQ(run.Failure(), messages.entries[0].text);
  }
  EXPECT_FALSE(host.busy);
}

TEST_F(ProcessingRunTest, AnalysisReadsThePrescanRateFromTheSettings) {
  store->WriteInteger("PrescanSampleRate", 11030);
  TProcessingRun run(host, store);
  EXPECT_EQ(PrescanSampleRate(), 11030);
  store->WriteInteger("PrescanSampleRate", 9000);  // read afresh at every analysis
  EXPECT_EQ(PrescanSampleRate(), 9000);
}

TEST_F(ProcessingRunTest, ChainFollowsTheInputFilterAndTapeOptions) {
  TProcessingRun run(host, store);
  EXPECT_EQ(DecodeTypeForResult(arWEFAX, 1), dpGMS);
  EXPECT_EQ(DecodeTypeForResult(arWEFAX, 0), dpWEFAX);
  EXPECT_EQ(DecodeTypeForResult(arResurs, 0), dpResursO1N4);
  EXPECT_EQ(CaptionSuffix(dpSich6, smNOAA15), " - SICH (600)");
  // A stored rate no sound card gives falls back to 11025 Hz.
  for (const auto& [stored, rate] : {std::pair{0, 11025}, {11040, 11040}}) {
    run.Settings().SampleRate.SetValue(stored);
    EXPECT_EQ(OptionsFromSettings(run.Settings()).sampleRate, rate);
  }
  for (auto [stored, model] : {std::pair{6, smNOAA18}, {7, smNOAA19}}) {
    run.Settings().SatelliteModel.SetValue(stored);
    EXPECT_EQ(OptionsFromSettings(run.Settings()).sensorModel, model);
  }
  TRunOptions o;
  TBatchOptions b;
  b.sampleRate = 11030;
  b.passband = pbWide;
  b.passbandGiven = true;
  b.sensorModel = smNOAA17;
  ApplyBatchOptions(o, b);
  EXPECT_EQ(o.sampleRate, 11030);
  EXPECT_EQ(o.passband, pbWide);
  EXPECT_TRUE(o.passbandChosen);
  EXPECT_EQ(o.sensorModel, smNOAA17);
  EXPECT_EQ(o.noaaOutput, 1);
}

TEST_F(ProcessingRunTest, DecodesANoaaRecordingAndReprocessesWithoutReadingItAgain) {
  const std::string wav = Wav("08251827_NOAA15.wav", Apt(100));
  TProcessingRun run(host, store);
  EXPECT_FALSE(run.Reprocess());  // nothing decoded yet
  run.Settings().NoaaSaveStats.SetValue(true);
  TBatchOptions batch;
  batch.input = wav;
  batch.southBound = true;
  ASSERT_EQ(run.RunBatch(batch, {"vivurozed", wav, "S"}), 0);
  EXPECT_EQ(run.Decoder().DecodeParameters(), dpNOAAapt);
  EXPECT_GE(run.Decoder().LineCount(), 190);
  EXPECT_EQ(run.Caption(), "08251827_NOAA15.wav - NOAA14");
  EXPECT_EQ(run.OutputName(), (dir / "08251827_NOAA15.").string());
  const auto& lines = run.Log().Lines();
  EXPECT_EQ(lines[1], "Process wave file");
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Original command line was: "), lines.end());
  EXPECT_NE(
      std::find_if(lines.begin(), lines.end(),
                   [](const std::string& l) { return l.rfind("  Video_decoder    ", 0) == 0; }),
      lines.end());
  TRunHistory history;
  history.Load(dir / "data" / TRunHistory::kFileName);
  TRunHistory::TEntry entry;
  ASSERT_TRUE(history.Find("08251827_NOAA15.wav", entry));
  EXPECT_TRUE(entry.southBound);
  EXPECT_EQ(entry.model, smNOAA14);

  std::ifstream telemetry(dir / "08251827_NOAA15.telem.dat");
  int rows = 0, a, b, c, d;
  while (telemetry >> a >> b >> c >> d) ++rows;
  EXPECT_EQ(rows, static_cast<int>(run.Decoder().NoaaLineStats().size()));
  EXPECT_GE(rows, 190);

  // The large channel pictures from the same decoded lines.
  const TExtBitmap before = run.Pictures().channelA;
  fs::remove(wav);  // proves the recording is not read again
  run.Settings().LargeImage.SetValue(true);
  ASSERT_TRUE(run.Reprocess());
  const TExtBitmap& after = run.Pictures().channelA;
  EXPECT_EQ(before.Width(), 1040);
  EXPECT_EQ(after.Width(), 1560);
  // The whole pass at 1.5 times the lines (give or take the noise crop).
  EXPECT_NEAR(after.Height(), before.Height() * 3 / 2, 4);

  // The "NOAA14 - Quorum" receiver's picture: the plain one, turned.
  TRunOptions options = run.Options();
  options.quorum = false;
  ASSERT_TRUE(run.Reprocess(options));
  TExtBitmap turned = run.Pictures().main;
  RotateQuorumPicture(turned);
  options.quorum = true;
  ASSERT_TRUE(run.Reprocess(options));
  const TExtBitmap& quorum = run.Pictures().main;
  ASSERT_EQ(quorum.Height(), turned.Height());
  for (int y = 0; y < quorum.Height(); ++y) {
    ASSERT_TRUE(
        std::equal(turned.ScanLine(y), turned.ScanLine(y) + turned.Width(), quorum.ScanLine(y)))
        << "row " << y;
  }

  // A longer recording next finds its own clean lines.
  run.Settings().LargeImage.SetValue(false);
  batch.input = Wav("longer.wav", Apt(130));
  ASSERT_EQ(run.RunBatch(batch, {}), 0);
  EXPECT_GT(run.Pictures().channelA.Height(), before.Height() + 40);
}

// Asks the run to stop once the decoder has stored `stopAt` lines, or, with
// stopAt < 0, as soon as post-processing reports.
class StoppingHost : public testing::QuietRunHost {
 public:
  explicit StoppingHost(int stopAt) : stopAt_(stopAt) {}
  void Progress(const std::string& text, int) override {
    post_ =
        post_ || text.find("post") != std::string::npos || text.find("Post") != std::string::npos;
  }
  void LineDecoded(int, std::span<const std::uint8_t>) override { ++lines; }
  bool StopRequested() override { return stopAt_ < 0 ? post_ : lines >= stopAt_; }
  int lines = 0;

 private:
  int stopAt_;
  bool post_ = false;
};

TEST_F(ProcessingRunTest, AStopAtAnyPointKeepsWhatWasDecoded) {
  const std::string wav = Wav("stopped.wav", Apt(60));
  for (const int stopAt : {0, 1, 30, 80, -1}) {
    StoppingHost stopping(stopAt);
    TProcessingRun run(stopping, store);
    run.Decoder().SetTickSource([t = std::int64_t{0}]() mutable { return t += 1000; });
    TBatchOptions batch;
    batch.input = wav;
    batch.output = (dir / ("out" + std::to_string(stopAt)) / "p.png").string();
    batch.cropNoise = false;
    fs::create_directories(fs::path(batch.output).parent_path());
    const int code = run.RunBatch(batch, {});
    const int lines = run.Decoder().LineCount();
    SCOPED_TRACE(stopAt);
    // A stop is seen at the next block: a few lines after it was asked.
    if (stopAt >= 0) {
      EXPECT_LE(lines, stopAt + 12);
    } else {
      EXPECT_GE(lines, 110);
    }
    if (lines < 60) {
      EXPECT_EQ(code, 1);
      EXPECT_NE(run.Failure().find(lines == 0 ? "no picture was" : "too few for a picture"),
                std::string::npos)
          << run.Failure();
      continue;
    }
    ASSERT_EQ(code, 0) << run.Failure();
    EXPECT_EQ(run.Pictures().main.Height(), lines);
    TExtBitmap saved;
    LoadPNGIntoBitmap(saved, batch.output, false);
    EXPECT_EQ(saved.Height(), lines);
  }
}

}  // namespace
}  // namespace vivurozed
