#include "platform/FileReplace.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "WavWriter.h"

namespace vivurozed {
namespace {

using Bytes = std::vector<std::uint8_t>;
using vivurozed::testing::TempDir;

using vivurozed::testing::ReadBytes;

int CountEntries(const std::filesystem::path& folder) {
  int n = 0;
  for (auto it = std::filesystem::directory_iterator(folder); it != decltype(it)(); ++it) ++n;
  return n;
}

TEST(FileReplace, WritesANewFileAndReplacesAnOldOne) {
  TempDir dir;
  const auto name = dir / "picture.png";
  const Bytes first = {1, 2, 3}, second(100000, 0x5a);
  ASSERT_TRUE(ReplaceFileContents(name, first));
  EXPECT_EQ(ReadBytes(name), first);
  ASSERT_TRUE(ReplaceFileContents(name, second));
  EXPECT_EQ(ReadBytes(name), second);
  ASSERT_TRUE(ReplaceFileContents(name, {}));
  EXPECT_TRUE(ReadBytes(name).empty());
  EXPECT_EQ(CountEntries(dir.Path()), 1);  // no temporary file left over
}

TEST(FileReplace, AFailureLeavesTheTargetAndNoDebris) {
  TempDir dir;
  std::string error;
  EXPECT_FALSE(ReplaceFileContents(dir / "missing" / "x.png", Bytes{1}, &error));
  EXPECT_NE(error.find("missing"), std::string::npos) << error;

  // A folder where the file should go: the rename fails, the folder stays.
  std::filesystem::create_directory(dir / "taken.png");
  testing::WriteBytes(dir / "taken.png" / "inside", {7});
  EXPECT_FALSE(ReplaceFileContents(dir / "taken.png", Bytes{1, 2}, &error));
  EXPECT_EQ(ReadBytes(dir / "taken.png" / "inside"), Bytes{7});
  EXPECT_EQ(CountEntries(dir.Path()), 1);
}

}  // namespace
}  // namespace vivurozed
