#include "app/RunHistory.h"

#include <gtest/gtest.h>

#include "WavWriter.h"

namespace vivurozed {
namespace {

TEST(RunHistory, RecordsFindsAndReplacesEntries) {
  TRunHistory h;
  h.Record("my pass.wav", true, "NOAA15");
  h.Record("other.wav", false, "Meteor");
  h.Record("my pass.wav", false, "NOAA17");  // replaces, moves to the end
  ASSERT_EQ(h.Entries().size(), 2u);
  EXPECT_EQ(h.Entries()[0], "other.wav N Meteor");
  EXPECT_EQ(h.Entries()[1], "my_pass.wav N NOAA17");
  TRunHistory::TEntry e;
  ASSERT_TRUE(h.Find("my pass.wav", e));
  EXPECT_FALSE(e.southBound);
  EXPECT_EQ(e.model, smNOAA17);
  ASSERT_TRUE(h.Find("other.wav", e));
  EXPECT_FALSE(e.noaa);
  EXPECT_EQ(e.model, smUnknown);
  EXPECT_FALSE(h.Find("my", e));  // a prefix of a name is not the name
}

TEST(RunHistory, EntriesGiveBackTheSensorModelByName) {
  const std::pair<const char*, TSensorModel> cases[] = {{"NOAA12", smNOAA12},
                                                        {"NOAA17", smNOAA17},
                                                        {"NOAA18", smNOAA18},
                                                        {"NOAA19", smNOAA19},
                                                        {"NOAA", smUnknown}};
  for (auto [satellite, model] : cases) {
    TRunHistory h;
    h.Record("12222039_NOAA19.wav", true, satellite);
    TRunHistory::TEntry e;
    ASSERT_TRUE(h.Find("12222039_NOAA19.wav", e));
    EXPECT_TRUE(e.noaa && e.southBound);
    EXPECT_EQ(e.model, model) << satellite;
  }
}

TEST(RunHistory, KeepsTheNewestFiveHundredAndSurvivesARestart) {
  testing::TempDir dir;
  TRunHistory h;
  for (int i = 0; i < 505; ++i) h.Record("f" + std::to_string(i) + ".wav", i % 2, "NOAA14");
  EXPECT_EQ(h.Entries().size(), TRunHistory::kMaxEntries);
  EXPECT_EQ(h.Entries().front(), "f5.wav S NOAA14");
  const auto file = dir / "sub" / TRunHistory::kFileName;
  ASSERT_TRUE(h.Save(file));
  TRunHistory again;
  again.Load(file);
  EXPECT_EQ(again.Entries(), h.Entries());
  TRunHistory::TEntry e;
  ASSERT_TRUE(again.Find("f503.wav", e));
  EXPECT_TRUE(e.southBound);
  EXPECT_EQ(e.model, smNOAA14);
  TRunHistory missing;
  missing.Load(dir / "none.ini");
  EXPECT_TRUE(missing.Entries().empty());
}

}  // namespace
}  // namespace vivurozed
