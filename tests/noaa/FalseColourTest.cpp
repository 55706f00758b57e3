#include "noaa/FalseColour.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>

#include "RecordingMessages.h"
#include "WavWriter.h"
#include "platform/Folders.h"

namespace vivurozed {
namespace {

struct Bgr {
  int b, g, r;
  bool operator==(const Bgr&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Bgr& c) {
  return os << "(r " << c.r << ", g " << c.g << ", b " << c.b << ")";
}

Bgr At(const TExtBitmap& bmp, int x, int y) {
  const std::uint8_t* p = bmp.ScanLine(y) + 3 * x;
  return {p[0], p[1], p[2]};
}

// Cell of a lookup for a temperature in degrees C and a brightness.
Bgr Cell(const TExtBitmap& lookup, int celsius, int brightness) {
  return At(lookup, celsius + 60, 255 - brightness);
}

TEST(ColourModels, HsvAndHlsSectors) {
  // Hue 360 counts as 0; hue 90 lies half-way through sector 1: (q, v, p) =
  // (0.5, 1, 0). HLS at lightness 0.5, saturation 1 gives the pure hues, and
  // a saturation above 1 is capped.
  const struct {
    bool hls;
    double h, s, v, red, green, blue;
  } cases[] = {{false, 123, 0, 0.4, 0.4, 0.4, 0.4}, {false, 0, 1, 1, 1, 0, 0},
               {false, 360, 1, 1, 1, 0, 0},         {false, 240, 1, 0.5, 0, 0, 0.5},
               {false, 90, 1, 1, 0.5, 1, 0},        {true, 200, 0.3, 0, 0.3, 0.3, 0.3},
               {true, 120, 0.5, 1, 0, 1, 0},        {true, 0, 0.5, 3, 1, 0, 0}};
  for (const auto& c : cases) {
    const TRgb rgb = c.hls ? HLStoRGB(c.h, c.s, c.v) : HSVtoRGB(c.h, c.s, c.v);
    EXPECT_NEAR(rgb.red, c.red, 1e-12) << c.hls << " " << c.h;
    EXPECT_NEAR(rgb.green, c.green, 1e-12) << c.hls << " " << c.h;
    EXPECT_NEAR(rgb.blue, c.blue, 1e-12) << c.hls << " " << c.h;
  }
}

TEST(BuiltInLookups, KnownCells) {
  const TExtBitmap therm = MakeBuiltInLookupBitmap("Therm");
  ASSERT_EQ(therm.Width(), 100);
  ASSERT_EQ(therm.Height(), 256);
  ASSERT_EQ(therm.PixelFormat(), pf24bit);
  EXPECT_EQ(Cell(therm, 10, 0), (Bgr{0, 255, 0}));  // 10, 11: green whatever the brightness
  EXPECT_EQ(Cell(therm, 11, 200), (Bgr{0, 255, 0}));
  EXPECT_EQ(Cell(therm, 8, 50), (Bgr{76, 255, 51}));   // 0.2, 1, 0.3 (76.5 to even)
  EXPECT_EQ(Cell(therm, -55, 9), (Bgr{51, 51, 51}));   // second grey band
  EXPECT_EQ(Cell(therm, -27, 9), (Bgr{255, 0, 204}));  // red 0.8 first
  EXPECT_EQ(Cell(therm, 39, 9), (Bgr{204, 204, 255}));
  EXPECT_EQ(Cell(therm, -60, 9), (Bgr{0, 0, 0}));

  const TExtBitmap cloud = MakeBuiltInLookupBitmap("CloudTop");
  EXPECT_EQ(Cell(cloud, -58, 100), (Bgr{255, 255, 255}));
  EXPECT_EQ(Cell(cloud, -53, 100), (Bgr{255, 0, 255}));
  EXPECT_EQ(Cell(cloud, -43, 100), (Bgr{76, 76, 255}));    // 76.5 to even
  EXPECT_EQ(Cell(cloud, -22, 100), (Bgr{255, 178, 178}));  // 178.5 to even
  EXPECT_EQ(Cell(cloud, 0, 100), (Bgr{1, 1, 1}));

  // HSV, -60 C at full brightness: k = -6, hue 280, saturation 0.07; sector
  // 4 with f = 2/3 gives (t, p, v) = (0.9767, 0.93, 1).
  const TExtBitmap hsv = MakeBuiltInLookupBitmap("HSV");
  EXPECT_EQ(Cell(hsv, -60, 255), (Bgr{255, 237, 249}));
  // 0 C: k = round(-0.499) = 0 -> hue 105, saturation 0.13 at value 0.5
  // (brightness 128 -> 0.50196): sector 1, f = 0.75: (q, v, p) = (0.4530, 0.50196, 0.4367).
  EXPECT_EQ(Cell(hsv, 0, 128), (Bgr{111, 128, 116}));

  // HLS, 20 C at brightness 128: hue 51, saturation 0.202 scaled by
  // (0.252 + 0.75); m2 = 0.6028, m1 = 0.4012: red m2, green on the rising
  // ramp, blue m1.
  const TExtBitmap hls = MakeBuiltInLookupBitmap("HLS");
  const Bgr c = Cell(hls, 20, 128);
  EXPECT_NEAR(c.r, 154, 1);
  EXPECT_NEAR(c.g, 146, 1);
  EXPECT_NEAR(c.b, 102, 1);

  EXPECT_EQ(MakeBuiltInLookupBitmap("Nonsense").Width(), 0);
}

TEST(BuiltInLookups, WrittenWhenMissingAndLoadedWithUserMaps) {
  testing::TempDir dir;
  testing::RecordingMessages messages;
  const auto folder = dir.Path() / "data";
  SetUserDataFolder(folder);
  MakeBuiltInLookups(UserDataFolder());
  SetUserDataFolder({});
  for (const char* name : BuiltInLookupNames)
    EXPECT_TRUE(std::filesystem::exists(folder / (std::string("TempToColour") + name + ".bmp")));
  // An existing file is left alone.
  EXPECT_FALSE(MakeBuiltInLookup(folder, "HSV"));

  // A user map in a second folder, a bad one, and a copy of a built-in name.
  const auto user = dir.Path() / "user";
  std::filesystem::create_directories(user);
  TExtBitmap custom = MakeBuiltInLookupBitmap("Therm");
  custom.SaveToFile(user / "TempToColourMyCloudtops.bmp");
  TExtBitmap narrow(100, 255, pf24bit);
  narrow.SaveToFile(user / "TempToColourNarrow.bmp");
  TExtBitmap grey(100, 256, pf8bit);
  grey.SaveToFile(user / "TempToColourGrey.bmp");
  std::ofstream(user / "TempToColourBroken.bmp") << "not a bitmap";
  MakeBuiltInLookupBitmap("CloudTop").SaveToFile(user / "TempToColourHSV.bmp");
  std::ofstream(user / "Other.bmp") << "ignored";

  const auto maps = LoadLookups({folder, user});
  std::vector<std::string> names;
  std::vector<bool> cloudtops;
  for (const auto& m : maps) names.push_back(m->Name()), cloudtops.push_back(m->Cloudtop());
  EXPECT_EQ(names, (std::vector<std::string>{"HSV", "HLS", "Therm", "CloudTop", "MyCloudtops"}));
  EXPECT_EQ(cloudtops, (std::vector<bool>{false, false, false, true, true}));
  // The HSV of the first folder won over the copy.
  EXPECT_EQ(Cell(maps[0]->Lookup(), -60, 255), (Bgr{255, 237, 249}));

  int sizeMessages = 0, unreadable = 0;
  for (const auto& e : messages.entries) {
    if (e.text.find("This file is not a 100 x 256 x 24-bit bitmap") != std::string::npos) {
      EXPECT_EQ(e.text.rfind("Error loading temperature lookup bitmap:\r", 0), 0u);
      ++sizeMessages;
    }
    if (e.text.ends_with(", file not found.")) {
      EXPECT_NE(e.text.find("TempToColourBroken.bmp"), std::string::npos);
      ++unreadable;
    }
  }
  EXPECT_EQ(sizeMessages, 2);
  EXPECT_EQ(unreadable, 1);
}

TEST(Folders, UserDataFolderFollowsXdgAndOverrides) {
  const char* old = std::getenv("XDG_DATA_HOME");
  const std::string saved = old ? old : "";
  setenv("XDG_DATA_HOME", "/tmp/xdg-test", 1);
  EXPECT_EQ(UserDataFolder(), std::filesystem::path("/tmp/xdg-test/vivurozed"));
  unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(UserDataFolder().filename(), "vivurozed");
  EXPECT_EQ(UserDataFolder().parent_path().filename(), "share");
  SetUserDataFolder("/somewhere");
  EXPECT_EQ(UserDataFolder(), std::filesystem::path("/somewhere"));
  SetUserDataFolder({});
  if (old) setenv("XDG_DATA_HOME", saved.c_str(), 1);
  ASSERT_EQ(ShippedDataFolders().size(), 2u);
  EXPECT_EQ(ShippedDataFolders()[1].filename(), "data");
}

// A calibrated NOAA 15 sensor; the colouring only reads its table.
TSensor CalibratedSensor() {
  TSensor sensor;
  sensor.SetModel(smNOAA15);
  sensor.PrtTemperature({100, 100, 100, 100});
  sensor.Calibrate(60, 230, 0);
  return sensor;
}

TEST(ThermalFalseColour, ColoursByTemperatureAndBrightness) {
  testing::RecordingMessages messages;
  TSensor sensor = CalibratedSensor();
  const TExtBitmap lookup = MakeBuiltInLookupBitmap("Therm");
  // Brightness picture 4 x 2; temperatures 8 x 3 with channel B in the
  // right half; first clean line 1.
  TExtBitmap bright(4, 2, pf8bit);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) bright.ScanLine(y)[x] = std::uint8_t(50 * x + y);
  TIplImage temps(8, 3, idDepth16u);
  const int values[4] = {0, 60, 130, 250};  // 8-bit values, stored x 64
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) {
      temps.Row16(y)[x] = 0;
      temps.Row16(y)[4 + x] = std::uint16_t(64 * values[x] + (y == 0 ? 64 : 0));
    }
  TExtBitmap fc, ir;
  std::array<double, 256> celsius{};
  TThermalFalseColour job;
  job.brightness = &bright;
  job.temperatures = &temps;
  job.firstCleanLine = 1;
  job.sensor = &sensor;
  job.lookup = &lookup;
  job.falseColour = &fc;
  job.irPicture = &ir;
  job.celsius = &celsius;
  ThermalFalseColour(job);
  ASSERT_EQ(fc.Width(), 4);
  ASSERT_EQ(fc.Height(), 2);
  EXPECT_TRUE(messages.entries.empty());
  for (int i = 0; i < 256; ++i)
    EXPECT_DOUBLE_EQ(celsius[std::size_t(i)], sensor.Temperature(i) - 273.16);
  EXPECT_DOUBLE_EQ(celsius[255], -273.16);  // no temperature known there
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) {
      EXPECT_EQ(ir.ScanLine(y)[x], values[x]);
      const double c = celsius[std::size_t(values[x])];
      const int column = std::clamp(static_cast<int>(std::lround(c)), -60, 39);
      EXPECT_EQ(At(fc, x, y), Cell(lookup, column, bright.ScanLine(y)[x])) << x << "," << y;
    }
  // Value 0 is hotter than 39 C and 250 colder than -60: the end columns.
  EXPECT_GT(celsius[0], 39.0);
  EXPECT_EQ(At(fc, 3, 0), Cell(lookup, -60, 150));

  // Turned: row y goes to the bottom, right to left.
  TExtBitmap turned;
  job.falseColour = &turned;
  job.irPicture = nullptr;
  job.rotate180 = true;
  ThermalFalseColour(job);
  EXPECT_EQ(At(turned, 3, 1),
            Cell(lookup, std::clamp(int(std::lround(celsius[0])), -60, 39), bright.ScanLine(1)[3]));

  // Without a lookup: the warning, and the picture is still written.
  job.lookup = nullptr;
  TExtBitmap blind;
  job.falseColour = &blind;
  ThermalFalseColour(job);
  ASSERT_EQ(messages.entries.size(), 1u);
  EXPECT_EQ(messages.entries[0].text,
            "Warning: NOAA false-colour routine called without a valid temperature-to-colour "
            "lookup bitmap.\r\rColours in the image will be random.");
  EXPECT_EQ(blind.Width(), 4);

  // Pictures that do not fit: nothing happens.
  TExtBitmap untouched;
  job.falseColour = &untouched;
  job.firstCleanLine = 2;  // 2 rows + 2 > 3
  ThermalFalseColour(job);
  EXPECT_EQ(untouched.Width(), 0);
}

TEST(VisiblePair, VegetationHuesAndGreys) {
  TExtBitmap a(3, 1, pf8bit), b(3, 1, pf8bit), fc;
  const int av[3] = {0, 150, 100}, bv[3] = {90, 100, 200};
  for (int x = 0; x < 3; ++x) {
    a.ScanLine(0)[x] = std::uint8_t(av[x]);
    b.ScanLine(0)[x] = std::uint8_t(bv[x]);
  }
  VisiblePairColouring(a, b, fc, true);
  EXPECT_EQ(At(fc, 0, 0), (Bgr{90, 90, 90}));     // a = 0: grey at b
  EXPECT_EQ(At(fc, 1, 0), (Bgr{100, 100, 100}));  // b < a: no vegetation
  // a = 100, b = 200: n = 1/3, s = 0.5556; hue 55.6, s^(1/1.7) = 0.7077,
  // saturation 0.566, value 0.7843: sector 0 -> (v, t, p) = (200, 192, 87).
  EXPECT_EQ(At(fc, 2, 0), (Bgr{87, 192, 200}));
  // Without the green option: hue 0, red, saturation 0.8 x 0.5556 = 0.4444,
  // p = 0.7843 x 0.5556 = 0.4357.
  VisiblePairColouring(a, b, fc, false);
  EXPECT_EQ(At(fc, 2, 0), (Bgr{111, 111, 200}));
}

TEST(Cloudtop, GreysFadeWithTheDifferenceFromLand) {
  TExtBitmap lookup = MakeBuiltInLookupBitmap("CloudTop");
  lookup.SetModified(false);
  CalibrateCloudtop(lookup, 10);
  EXPECT_TRUE(lookup.Modified());
  auto grey = [](double g) { return static_cast<int>(std::lround(g * g * 255)); };
  for (int row : {0, 128, 255}) {
    EXPECT_EQ(Cell(lookup, -50, 255 - row).g, grey(0.7));    // d = -60
    EXPECT_EQ(Cell(lookup, -44, 255 - row).g, grey(0.725));  // d = -54
    EXPECT_EQ(Cell(lookup, -39, 255 - row).g, grey(0.75));   // d = -49
    EXPECT_EQ(Cell(lookup, 5, 255 - row).g, grey(0.95));     // d = -5
    EXPECT_EQ(Cell(lookup, 6, 255 - row), (Bgr{1, 1, 1}));   // d = -4
    EXPECT_EQ(Cell(lookup, 39, 255 - row), (Bgr{1, 1, 1}));
  }
}

}  // namespace
}  // namespace vivurozed
