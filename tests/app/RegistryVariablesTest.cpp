#include "app/RegistryVariables.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "WavWriter.h"

namespace vivurozed {
namespace {

using vivurozed::testing::TempDir;

const std::string kKey = "\\Software\\Vovidada\\Vivurozed";

class RegistryVariablesTest : public ::testing::Test {
 protected:
  void SetUp() override { TSettingsStore::SetFolder(dir.Path()); }
  std::shared_ptr<TSettingsStore> NewStore(const std::string& key = kKey) {
    return std::make_shared<TSettingsStore>(key);
  }
  TempDir dir;
};

// The catalogue's documented defaults (colours with red in the low byte).
const std::pair<const char*, const char*> kStringDefaults[] = {
    {"SourceFolder", ""},        {"LastExtension", "*.wav"},
    {"ImageFolder", ""},         {"ActiveSats", "NOAA-12,NOAA-15,NOAA-17,NOAA-18,NOAA-19"},
    {"OvlLineOfs", "0,0,0,0,0"}, {"OvlPixOfs", "4,4,4,4,4"}};
const std::pair<const char*, int> kIntDefaults[] = {
    {"OutputFormat", 1},      {"NoaaJpegOutput", 1},  {"GammaCorrect", 1},
    {"InputFilter", 0},       {"Geostationary", 0},   {"Sharpen", 1},
    {"SampleRate", 11025},    {"SatelliteModel", 2},  {"NoaaColourMapIndex", 1},
    {"CtLandCol", 0x8c8c8c},  {"CtSeaCol", 0x800000}, {"Ct2LandCol", 0x00b800},
    {"Ct2SeaCol", 0xb8b800},  {"OvlFontStyle", 0},    {"OvlFontColour", 0xffff00},
    {"OvlFontBackground", 0}, {"OvlTextLocation", 0}};
const char* const kTrueByDefault[] = {"CropNoise",  "GreenVeg",          "AutoBlack",
                                      "AutoUpdate", "EqualiseHistogram", "OvlBoundary",
                                      "OvlGraphic", "OvlGrid",           "OvlOnIr"};
const char* const kFalseByDefault[] = {
    "NoaaCropBorders", "NoaaSaveStats", "LargeImage",        "LowPriority", "ReSync",   "Despeckle",
    "TapeInput",       "NoaaLumChanB",  "OvlTextWithBorder", "OvlTempCal",  "OvlScale", "OvlSoft"};

const char* const kOtherNames[] = {
    "HomeCaption",       "HomeSymbol",          "HomeCaptionAuto", "OvlFontName",  "OvlFontSize",
    "OvlBoundaryColour", "OvlGraphicColour",    "OvlGridColour",   "OvlTextLine1", "OvlTextLine2",
    "OvlTextLine3",      "OverlayFieldSpacing", "OverlayDateFmt",  "KepsCurrPath", "KepsFullPath",
    "AOSdegreesN",       "AOSdegreesS",         "TimezoneNaming",  "ZeveDuruviz",  "ConfirmPass"};

TEST_F(RegistryVariablesTest, FirstStartTakesDefaultsAndExitWritesThemAll) {
  {
    TMainSettings settings(NewStore());
    EXPECT_FALSE(settings.store->KeyExists());  // loading alone writes nothing
    EXPECT_EQ(settings.SampleRate.Value(), 11025);
    EXPECT_EQ(settings.LastExtension.Value(), "*.wav");
    EXPECT_TRUE(settings.EqualiseHistogram.Value());
    EXPECT_FALSE(settings.TapeInput.Value());
    EXPECT_DOUBLE_EQ(settings.Gamma(), 1.3);
  }
  TSettingsStore store(kKey);
  for (const auto& [name, value] : kStringDefaults)
    EXPECT_EQ(store.ReadString(name), value) << name;
  for (const auto& [name, value] : kIntDefaults) EXPECT_EQ(store.ReadInteger(name), value) << name;
  for (const char* name : kTrueByDefault) EXPECT_EQ(store.ReadInteger(name), 1) << name;
  for (const char* name : kFalseByDefault) EXPECT_EQ(store.ReadInteger(name), 0) << name;
  for (const char* name : kOtherNames) EXPECT_TRUE(store.ValueExists(name)) << name;
}

TEST_F(RegistryVariablesTest, AChangeIsInTheStoreAtOnceAndSurvivesARestart) {
  {
    TMainSettings running(NewStore());
    running.SourceFolder.SetValue("/home/me/recordings/été");
    running.OutputFormat.SetValue(2);
    running.SampleRate.SetValue(-11040);
    running.CropNoise.SetValue(false);
    running.Despeckle.SetValue(true);
    running.LastExtension.SetValue("*.noa");
    // A separate store object, as after a crash and restart.
    TSettingsStore other(kKey);
    EXPECT_EQ(other.ReadInteger("Despeckle"), 1);
    EXPECT_EQ(other.ReadString("LastExtension"), "*.noa");
    std::ifstream file(other.FileName());
    const std::string text{std::istreambuf_iterator<char>(file), {}};
    EXPECT_NE(text.find("\"Despeckle\"=dword:00000001\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\"LastExtension\"=\"*.noa\"\n"), std::string::npos) << text;
  }
  TMainSettings settings(NewStore());
  EXPECT_EQ(settings.SourceFolder.Value(), "/home/me/recordings/été");
  EXPECT_EQ(settings.OutputFormat.Value(), 2);
  EXPECT_EQ(settings.SampleRate.Value(), -11040);
  EXPECT_FALSE(settings.CropNoise.Value());
  EXPECT_TRUE(settings.Despeckle.Value());
  EXPECT_EQ(settings.ImageFolder.Value(), "");  // untouched ones stay at their defaults
}

TEST_F(RegistryVariablesTest, AStoredActiveSatelliteListIsKeptAsItIs) {
  for (const char* stored : {"NOAA-12,NOAA-15,NOAA-17", ""}) {
    ASSERT_TRUE(TSettingsStore(kKey).WriteString("ActiveSats", stored));
    { TMainSettings settings(NewStore()); }
    EXPECT_EQ(TSettingsStore(kKey).ReadString("ActiveSats"), stored);
  }
}

TEST_F(RegistryVariablesTest, AValueOfTheWrongTypeKeepsTheDefault) {
  {
    TSettingsStore store(kKey);
    ASSERT_TRUE(store.WriteInteger("SourceFolder", 5));
    ASSERT_TRUE(store.WriteString("SampleRate", "11030"));
    ASSERT_TRUE(store.WriteString("AutoBlack", "False"));
    ASSERT_TRUE(store.WriteInteger("LowPriority", 7));  // any non-zero integer is true
  }
  TMainSettings settings(NewStore());
  EXPECT_EQ(settings.SourceFolder.Value(), "");
  EXPECT_EQ(settings.SampleRate.Value(), 11025);
  EXPECT_TRUE(settings.AutoBlack.Value());
  EXPECT_TRUE(settings.LowPriority.Value());
}

TEST_F(RegistryVariablesTest, ColourMapIndexAndGammaAreLimitedToTheirLists) {
  auto store = NewStore();
  ASSERT_TRUE(store->WriteInteger("NoaaColourMapIndex", 7));
  TMainSettings settings(store);
  EXPECT_EQ(settings.NoaaColourMapIndex.Value(), 7);
  EXPECT_EQ(settings.LimitColourMapIndex(0), -1);
  EXPECT_EQ(settings.NoaaColourMapIndex.Value(), 7);
  EXPECT_EQ(settings.LimitColourMapIndex(5), 4);
  EXPECT_EQ(store->ReadInteger("NoaaColourMapIndex"), 4);
  settings.NoaaColourMapIndex.SetValue(-2);
  EXPECT_EQ(settings.LimitColourMapIndex(5), 0);
  settings.NoaaColourMapIndex.SetValue(3);
  EXPECT_EQ(settings.LimitColourMapIndex(5), 3);

  const std::pair<int, double> cases[] = {{-1, 1.0}, {0, 1.0}, {1, 1.3}, {2, 1.7},
                                          {3, 2.2},  {4, 2.8}, {5, 1.0}};
  for (const auto& [choice, gamma] : cases) {
    settings.GammaCorrect.SetValue(choice);
    EXPECT_DOUBLE_EQ(settings.Gamma(), gamma) << choice;
  }
}

TEST_F(RegistryVariablesTest, DeleteOnFreeRemovesTheValueAfterSaving) {
  auto store = NewStore();
  {
    TRegistryString temporary(store, "Scratch", "x");
    temporary.SetValue("y");
    EXPECT_EQ(store->ReadString("Scratch"), "y");
    temporary.SetDeleteOnFree(true);
  }
  EXPECT_FALSE(store->ValueExists("Scratch"));
}

TEST_F(RegistryVariablesTest, FormInfoDefaultsToTheWindowAndAppliesClientSize) {
  const TFormPlacement current{0, 10, 20, 800, 600, 784, 560};
  {
    TRegistryFormInfo info(NewStore(), current);
    EXPECT_EQ(info.FormLeft.Value(), 10);
    EXPECT_EQ(info.FormClientHeight.Value(), 560);
    info.Update({2, -4, 7, 1000, 700, 990, 650});
  }
  TRegistryFormInfo info(NewStore(), current);
  TFormPlacement window = current;
  info.ApplyTo(window);
  EXPECT_EQ(window.state, 2);
  EXPECT_EQ(window.left, -4);
  EXPECT_EQ(window.top, 7);
  EXPECT_EQ(window.clientWidth, 990);
  EXPECT_EQ(window.clientHeight, 650);
  // The outer size is kept but not applied.
  EXPECT_EQ(info.FormWidth.Value(), 1000);
  EXPECT_EQ(window.width, 800);
  EXPECT_EQ(window.height, 600);
}

TEST(FontStyles, BitSet) {
  for (const auto& [styles, bits] : {std::pair{TFontStyles{true, false, true, false}, 5},
                                     {TFontStyles{false, true, false, true}, 10}}) {
    EXPECT_EQ(FontStylesToInteger(styles), bits);
    EXPECT_EQ(IntegerToFontStyles(bits), styles);
  }
}

TEST_F(RegistryVariablesTest, RenamedExecutableUsesItsOwnKey) {
  EXPECT_EQ(ProgramKeyPath("/opt/vz/Vivurozed"), kKey);
  EXPECT_EQ(ProgramKeyPath("/opt/vz/Vivurozed.exe"), kKey);
  const std::string renamed = ProgramKeyPath("/opt/vz/MyDecoder");
  EXPECT_EQ(renamed, "\\Software\\Vovidada\\MyDecoder");
  {
    TMainSettings settings(NewStore());
    settings.SampleRate.SetValue(11050);
  }
  TMainSettings other(NewStore(renamed));
  EXPECT_EQ(other.SampleRate.Value(), 11025);
}

TEST_F(RegistryVariablesTest, AppPathsRecordAndLookUp) {
  EXPECT_EQ(LookUpAppPath("Zevuvid"), "");
  RecordAppPath("/opt/vz/Vivurozed");
  EXPECT_EQ(LookUpAppPath("Vivurozed"), "/opt/vz/Vivurozed");
  EXPECT_EQ(LookUpAppPath("Zevuvid"), "");
  TSettingsStore appPaths("\\Software\\Vovidada\\App Paths");
  EXPECT_EQ(appPaths.ReadString("Vivurozed"), "/opt/vz/Vivurozed");
}

TEST_F(RegistryVariablesTest, AStoreThatCannotBeWrittenKeepsValuesInMemorySilently) {
  testing::WriteBytes(dir.Path() / "Vovidada", {'x'});  // no folder can be made there
  TMainSettings settings(NewStore());
  settings.OutputFormat.SetValue(0);
  EXPECT_EQ(settings.OutputFormat.Value(), 0);
  EXPECT_FALSE(settings.OutputFormat.Save());
  RecordAppPath("/opt/vz/Vivurozed");
  EXPECT_TRUE(std::filesystem::is_regular_file(dir.Path() / "Vovidada"));
}

}  // namespace
}  // namespace vivurozed
