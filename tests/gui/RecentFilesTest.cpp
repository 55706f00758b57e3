#include "gui/RecentFiles.h"

#include <gtest/gtest.h>

#include "WavWriter.h"

namespace vivurozed {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

TEST(RecentFiles, NewestFoundFilesFirstWithTheirPass) {
  TempDir a, b;
  for (const fs::path& f : {a / "my pass.wav", a / "old.wav", b / "other.wav", b / "old.wav"}) {
    testing::WriteBytes(f, {1});
  }
  fs::create_directory(a / "folder.wav");
  const std::vector<std::string> history = {
      "old.wav N NOAA12",   "gone.wav S NOAA15", "my_pass.wav S NOAA17",
      "other.wav N Meteor", "folder.wav N NOAA", "old.wav S NOAA14",
  };
  const auto recent = RecentFiles(history, {a.Path(), b.Path()}, 10);
  ASSERT_EQ(recent.size(), 3u);
  // The later entry of a file counts; a file in both folders is the first's.
  EXPECT_EQ(recent[0].file, a / "old.wav");
  EXPECT_EQ(recent[0].detail, "south-bound, NOAA14");
  EXPECT_EQ(recent[1].file, b / "other.wav");
  EXPECT_EQ(recent[1].detail, "north-bound, Meteor");
  EXPECT_EQ(recent[2].file, a / "my pass.wav");  // blanks are kept as "_" in the history
  EXPECT_EQ(RecentFiles(history, {a.Path(), b.Path()}, 2).size(), 2u);
  EXPECT_TRUE(RecentFiles(history, {a / "missing"}, 10).empty());
}

}  // namespace
}  // namespace vivurozed
