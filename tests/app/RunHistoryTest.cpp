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
  EXPECT_EQ(h.Entries(), (std::vector<std::string>{"other.wav N Meteor", "my_pass.wav N NOAA17"}));
  TRunHistory::TEntry e;
  ASSERT_TRUE(h.Find("other.wav", e));
  EXPECT_FALSE(e.noaa);
  EXPECT_EQ(e.model, smUnknown);
  EXPECT_FALSE(h.Find("my", e));  // a prefix of a name is not the name
  // The entry gives back the direction and the sensor model by name.
  const std::tuple<const char*, bool, TSensorModel> cases[] = {{"NOAA17", false, smNOAA17},
                                                               {"NOAA12", true, smNOAA12},
                                                               {"NOAA18", true, smNOAA18},
                                                               {"NOAA19", true, smNOAA19},
                                                               {"NOAA", true, smUnknown}};
  for (auto [satellite, south, model] : cases) {
    h.Record("my pass.wav", south, satellite);
    ASSERT_TRUE(h.Find("my pass.wav", e));
    EXPECT_TRUE(e.noaa) << satellite;
    EXPECT_EQ(e.southBound, south) << satellite;
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
