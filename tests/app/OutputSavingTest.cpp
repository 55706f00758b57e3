#include "app/OutputSaving.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>

#include "RecordingMessages.h"
#include "WavWriter.h"

namespace vivurozed {
namespace {

namespace fs = std::filesystem;
using testing::RecordingMessages;
using testing::TempDir;

TExtBitmap Grey(int width, int height) {
  TExtBitmap b(width, height, pf8bit);
  b.MakeGreyPalette();
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) b.ScanLine(y)[x] = static_cast<std::uint8_t>((x + y) & 0xFF);
  }
  return b;
}

TRunPictures NoaaPictures() {
  TRunPictures p;
  p.main = Grey(2080, 20);
  p.channelA = Grey(1040, 20);
  p.channelB = Grey(1040, 20);
  p.falseColour = TExtBitmap(1040, 20, pf24bit);
  return p;
}

std::vector<std::string> Names(const std::vector<std::string>& paths) {
  std::vector<std::string> n;
  for (const auto& p : paths) n.push_back(fs::path(p).filename().string());
  return n;
}

TEST(OutputSaving, WritesMainAndNoaaPicturesInTheChosenFormats) {
  RecordingMessages messages;
  TempDir dir;
  TSaveOptions o;
  o.outputFormat = 2;
  TRunPictures p = NoaaPictures();
  p.overlay = Grey(2080, 20);
  TOutputSaver saver;
  ASSERT_TRUE(saver.SaveAll((dir / "pass.").string(), p, o, true, false));
  EXPECT_EQ(Names(saver.Written()),
            (std::vector<std::string>{"pass.png", "pass-ovl.png", "pass-a.jpg", "pass-b.jpg",
                                      "pass-c.jpg"}));
  for (const auto& f : saver.Written()) EXPECT_GT(fs::file_size(f), 100u) << f;
  EXPECT_TRUE(messages.entries.empty());

  o.noaaOutput = -1;  // no channel pictures
  ASSERT_TRUE(saver.SaveAll((dir / "none.bmp").string(), p, o, true, false));
  EXPECT_EQ(Names(saver.Written()), (std::vector<std::string>{"none.bmp", "none-ovl.png"}));

  o.noaaOutput = 1;  // only the false colour, announced
  ASSERT_TRUE(saver.SaveAll((dir / "colour.").string(), p, o, false, true));
  EXPECT_EQ(Names(saver.Written()), (std::vector<std::string>{"colour-c.jpg"}));
  ASSERT_EQ(messages.entries.size(), 1u);
  EXPECT_EQ(messages.entries[0].text, "Image saved to: " + (dir / "colour-c.jpg").string());
  EXPECT_EQ(messages.entries[0].caption, "Vivurozed - false-colour image saved");
}

TEST(OutputSaving, AsksBeforeOverwritingExceptScheduleNames) {
  RecordingMessages messages;
  TempDir dir;
  TSaveOptions o;
  o.outputFormat = 0;
  o.noaaOutput = 0;
  const TRunPictures p = NoaaPictures();
  const std::string kept = (dir / "pass.bmp").string();
  testing::WriteBytes(kept, {'o', 'l', 'd'});
  TOutputSaver saver;
  EXPECT_TRUE(saver.SaveAll(kept, p, o, true, false));  // unattended answer: keep it
  ASSERT_EQ(messages.entries.size(), 1u);
  EXPECT_EQ(messages.entries[0].caption, "Overwrite existing file?");
  EXPECT_TRUE(saver.MainDeclined());
  EXPECT_EQ(fs::file_size(kept), 3u);
  EXPECT_EQ(Names(saver.Written()),
            (std::vector<std::string>{"pass-a.bmp", "pass-b.bmp", "pass-c.bmp"}));

  messages.answers.push_back(maYes);
  EXPECT_TRUE(saver.SaveAll(kept, p, o, true, false));
  EXPECT_GT(fs::file_size(kept), 3u);

  const std::string schedule = (dir / "SCHEDULE1.bmp").string();
  testing::WriteBytes(schedule, {'o', 'l', 'd'});
  messages.entries.clear();
  EXPECT_TRUE(saver.SaveAll((dir / "SCHEDULE1.").string(), p, o, true, false));
  EXPECT_TRUE(messages.entries.empty());
  EXPECT_GT(fs::file_size(schedule), 3u);
}

TEST(OutputSaving, NeverOverwritesTheSourcePicture) {
  RecordingMessages messages;
  messages.answers.push_back(maYes);
  TempDir dir;
  const std::string source = (dir / "loaded.bmp").string();
  testing::WriteBytes(source, {'o', 'l', 'd'});
  TSaveOptions o;
  o.outputFormat = 0;
  o.sourcePicture = source;
  TOutputSaver saver;
  EXPECT_TRUE(saver.SaveAll((dir / "loaded.").string(), NoaaPictures(), o, true, false));
  EXPECT_EQ(fs::file_size(source), 3u);
  EXPECT_TRUE(saver.SaveAll((dir / "other.bmp").string(), NoaaPictures(), o, true, false));
  EXPECT_TRUE(fs::exists(dir / "other.bmp"));
}

TEST(OutputSaving, CropsChannelBordersByPassDirection) {
  RecordingMessages messages;
  TempDir dir;
  TSaveOptions o;
  o.noaaOutput = 0;
  o.cropBorders = true;
  o.southBound = true;
  TOutputSaver saver;
  ASSERT_TRUE(saver.SaveAll((dir / "p.bmp").string(), NoaaPictures(), o, true, false));
  TExtBitmap a;
  a.LoadFromFile(dir / "p-a.bmp");
  EXPECT_EQ(a.Width(), 909);
  EXPECT_EQ(a.ScanLine(3)[0], (82 + 3) & 0xFF);
  o.southBound = false;
  ASSERT_TRUE(saver.SaveAll((dir / "q.bmp").string(), NoaaPictures(), o, true, false));
  a.LoadFromFile(dir / "q-b.bmp");
  EXPECT_EQ(a.ScanLine(0)[0], 49);
}

TEST(OutputSaving, MissingFolderAndWriteErrorsAreReported) {
  RecordingMessages messages;
  TempDir dir;
  TSaveOptions o;
  TOutputSaver saver;
  const std::string missing = (dir / "nowhere" / "p.").string();
  EXPECT_FALSE(saver.SaveAll(missing, NoaaPictures(), o, true, false));
  ASSERT_EQ(messages.entries.size(), 1u);
  EXPECT_EQ(messages.entries[0].text.rfind(
                "Folder: " + (dir / "nowhere").string() + " does not exist - nothing saved", 0),
            0u);
  EXPECT_TRUE(saver.Written().empty());

  // A folder where the picture should go cannot be replaced by a file.
  fs::create_directory(dir / "busy.png");
  messages.entries.clear();
  messages.answers.push_back(maYes);
  o.outputFormat = 2;
  EXPECT_FALSE(saver.SaveAll((dir / "busy.").string(), NoaaPictures(), o, true, false));
  ASSERT_FALSE(messages.entries.empty());
  EXPECT_EQ(messages.entries.back().text, "Error saving to file: " + (dir / "busy.png").string() +
                                              " (cannot replace " + (dir / "busy.png").string() +
                                              ": Is a directory)");
  EXPECT_EQ(saver.Failures().back(),
            "busy.png (cannot replace " + (dir / "busy.png").string() + ": Is a directory)");
  EXPECT_TRUE(fs::is_directory(dir / "busy.png"));
}

// A write that fails half way (the file-size limit stands in for a full
// disk) leaves the previous file byte for byte, and no stray file beside it.
TEST(OutputSaving, AFailedSaveLeavesThePreviousFileIntact) {
  RecordingMessages messages;
  TempDir dir;
  TExtBitmap picture(300, 200, pf8bit);
  std::mt19937 random(5);
  for (int y = 0; y < picture.Height(); ++y)
    for (int x = 0; x < picture.Width(); ++x) picture.ScanLine(y)[x] = std::uint8_t(random());
  const std::vector<std::uint8_t> old(3000, 'o');
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  for (const char* name : {"p.bmp", "p.png", "p.jpg", "direct.bmp"}) {
    const fs::path file = dir / name;
    testing::WriteBytes(file, old);
    rlimit small = saved;
    small.rlim_cur = 8192;
    setrlimit(RLIMIT_FSIZE, &small);
    bool written = true;
    if (file.filename() == "direct.bmp") {  // as the colour lookups are written
      EXPECT_THROW(picture.SaveToFile(file), EInvalidGraphicOperation);
      written = false;
    } else {
      TOutputSaver saver;
      written = saver.WritePrimary(picture, file.string(), TSaveOptions{});
      EXPECT_EQ(saver.Failures().size(), 1u);
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_FALSE(written) << name;
    EXPECT_EQ(testing::ReadBytes(file), old) << name;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 1)
        << name;
    fs::remove(file);
  }
  std::signal(SIGXFSZ, previous);
}

}  // namespace
}  // namespace vivurozed
