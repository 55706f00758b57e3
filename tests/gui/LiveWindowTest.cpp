// Live runs in the window: a fake sound card plays the sample; the picture
// grows on the main tab while the run goes on, and the finished pictures
// and the kept audio follow, also when the card is lost.
#include <QComboBox>
#include <QScrollBar>
#include <QSlider>
#include <QTabWidget>

#include <filesystem>

#include "FakeSoundCard.h"
#include "WindowTest.h"
#include "gui/GrowingPicture.h"
#include "gui/LevelMeter.h"
#include "gui/RecordDialog.h"
#include "gui/SignalLevelWindow.h"
#include "signal/CaptureInput.h"

namespace vivurozed {
namespace {

namespace fs = std::filesystem;
using testing::WaitFor;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t kSecond = 2 * 11025;  // bytes of 16-bit mono

using FakeCard = testing::FakeSoundCard;

Bytes SampleSound() {
  const Bytes wav = testing::ReadBytes(VZ_SAMPLE);
  return Bytes(wav.begin() + 44, wav.end());
}

class LiveWindowTest : public testing::WindowTest {
 protected:
  int Rows() { return Picture("Main Image").height(); }
  // Starts a run on `card`; its audio is kept in dir/rec.
  void Start(std::unique_ptr<FakeCard> card) {
    TLiveRunOptions live;
    live.recordingFolder = (dir.Path() / "rec").string();
    live.satellite = "NOAA15";
    fs::create_directories(live.recordingFolder);
    ASSERT_TRUE(window->StartLive(std::make_unique<TCaptureInput>(std::move(card), "fake card"),
                                  live, dpNOAAapt));
  }
  // The one recording kept, and its length in frames.
  int KeptFrames() {
    std::vector<fs::path> kept;
    for (const auto& e : fs::directory_iterator(dir.Path() / "rec")) kept.push_back(e.path());
    EXPECT_EQ(kept.size(), 1u);
    if (kept.empty()) return -1;
    EXPECT_EQ(kept[0].filename().string().substr(8), "_NOAA15.wav");
    int rate = 0, frames = 0;
    EXPECT_TRUE(GetWaveFileInfo(kept[0].string(), rate, frames));
    EXPECT_EQ(rate, 11025);
    return frames;
  }
};

TEST_F(LiveWindowTest, ThePictureGrowsFollowingTheNewestLineUntilEscMakesThePictures) {
  const Bytes sound = SampleSound();
  auto card = std::make_unique<FakeCard>(sound);
  FakeCard& c = *card;
  c.allowed = 40 * kSecond;
  Start(std::move(card));
  EXPECT_EQ(OpenCaption(), "Esc stops");
  ASSERT_TRUE(WaitFor([&] { return Rows() >= 40; })) << Rows();
  // The signal-level window meters the run's input while it goes on.
  window->findChild<QAction*>("viewSignalLevel")->trigger();
  TLevelMeter* meter = window->findChild<TSignalLevelWindow*>()->Meter();

  // Zoomed in at the end of the picture, the view follows the new lines;
  // scrolled away, it stays where the user put it.
  TPictureView* main = View("Main Image");
  main->ZoomActual();
  for (int i = 0; i < 10; ++i) main->ZoomIn();
  QScrollBar* bar = main->verticalScrollBar();
  bar->setValue(bar->maximum());
  const int before = bar->maximum();
  for (const auto& [seconds, follow] : {std::pair{60, true}, std::pair{80, false}}) {
    if (!follow) bar->setValue(0);
    const int rows = Rows();
    c.allowed = seconds * kSecond;
    // The meter shows what was read since its last look, so it is watched
    // while the audio is read.
    float peak = 0;
    ASSERT_TRUE(WaitFor([&] {
      peak = std::max(peak, meter->Peak());
      return Rows() >= rows + 20;
    })) << seconds;
    EXPECT_TRUE(window->Running());
    EXPECT_EQ(bar->value(), follow ? bar->maximum() : 0) << seconds;
    EXPECT_GT(peak, 0.3f) << seconds;
  }
  EXPECT_GT(bar->maximum(), before);

  c.allowed = SIZE_MAX;
  ASSERT_TRUE(WaitFor([&] { return Rows() >= 230; })) << Rows();
  QSignalSpy idle(window.get(), &TMainWindow::Idle);
  QTest::keyClick(window.get(), Qt::Key_Escape);
  ASSERT_TRUE(idle.wait(60000));
  EXPECT_TRUE(messages->entries.empty()) << messages->entries[0].text;
  EXPECT_EQ(OpenCaption(), "Open...");
  EXPECT_EQ(meter->Peak(), 0.0f);
  EXPECT_TRUE(meter->Text().startsWith("No live input"));
  auto* tabs = window->findChild<QTabWidget*>("tabs");
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(tabs->isTabVisible(i)) << i;
  EXPECT_NEAR(Rows(), 236, 4);
  EXPECT_EQ(KeptFrames(), int(sound.size() / 2));
}

TEST_F(LiveWindowTest, ALostCardSaysSoAndWhatArrivedIsDecoded) {
  auto card = std::make_unique<FakeCard>(SampleSound());
  card->loseAfter = 70 * kSecond;
  Start(std::move(card));
  ASSERT_TRUE(WaitIdle());
  ASSERT_EQ(messages->entries.size(), 1u);
  EXPECT_EQ(messages->entries[0].text,
            "The wave input fake card was lost: unplugged.\nWhat arrived before is kept and "
            "decoded.");
  EXPECT_NEAR(Rows(), 140, 6);
  // The finished picture is named after the recording (too short for the
  // channel pictures).
  EXPECT_TRUE(window->windowTitle().contains("_NOAA15.wav - "))
      << window->windowTitle().toStdString();
  EXPECT_EQ(KeptFrames(), 70 * 11025);
}

TEST(RecordDialog, MetersTheChosenInputAndReturnsTheChoices) {
  std::vector<int> made;
  FakeCard* last = nullptr;
  TRecordChoice initial;
  initial.satellite = "NOAA18";
  initial.type = dpWEFAX;
  initial.folder = "/tmp/passes";
  initial.volume = 0.8;
  TRecordDialog dialog({"Card one", "Card two"}, 1, initial, [&](int index) {
    made.push_back(index);
    auto card = std::make_unique<FakeCard>(SampleSound());
    last = card.get();
    return card;
  });
  EXPECT_EQ(made, std::vector<int>{1});  // the default input
  ASSERT_TRUE(WaitFor([&] { return dialog.Meter()->Peak() > 0.3f; }));
  EXPECT_EQ(last->volume, 0.8);
  dialog.findChild<QSlider*>("volume")->setValue(50);
  EXPECT_EQ(last->volume, 0.5);
  dialog.findChild<QComboBox*>("device")->setCurrentIndex(0);
  EXPECT_EQ(made, (std::vector<int>{1, 0}));

  const TRecordChoice c = dialog.Choice();
  EXPECT_EQ(c.device, 0);
  EXPECT_EQ(c.deviceName, "Card one");
  EXPECT_EQ(c.volume, 0.5);
  EXPECT_EQ(c.satellite, "NOAA18");
  EXPECT_EQ(c.type, std::optional(dpWEFAX));
  EXPECT_EQ(c.folder, "/tmp/passes");
}

TEST_F(LiveWindowTest, ARunStartsFromAChoiceInItsFolderWithItsCalibrationOrIsToldWhyNot) {
  TRecordChoice none;
  EXPECT_FALSE(AskRecording(window.get(), none, {}, QAudioDevice(), dir.Path().string()));
  ASSERT_EQ(messages->entries.size(), 1u);
  EXPECT_TRUE(messages->entries[0].text.starts_with("No sound input device found"));
  EXPECT_FALSE(window->Running());

  const struct {
    std::string satellite;
    TSensorModel model;
  } cases[] = {{"NOAA19", smNOAA19}, {"NOAA12", smNOAA12}, {"", smUnknown}};
  for (const auto& c : cases) {
    TRecordChoice choice;
    choice.deviceName = "Card";
    choice.satellite = c.satellite;
    choice.volume = 0.4;
    choice.folder = (dir.Path() / "new" / c.satellite).string();
    auto card = std::make_unique<FakeCard>(Bytes{});
    FakeCard& made = *card;
    const std::optional<TRecordStart> start = RecordStart(choice, std::move(card));
    ASSERT_TRUE(start) << c.satellite;
    EXPECT_EQ(start->model, c.model) << c.satellite;
    EXPECT_EQ(start->live.satellite, c.satellite);
    EXPECT_EQ(made.volume, 0.4);
    EXPECT_EQ(start->input->Name(), "sound card Card");
    EXPECT_TRUE(fs::is_directory(choice.folder)) << choice.folder;
  }
  // A folder that cannot be made (under a file) is told, and nothing starts.
  TRecordChoice blocked;
  blocked.folder = VZ_SAMPLE + std::string("/passes");
  EXPECT_FALSE(RecordStart(blocked, std::make_unique<FakeCard>(Bytes{})));
  ASSERT_EQ(messages->entries.size(), 2u);
  EXPECT_TRUE(messages->entries[1].text.starts_with("Cannot make the folder"))
      << messages->entries[1].text;
}

TEST(LevelMeter, ReadsDecibelsOfFullScaleAndHoldsTheClippingLamp) {
  const struct {
    float level;
    double db, position;
  } cases[] = {{1.0f, 0, 1}, {0.1f, -20, 2.0 / 3}, {0.001f, -60, 0}, {0, -60, 0}, {1e-5f, -60, 0}};
  for (const auto& c : cases) {
    EXPECT_NEAR(TLevelMeter::ToDb(c.level), c.db, 1e-4) << c.level;
    EXPECT_NEAR(TLevelMeter::ScalePosition(c.level), c.position, 1e-4) << c.level;
  }
  TLevelMeter meter;
  meter.SetLevels(0.9f, 0.3f);
  EXPECT_FALSE(meter.Clipping());
  meter.SetLevels(0.99f, 0.3f);
  meter.SetLevels(0.2f, 0.1f);  // a quiet moment after the clip keeps the lamp lit
  EXPECT_TRUE(meter.Clipping());
  EXPECT_EQ(meter.Text(), "Peak -14.0 dB   RMS -20.0 dB");
  meter.SetIdle("none");
  EXPECT_FALSE(meter.Clipping());
}

TEST(GrowingPicture, RowsLandWhereTheRunPutsThemAndTheFirstSetsTheWidth) {
  TWindowRunHost host;
  TPictureView view;
  TGrowingPicture growing(host, view);
  growing.Start();
  auto line = [](int row, std::size_t width, std::uint8_t grey) {
    return TDecodedLine{row, std::vector<std::uint8_t>(width, grey)};
  };
  // A row again replaces the old one (a full picture); a short one is
  // padded; one far below leaves black rows between.
  growing.Add({line(0, 8, 10), line(1, 8, 20), line(1, 8, 30), line(2, 5, 40), line(900, 9, 50)});
  const QImage p = growing.Picture();
  ASSERT_EQ(p.size(), QSize(8, 901));
  const struct {
    int x, y, grey;
  } pixels[] = {{7, 0, 10}, {0, 1, 30}, {4, 2, 40}, {5, 2, 0}, {3, 500, 0}, {7, 900, 50}};
  for (const auto& px : pixels)
    EXPECT_EQ(qGray(p.pixel(px.x, px.y)), px.grey) << px.x << "," << px.y;
}

}  // namespace
}  // namespace vivurozed
