#include "app/OutputSaving.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <random>

#include "RecordingMessages.h"
#include "WavWriter.h"

namespace vivurozed {
namespace {

namespace fs = std::filesystem;
using testing::RecordingMessages;
using testing::TempDir;
using Bytes = std::vector<std::uint8_t>;

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

class OutputSaving : public ::testing::Test {
 protected:
  // The names SaveAll wrote under `name` in the temporary folder.
  std::vector<std::string> Save(const std::string& name, bool saveMain = true,
                                bool announce = false) {
    EXPECT_TRUE(saver.SaveAll((dir / name).string(), pictures, o, saveMain, announce)) << name;
    std::vector<std::string> n;
    for (const auto& p : saver.Written()) n.push_back(fs::path(p).filename().string());
    return n;
  }
  RecordingMessages messages;
  TempDir dir;
  TRunPictures pictures = NoaaPictures();
  TSaveOptions o;
  TOutputSaver saver;
};
using Names = std::vector<std::string>;

TEST_F(OutputSaving, WritesMainAndNoaaPicturesInTheChosenFormats) {
  o.outputFormat = 2;
  pictures.overlay = Grey(2080, 20);
  EXPECT_EQ(Save("pass."),
            (Names{"pass.png", "pass-ovl.png", "pass-a.jpg", "pass-b.jpg", "pass-c.jpg"}));
  for (const auto& f : saver.Written()) EXPECT_GT(fs::file_size(f), 100u) << f;
  EXPECT_TRUE(messages.entries.empty());
  o.noaaOutput = -1;  // no channel pictures
  EXPECT_EQ(Save("none.bmp"), (Names{"none.bmp", "none-ovl.png"}));
  o.noaaOutput = 1;  // only the false colour, announced
  EXPECT_EQ(Save("colour.", false, true), Names{"colour-c.jpg"});
  ASSERT_EQ(messages.entries.size(), 1u);
  EXPECT_EQ(messages.entries[0].text, "Image saved to: " + (dir / "colour-c.jpg").string());
  EXPECT_EQ(messages.entries[0].caption, "Vivurozed - false-colour image saved");
}

TEST_F(OutputSaving, AsksBeforeOverwritingExceptScheduleNamesAndNeverTheSource) {
  o.outputFormat = 0;
  o.noaaOutput = 0;
  const Bytes old = {'o', 'l', 'd'};
  for (const char* name : {"pass.bmp", "SCHEDULE1.bmp", "loaded.bmp"})
    testing::WriteBytes(dir / name, old);
  // The unattended answer keeps it.
  EXPECT_EQ(Save("pass.bmp"), (Names{"pass-a.bmp", "pass-b.bmp", "pass-c.bmp"}));
  ASSERT_EQ(messages.entries.size(), 1u);
  EXPECT_EQ(messages.entries[0].caption, "Overwrite existing file?");
  EXPECT_TRUE(saver.MainDeclined());
  EXPECT_EQ(testing::ReadBytes(dir / "pass.bmp"), old);
  messages.answers.push_back(maYes);
  Save("pass.bmp");
  EXPECT_NE(testing::ReadBytes(dir / "pass.bmp"), old);

  messages.entries.clear();
  Save("SCHEDULE1.");
  EXPECT_TRUE(messages.entries.empty());
  EXPECT_NE(testing::ReadBytes(dir / "SCHEDULE1.bmp"), old);

  messages.answers.push_back(maYes);
  o.sourcePicture = (dir / "loaded.bmp").string();
  Save("loaded.");
  EXPECT_EQ(testing::ReadBytes(dir / "loaded.bmp"), old);
  EXPECT_EQ(Save("other.bmp").front(), "other.bmp");
}

TEST_F(OutputSaving, CropsChannelBordersByPassDirection) {
  o.noaaOutput = 0;
  o.cropBorders = true;
  for (const auto& [south, file, row, first] :
       {std::tuple{true, "p-a.bmp", 3, 82 + 3}, {false, "q-b.bmp", 0, 49}}) {
    o.southBound = south;
    Save(std::string(file).substr(0, 1) + ".bmp");
    TExtBitmap a;
    a.LoadFromFile(dir / file);
    EXPECT_EQ(a.Width(), 909) << file;
    EXPECT_EQ(a.ScanLine(row)[0], first) << file;
  }
}

TEST_F(OutputSaving, MissingFolderAndWriteErrorsAreReported) {
  EXPECT_FALSE(saver.SaveAll((dir / "nowhere" / "p.").string(), pictures, o, true, false));
  ASSERT_EQ(messages.entries.size(), 1u);
  EXPECT_EQ(messages.entries[0].text.rfind(
                "Folder: " + (dir / "nowhere").string() + " does not exist - nothing saved", 0),
            0u);
  EXPECT_TRUE(saver.Written().empty());

  // A folder where the picture should go cannot be replaced by a file.
  const std::string busy = (dir / "busy.png").string();
  fs::create_directory(busy);
  messages.entries.clear();
  messages.answers.push_back(maYes);
  o.outputFormat = 2;
  EXPECT_FALSE(saver.SaveAll((dir / "busy.").string(), pictures, o, true, false));
  ASSERT_FALSE(messages.entries.empty());
  EXPECT_EQ(messages.entries.back().text,
            "Error saving to file: " + busy + " (cannot replace " + busy + ": Is a directory)");
  EXPECT_EQ(saver.Failures().back(), "busy.png (cannot replace " + busy + ": Is a directory)");
  EXPECT_TRUE(fs::is_directory(busy));
}

// A write that fails half way (the file-size limit stands in for a full
// disk) leaves the previous file byte for byte, and no stray file beside it.
TEST_F(OutputSaving, AFailedSaveLeavesThePreviousFileIntact) {
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
      TOutputSaver fresh;
      written = fresh.WritePrimary(picture, file.string(), TSaveOptions{});
      EXPECT_EQ(fresh.Failures().size(), 1u);
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
