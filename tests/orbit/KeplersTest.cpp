#include "orbit/Keplers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "OrbitTestData.h"
#include "RecordingMessages.h"
#include "orbit/Support.h"
#include "platform/Folders.h"

namespace vivurozed {
namespace {

using testing::DataText;
using testing::RecordingMessages;
using testing::TempDir;
namespace fs = std::filesystem;

const std::string& kLine1 = testing::kNoaa15Line1;
const std::string& kLine2 = testing::kNoaa15Line2;

// NOAA 15's set with another epoch, day of 2019.
std::string Line1At(double day) {
  char epoch[16];
  std::snprintf(epoch, sizeof epoch, "19%012.8f", day);
  return std::string(kLine1).replace(18, 14, epoch);
}

std::vector<std::string> SetsAt(const std::vector<double>& days) {
  std::vector<std::string> lines;
  for (double d : days) {
    lines.push_back(Line1At(d));
    lines.push_back(kLine2);
  }
  return lines;
}

void Write(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::string Joined(const std::vector<std::string>& lines, const char* end = "\r\n") {
  std::string text;
  for (const std::string& l : lines) text += l + end;
  return text;
}

TDateTime Day(double day) {
  return EncodeDateTime(2019, 1, 1) + day - 1;
}

TEST(ElementLines, RecognisedAndDated) {
  EXPECT_TRUE(LineIsElementLine(kLine1));
  EXPECT_TRUE(LineIsElementLine(kLine2 + "   \r"));
  EXPECT_FALSE(LineIsElementLine(" " + kLine1.substr(0, 68)));
  EXPECT_FALSE(LineIsElementLine(kLine1.substr(0, 68)));
  EXPECT_FALSE(LineIsElementLine("NOAA 15"));
  EXPECT_FALSE(LineIsElementLine(""));
  struct Case {
    std::string epochField;  // columns 19-32
    TDateTime date;
  };
  const Case cases[] = {
      {"19237.55125393", Day(237.55125393)},
      {"56001.50000000", EncodeDateTime(2056, 1, 1, 12)},
      {"57001.00000000", EncodeDateTime(1957, 1, 1)},
      {"19367.00000000", 0},
      {"19-01.00000000", 0},
      {"19ABC.00000000", 0},
      {"  001.00000000", 0},
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(ElementLineDate(std::string(kLine1).replace(18, 14, c.epochField)), c.date, 1e-9)
        << c.epochField;
  }
  EXPECT_EQ(ElementLineDate(kLine2), 0);
  EXPECT_EQ(ElementLineDate("1 25338"), 0);
}

TEST(NearestSet, IsTheNearestInsideTheRangeAndTheEndsOutside) {
  RecordingMessages messages;
  const std::vector<double> days = {200.3, 201.3, 203.3, 206.3, 210.3, 215.3,
                                    221.3, 228.3, 236.3, 245.3, 255.3};
  const std::vector<std::string> lines = SetsAt(days);
  for (double wanted = 190; wanted < 266; wanted += 0.7) {
    TKeplerSet set;
    ASSERT_TRUE(NearestKeplerSet(lines, Day(wanted), "file: x", set));
    double nearest = 1e9;
    for (double d : days) {
      if (std::fabs(d - wanted) < std::fabs(nearest)) nearest = d - wanted;
    }
    EXPECT_TRUE(std::fabs(set.offset) <= std::fabs(nearest) + 1e-9 || std::fabs(set.offset) < 0.5)
        << wanted << ": " << set.offset << " instead of " << nearest;
    EXPECT_NEAR(ElementLineDate(set.line1) - Day(wanted), set.offset, 1e-9);
    EXPECT_EQ(set.line2, kLine2);
  }
  EXPECT_TRUE(messages.entries.empty());
}

TEST(NearestSet, FewSetsAndBadDatesAreReported) {
  const std::string cr = "\r";
  const std::vector<std::string> two = SetsAt({230.5});
  std::vector<std::string> five = SetsAt({230.5, 232.5});
  five.push_back(Line1At(240));
  std::vector<std::string> badFirst = SetsAt({230.5, 232.5, 234.5});
  badFirst[0].replace(20, 3, "ABC");
  std::vector<std::string> badLast = SetsAt({230.5, 232.5, 234.5});
  badLast[4].replace(20, 3, "2 4");
  const std::vector<std::string> backwards = SetsAt({217.3, 220, 217.3});
  struct Case {
    const std::vector<std::string>& lines;
    bool found;
    double expectedDay;
    std::string message;
  };
  const Case cases[] = {
      {two, true, 230.5, ""},
      {five, true, 232.5,
       "There are not enough Kepler sets in file: k.txt to allow any searching.  Only two sets "
       "of Keplers were found.  The later Keplers in the file have been used."},
      {badFirst, false, 0,
       "Could not determine the date of the first Keplers  in file: k.txt.  The first two lines "
       "were seen as: " +
           cr + cr + badFirst[0] + cr + badFirst[1]},
      {badLast, false, 0,
       "Could not determine the date of the last Keplers  in file: k.txt.  The last two lines "
       "were seen as: " +
           cr + cr + badLast[4] + cr + badLast[5]},
      {backwards, false, 0,
       "The last Kepler sets in file: k.txt are dated earlier or the same date as the first "
       "Kepler  sets so I cannot interpolate between them.  Please check  these file(s) "
       "carefully.  The first date found was: 2019-August-05 07:12 and the last date found "
       "was: 2019-August-05 07:12.  The start and end of the file was seen as: " +
           cr + cr + backwards[0] + cr + backwards[1] + cr + cr + backwards[4] + cr + backwards[5]},
  };
  for (const Case& c : cases) {
    RecordingMessages messages;
    TKeplerSet set;
    EXPECT_EQ(NearestKeplerSet(c.lines, Day(231), "file: k.txt", set), c.found);
    if (c.found) {
      EXPECT_NEAR(set.offset, c.expectedDay - 231, 1e-9);
    }
    ASSERT_EQ(messages.entries.size(), c.message.empty() ? 0u : 1u) << c.message;
    if (!c.message.empty()) {
      EXPECT_EQ(messages.entries[0].text, c.message);
    }
  }
}

TEST(KeplerFiles, MessagesForMissingAndInvalidFiles) {
  TempDir dir;
  const std::string base = dir.Path().string() + "/";
  const std::string keps = fs::absolute(dir.Path() / "Keps").string();
  const std::string file = keps + "/NOAA-15.txt";
  const std::string cr = "\r";
  std::vector<std::string> lines;
  std::string fileName, updatesName, message;

  EXPECT_FALSE(FindKeplerFile("NOAA-15", base, lines, fileName, updatesName, message));
  EXPECT_EQ(message, "Folder for Kepler data: " + base + "Keps/ was not found.");

  fs::create_directories(dir.Path() / "Keps");
  EXPECT_FALSE(FindKeplerFile("NOAA-15", base, lines, fileName, updatesName, message));
  EXPECT_EQ(message,
            "Could not find satellite-specific Kepler data file(s) for: NOAA-15  Expected "
            "to find: " +
                cr + file + cr + "or" + cr + keps + "/Updates/NOAA-15.txt");
  EXPECT_EQ(fileName, "");

  Write(file, "NOAA 15\r\n" + kLine1 + "\r\n");
  EXPECT_FALSE(FindKeplerFile("NOAA-15", base, lines, fileName, updatesName, message));
  EXPECT_EQ(message, "Kepler data file: " + file +
                         " is invalid because it has less than two lines of text!");

  Write(file, "NOAA 15\n" + kLine2 + "\n" + kLine1 + "\n");
  EXPECT_FALSE(FindKeplerFile("NOAA-15", base, lines, fileName, updatesName, message));
  EXPECT_EQ(message, "Kepler data file: " + file +
                         " is invalid because lines 1 and 2 do not start with the characters 1 "
                         "and 2!  Perhaps you left the satellite name in the file?   Here is what "
                         "was found: " +
                         cr + cr + kLine2 + cr + kLine1);
  EXPECT_EQ(updatesName, "");
}

TEST(KeplerFiles, NamesIgnoreCaseAndUpdatesFollowTheMainFile) {
  RecordingMessages messages;
  TempDir dir;
  // Another system's spelling of the folders and files; a leading name line,
  // notes between the sets and blanks after them.
  Write(dir / "keps/noaa-15.TXT",
        "NOAA 15\r\n" + Line1At(220) + "  \r\n" + kLine2 + "\r\nnote\r\n" + Joined(SetsAt({225})));
  Write(dir / "keps/UPDATES/Noaa-15.txt", "  " + Line1At(236) + "\n" + kLine2 + "\nend\n");
  std::vector<std::string> lines;
  std::string fileName, updatesName, message;
  ASSERT_TRUE(
      FindKeplerFile("NOAA-15", dir.Path().string(), lines, fileName, updatesName, message));
  EXPECT_EQ(lines, SetsAt({220, 225, 236}));
  EXPECT_EQ(fs::path(fileName).filename(), "noaa-15.TXT");
  EXPECT_EQ(fs::path(updatesName).filename(), "Noaa-15.txt");

  TKeplerSet set;
  ASSERT_TRUE(SearchKeplerFile("NOAA-15", dir.Path().string(), Day(235), set, message));
  EXPECT_EQ(set.line1, Line1At(236));
  EXPECT_EQ(set.fileName, fileName);
  EXPECT_TRUE(messages.entries.empty());

  // Old NOAA 15 sets of another designation (H in column 17) at the start go.
  Write(dir / "keps/noaa-15.TXT",
        Joined({std::string(kLine1).replace(16, 1, "H"), kLine2}) + Joined(SetsAt({221})));
  ASSERT_TRUE(
      FindKeplerFile("NOAA-15", dir.Path().string(), lines, fileName, updatesName, message));
  EXPECT_EQ(lines, SetsAt({221, 236}));
  // Four lines: searching is not possible, the later set is taken.
  ASSERT_TRUE(SearchKeplerFile("NOAA-15", dir.Path().string(), Day(221), set, message));
  EXPECT_NEAR(set.offset, 15, 1e-9);
  ASSERT_EQ(messages.entries.size(), 1u);
  EXPECT_NE(messages.entries[0].text.find("in files: " + fileName + " and " + updatesName + " to"),
            std::string::npos);
}

TEST(KeplerFiles, WithoutAFolderTheDefaultIsSearched) {
  TempDir dir;
  SetUserDataFolder(dir.Path());
  Write(DefaultKeplerFolder() / "Keps/NOAA-17.txt", Joined(SetsAt({230})));
  Write(dir / "Keps/NOAA-16.txt", Joined(SetsAt({231})));  // the default's ../Keps
  std::vector<std::string> lines;
  std::string fileName, updatesName, message;
  EXPECT_EQ(DefaultKeplerFolder(), dir.Path() / "keps");
  EXPECT_TRUE(FindKeplerFile("NOAA-17", "", lines, fileName, updatesName, message));
  fs::remove_all(DefaultKeplerFolder());
  EXPECT_TRUE(FindKeplerFile("NOAA-16", "", lines, fileName, updatesName, message));
  EXPECT_TRUE(FindKeplerFile("NOAA-16", (dir / "elsewhere").string(), lines, fileName, updatesName,
                             message));
  SetUserDataFolder({});
}

TEST(SatelliteList, ReadsTheFolderKeepingTheNewestSetOfEachSatellite) {
  TempDir dir;
  Write(dir / "b.txt", DataText("weather-2019-08-25.txt"));
  Write(dir / "a.TLE", DataText("weather-2019-08-23.txt"));
  Write(dir / "TLEnotes.TXT", Joined({"NOAA 15", Line1At(300), kLine2}));
  Write(dir / "c.dat", Joined({"NOAA 15", Line1At(301), kLine2}));
  const TSatelliteList list(dir.Path().string());
  EXPECT_EQ(list.Folder(), dir.Path().string() + "/");
  const int sets = static_cast<int>(SplitLines(DataText("weather-2019-08-25.txt")).size() / 3);
  EXPECT_EQ(list.Count(), sets);
  const int noaa15 = list.IndexOfCatalogue("25338");
  ASSERT_GE(noaa15, 0);
  EXPECT_EQ(list.Name(noaa15), "NOAA 15");
  EXPECT_EQ(list.Satellite(noaa15).Line1(), kLine1);
  EXPECT_EQ(list.Satellite(noaa15).KeplerFileName(), "b.txt");
  for (int i = 1; i < list.Count(); ++i) EXPECT_LE(list.Name(i - 1), list.Name(i));
  EXPECT_EQ(list.IndexOfCatalogue("2533"), -1);
  EXPECT_EQ(list.IndexOfCatalogue("25338 "), -1);
  EXPECT_EQ(TSatelliteList((dir / "missing").string()).Count(), 0);
}

TEST(SatelliteList, ReadsTheFilesUsersDownload) {
  const std::string noaa18a =
      "1 28654U 05018A   19237.57043963  .00000072  00000-0  63971-4 0  9997";
  const std::string noaa18b =
      "2 28654  99.0903 285.5379 0013969 351.1485   8.9438 14.12446937735098";
  const std::string noaa19a =
      "1 33591U 09005A   19237.55600838  .00000059  00000-0  57554-4 0  9996";
  const std::string noaa19b =
      "2 33591  99.1839 230.3337 0013818 183.9827 176.1236 14.12372862543488";
  std::string lower = kLine1;
  lower[7] = 'u';
  const std::string text =
      Joined({"noaa 15 [b]            ", lower + "   ", kLine2, "--", "", "NOAA-L", noaa18a,
              noaa18b, "BROKEN", noaa19a, "NOAA 19", noaa19a, noaa19b, "OLDER NOAA 15",
              Line1At(230), kLine2, "MIXED", noaa18a, noaa19b}) +
      Joined({"  ",
              "1 88888U          80275.98708465  .00073094  13844-3  "
              "66816-4 0    87",
              "2 88888  72.8435 115.9689 0086731  52.6988 110.5714 "
              "16.05824518   103"},
             "\n");
  TSatelliteList list;
  list.AddFromText(text, "weather.txt");
  struct Case {
    const char* catalogue;
    const char* name;
  };
  for (const Case c : {Case{"25338", "NOAA 15 [B]"}, Case{"28654", "NOAA 16"},
                       Case{"33591", "NOAA 19"}, Case{"88888", ""}}) {
    const int i = list.IndexOfCatalogue(c.catalogue);
    ASSERT_GE(i, 0) << c.catalogue;
    EXPECT_EQ(list.Name(i), c.name);
  }
  EXPECT_EQ(list.Count(), 4);
  EXPECT_EQ(list.Satellite(list.IndexOfCatalogue("25338")).Line1(), kLine1);
}

TEST(KeplerData, TakesTheNearerOfListAndFileTheListOnATie) {
  const double listDay = 237.55125393;  // NOAA 15 in the weather file
  TempDir dir;
  Write(dir / "list/weather.txt", DataText("weather-2019-08-25.txt"));
  TKeplerData data;
  data.SetKeplerFolder(dir.Path().string());
  data.SetTwoLineDataPath((dir / "list").string());
  ASSERT_NE(data.SatelliteList(), nullptr);
  struct Case {
    double fileDay, wanted;
    const char* catalogue;
    bool fromFile;
  };
  const Case cases[] = {
      {240, 237.6, "25338", false},
      {238, 238.5, "25338", true},
      {listDay + 2, listDay + 1, "25338", false},
      {200, 237.6, "99999", true},
  };
  for (const Case& c : cases) {
    RecordingMessages messages;
    Write(dir / "Keps/NOAA-15.txt", Joined(SetsAt({c.fileDay})));
    TKeplerSet set;
    ASSERT_TRUE(data.GetKeplers("NOAA-15", c.catalogue, Day(c.wanted), set));
    const double day = c.fromFile ? c.fileDay : listDay;
    EXPECT_NEAR(set.offset, day - c.wanted, 1e-8) << c.fileDay;
    EXPECT_EQ(set.fileName,
              c.fromFile ? fs::absolute(dir / "Keps/NOAA-15.txt").string() : "weather.txt");
    EXPECT_TRUE(messages.entries.empty());
  }
  fs::remove(dir / "Keps/NOAA-15.txt");
  RecordingMessages messages;
  TKeplerSet set;
  EXPECT_TRUE(data.GetKeplers("NOAA-15", "25338", Day(237), set));
  EXPECT_FALSE(data.GetKeplers("NOAA-15", "99999", Day(237), set));
  ASSERT_EQ(messages.entries.size(), 1u);
  EXPECT_EQ(messages.entries[0].text.rfind("Could not find satellite-specific", 0), 0u);
  data.SetTwoLineDataPath("");
  EXPECT_EQ(data.SatelliteList(), nullptr);
}

}  // namespace
}  // namespace vivurozed
