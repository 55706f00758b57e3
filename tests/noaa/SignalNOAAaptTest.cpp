#include "noaa/SignalNOAAapt.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include "AptSignal.h"
#include "RecordingMessages.h"

namespace vivurozed {
namespace {

using testing::AptContent;

// A pass as the decoder would hand it over: 2080-word lines, each word
// stored as black + gain x 64 x word, optionally shifted along the signal,
// widened, or with noise added.
struct Pass {
  AptContent content;
  int firstLine = 0;  // transmitted line of row 0
  int lines = 384;
  double gain = 1.0, black = 0.0;
  int shift = 0;  // words, positive = later (right)
  int width = 2080;
  double noise = 0.0;  // half-width of uniform noise, 16-bit levels
  Pass() {
    content.standardFormat = true;
    content.spaceIR = 230;
    content.spaceVisible = 10;
    content.channelA = 2;
    content.channelB = 4;
    content.backScanA = 40;
    content.backScanB = 160;
    content.imageA = [](int line, int col) { return std::uint8_t((line + col) % 200 + 20); };
    content.imageB = [](int, int) { return std::uint8_t(180); };
  }
};

std::unique_ptr<TIplImage> Decoded(const Pass& p) {
  const int n = testing::kAptWordsPerLine;
  std::vector<double> flat(std::size_t(n) * p.lines, 0.0);
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-p.noise, p.noise);
  for (int y = 0; y < p.lines; ++y) {
    const auto words = testing::AptLineWords(p.firstLine + y, p.content);
    for (int x = 0; x < n; ++x) {
      const std::int64_t at = std::int64_t(y) * n + x + p.shift;
      if (at >= 0 && at < std::int64_t(flat.size()))
        flat[std::size_t(at)] = p.black + p.gain * 64.0 * words[std::size_t(x)];
    }
  }
  auto img = iplCreateImage(n, p.lines, idDepth16u);
  for (int y = 0; y < p.lines; ++y)
    for (int x = 0; x < n; ++x) {
      const double v = flat[std::size_t(y) * n + x] + (p.noise > 0 ? u(rng) : 0.0);
      img->Row16(y)[x] = std::uint16_t(std::clamp(std::lround(v), 0L, 65535L));
    }
  if (p.width == n) return img;
  auto wide = iplCreateImage(p.width, p.lines, idDepth16u);
  iplZoom(*img, *wide, p.width, n, 1, 1, iiCubic);
  return wide;
}

struct NoaaRun {
  std::unique_ptr<TIplImage> image;
  TExtBitmap a, b, ir, fc;
  TDiagnostics log;
  TSensor sensor;
  TExtBitmap lookup = MakeBuiltInLookupBitmap("Therm");
  std::array<double, 256> celsius{};
  TNoaaProcessing job;
  std::vector<std::pair<std::string, int>> progress;

  explicit NoaaRun(const Pass& p) : image(Decoded(p)) {
    sensor.SetModel(smNOAA15);
    job.image = image.get();
    job.channelA = &a;
    job.channelB = &b;
    job.log = &log;
    job.irPicture = &ir;
    job.falseColour = &fc;
    job.tempToColourLookup = &lookup;
    job.celsius = &celsius;
    job.sensor = &sensor;
    job.onProgress = [this](const std::string& t, int pc) { progress.emplace_back(t, pc); };
  }
  bool Logged(const std::string& line) const {
    const auto& l = log.Lines();
    return std::find(l.begin(), l.end(), line) != l.end();
  }
  bool LoggedPrefix(const std::string& prefix) const {
    const auto& l = log.Lines();
    return std::any_of(l.begin(), l.end(), [&](const auto& s) { return s.rfind(prefix, 0) == 0; });
  }
};

TEST(NoaaFrame, ColumnsOfAPerfectLine) {
  const TNoaaFrame f = NoaaFrame(2080, 1040);
  EXPECT_EQ(
      (std::vector<int>{f.telemetryA, f.spaceB, f.telemetryB, f.spaceA, f.imageAFirst, f.imageAEnd,
                        f.imageBFirst, f.imageBEnd, f.telemetryWidth, f.spaceWidth}),
      (std::vector<int>{997, 1081, 2037, 41, 88, 991, 1128, 2031, 39, 41}));
  // A sync found at the far end of its range keeps the strips on the line.
  const TNoaaFrame edge = NoaaFrame(2080, 1104);
  EXPECT_LE(edge.telemetryB + edge.telemetryWidth, 2080);
}

TEST(ProcessNOAA, VisibleAndThermalPassIsAnalysedAndCalibrated) {
  Pass p;
  p.firstLine = 37;
  p.gain = 0.85;
  p.black = 600;
  p.width = 4160;  // the decoder's picture is wider than the line; resampled down
  NoaaRun r(p);
  ASSERT_TRUE(ProcessNOAA(r.job));
  const auto& f = r.job.found;

  // Sync B's first high word is 1044; the template's last weight sits 36
  // columns after it, and the start is that column less 39.
  EXPECT_EQ(f.syncStart, 1041);
  EXPECT_EQ(f.moved, 0);
  EXPECT_FALSE(r.LoggedPrefix("NOAA: Moving internal image"));
  EXPECT_FALSE(f.twoVisible);
  EXPECT_EQ(f.wedgePhase, 64 - 37);  // wedge 9 starts on frame line 64
  // Minute markers: black on lines 0, 1, white on 2, 3 of every 120.
  EXPECT_EQ(r.job.minuteMarkerPhase, 122 - 37);

  ASSERT_EQ(r.job.lineStats.size(), 384u);
  for (const auto& st : r.job.lineStats) {
    EXPECT_NEAR(st.gain, 0.85, 0.02);
    EXPECT_NEAR(st.black, 600, 30);
  }
  // After normalisation a white wedge (8) reads 255 x 64.
  const int wedge8Row = (7 * 8 - 37 + 128) % 128 + 3;
  EXPECT_NEAR(r.job.lineStats[std::size_t(wedge8Row)].telemetryA, 16320, 150);
  EXPECT_NEAR(r.job.lineStats[std::size_t(wedge8Row)].spaceB, 230 * 64, 150);

  ASSERT_TRUE(f.identified);
  EXPECT_EQ(f.channelA, caAllSensor2);
  EXPECT_EQ(f.switchLine, -1);
  for (const char* line :
       {"NOAA: From wedge telemetry channel A is AVHRR sensor 2 (0.86um visible)",
        "NOAA: From wedge telemetry channel B is AVHRR sensor 4 (11um thermal IR)",
        "NOAA: Chan A is all sensor 2", "NOAA: Channel switch line: -1",
        "NOAA:  Corrected wedge values:  31 63 95 127 159 191 223 255 ",
        "NOAA:  Expected wedge values:  31 63 95 127 159 191 223 255",
        "NOAA: Channel A look-at-space (black) value: 10",
        "NOAA: Channel B look-at-space value: 230"})
    EXPECT_TRUE(r.Logged(line)) << line;

  // PRT wedges 100 .. 103 on NOAA-15.
  EXPECT_EQ(f.prt, (std::array<int, 4>{100, 101, 102, 103}));
  // The sensor's own readings, checked against the published constants in
  // its tests.
  TSensor truth;
  truth.SetModel(smNOAA15);
  const double tPrt = truth.PrtTemperature({100, 101, 102, 103});
  EXPECT_NEAR(f.blackbodyTemperature, tPrt, 0.01);
  EXPECT_TRUE(r.Logged(
      Format("NOAA: Blackbody PRT 8-bit values: [100 101 102 103], temperature: %.1fK (%.1fC)",
             tPrt, tPrt - 273.15)));
  EXPECT_EQ(f.blackbodyValue, 160);  // channel B back-scan
  EXPECT_EQ(f.spaceValue, 230);
  EXPECT_TRUE(r.LoggedPrefix("NOAA: Blackbody value: 160, apparent temperature "));

  // Channel B shows 8-bit 180 everywhere, between the blackbody (160) and
  // space (230): a cold cloud top.
  truth.Calibrate(160, 230, tPrt);
  const double expected = truth.Temperature(180);
  EXPECT_GT(expected, 230.0);
  EXPECT_LT(expected, tPrt);
  ASSERT_EQ(r.ir.Width(), 1040);
  const int irValue = r.ir.ScanLine(200)[500];
  EXPECT_EQ(irValue, 180);
  EXPECT_NEAR(r.celsius[std::size_t(irValue)] + 273.16, expected, 0.5);
  EXPECT_NEAR(r.sensor.Temperature(160), tPrt, 0.3);  // the blackbody itself

  // Pictures: two 1040-wide channels over all lines, a false colour of the
  // Therm lookup at channel B's temperature.
  for (const TExtBitmap* pic : {&r.a, &r.b, &r.fc}) {
    ASSERT_EQ(pic->Width(), 1040);
    ASSERT_EQ(pic->Height(), 384);
  }
  EXPECT_EQ(r.a.PixelFormat(), pf8bit);
  const int column = std::clamp(int(std::lround(r.celsius[180])), -60, 39) + 60;
  const std::uint8_t* want = r.lookup.ScanLine(255 - r.a.ScanLine(200)[500]) + 3 * column;
  const std::uint8_t* got = r.fc.ScanLine(200) + 3 * 500;
  EXPECT_TRUE(std::equal(got, got + 3, want));

  // The stages report in order.
  std::vector<std::string> stages;
  for (const auto& [t, pc] : r.progress) stages.push_back(t);
  EXPECT_EQ(stages,
            (std::vector<std::string>{"NOAA input resample", "NOAA telemetry analysis",
                                      "NOAA false-colour", "NOAA channel split", "NOAA complete"}));
  EXPECT_EQ(r.progress.back().second, 100);
}

TEST(ProcessNOAA, SyncOffTheMiddleMovesThePicture) {
  // Found at 1041 + shift; moved by 1040 - found - 3 when that is large.
  struct Case {
    int shift, moved, syncStart;
    const char* log;
  };
  for (const Case& c : {Case{30, -34, 1037, "NOAA: Moving internal image 34 pixels left."},
                        Case{5, 0, 1046, nullptr},
                        Case{-25, 21, 1037, "NOAA: Moving internal image 21 pixels right."}}) {
    Pass p;
    p.shift = c.shift;
    NoaaRun r(p);
    ASSERT_TRUE(ProcessNOAA(r.job));
    EXPECT_EQ(r.job.found.moved, c.moved) << c.shift;
    EXPECT_EQ(r.job.found.syncStart, c.syncStart) << c.shift;
    EXPECT_TRUE(c.log ? r.Logged(c.log) : !r.LoggedPrefix("NOAA: Moving internal image"));
  }
}

TEST(ProcessNOAA, ChannelASwitchFromMidInfraredToVisible) {
  Pass p;
  p.firstLine = 40;  // frame starts at rows 88, 216, 344, ...
  p.lines = 640;
  p.content.channelA = 3;
  p.content.switchLine = 384;  // transmitted line of a frame start: row 344
  p.content.channelAAfterSwitch = 2;
  NoaaRun r(p);
  ASSERT_TRUE(ProcessNOAA(r.job));
  EXPECT_EQ(r.job.found.wedgePhase, 24);
  EXPECT_EQ(r.job.found.channelA, caSensor3Then2);
  EXPECT_EQ(r.job.found.switchLine, 344);
  EXPECT_TRUE(r.Logged("NOAA: Chan A is sensor 3 then sensor 2"));
  EXPECT_TRUE(r.Logged("NOAA: Channel switch line: 344"));

  // A crop that starts after the switch leaves channel A visible throughout.
  NoaaRun cropped(p);
  cropped.job.firstCleanLine = 400;
  ASSERT_TRUE(ProcessNOAA(cropped.job));
  EXPECT_EQ(cropped.job.found.channelA, caAllSensor2);
  EXPECT_TRUE(
      cropped.Logged("NOAA: Noise crop:  first clean: 400  last: 639  (total height: 640 lines)"));
  EXPECT_EQ(cropped.a.Height(), 240);
  EXPECT_EQ(cropped.job.firstCleanLine, 400);
  EXPECT_EQ(cropped.job.lastCleanLine, 639);
}

TEST(ProcessNOAA, TwoVisibleChannelsGetTheVegetationColouring) {
  Pass p;
  p.content.channelA = 1;
  p.content.channelB = 2;
  p.content.imageB = [](int, int col) { return std::uint8_t(60 + col % 100); };
  NoaaRun r(p);
  ASSERT_TRUE(ProcessNOAA(r.job));
  EXPECT_TRUE(r.job.found.twoVisible);
  EXPECT_TRUE(r.Logged("NOAA: Detected 2 visible channels in this image"));
  EXPECT_EQ(r.job.found.channelA, caAllSensor1);
  EXPECT_TRUE(r.Logged("NOAA: Chan A is all sensor 1"));
  EXPECT_TRUE(r.Logged("NOAA: From wedge telemetry channel A is AVHRR sensor 1 (0.63um visible)"));
  // The false colour is the visible pair of the two channel pictures.
  TExtBitmap pair;
  VisiblePairColouring(r.a, r.b, pair, true);
  ASSERT_EQ(r.fc.Width(), pair.Width());
  for (int y : {10, 200})
    EXPECT_TRUE(std::equal(r.fc.ScanLine(y), r.fc.ScanLine(y) + 3 * 1040, pair.ScanLine(y)));
}

TEST(ProcessNOAA, ThermalChannelACalibratesFromChannelA) {
  Pass p;
  p.content.channelA = 4;
  p.content.channelB = 5;
  p.content.backScanA = 150;
  p.content.backScanB = 170;
  NoaaRun r(p);
  ASSERT_TRUE(ProcessNOAA(r.job));
  EXPECT_EQ(r.job.found.channelA, caAllSensor4);
  EXPECT_TRUE(r.Logged("NOAA: Chan A is all sensor 4"));
  EXPECT_TRUE(r.Logged("NOAA: From wedge telemetry channel B is AVHRR sensor 5 (12um thermal IR)"));
  EXPECT_EQ(r.job.found.blackbodyValue, 150);
  EXPECT_EQ(r.job.found.spaceValue, 230);
}

TEST(ProcessNOAA, LargeImageAndTurnedPictures) {
  Pass p;
  NoaaRun plain(p);
  ASSERT_TRUE(ProcessNOAA(plain.job));
  NoaaRun turned(p);
  turned.job.rotate180 = true;
  ASSERT_TRUE(ProcessNOAA(turned.job));
  for (int y : {0, 17, 383})
    for (int x : {0, 300, 1039}) {
      EXPECT_EQ(turned.a.ScanLine(383 - y)[1039 - x], plain.a.ScanLine(y)[x]);
      EXPECT_EQ(0, std::memcmp(turned.fc.ScanLine(383 - y) + 3 * (1039 - x),
                               plain.fc.ScanLine(y) + 3 * x, 3));
    }

  NoaaRun large(p);
  large.job.largeImage = true;
  ASSERT_TRUE(ProcessNOAA(large.job));
  EXPECT_EQ(large.a.Width(), 1560);
  EXPECT_EQ(large.a.Height(), 576);
  EXPECT_EQ(large.fc.Height(), 576);
  EXPECT_NEAR(large.job.found.syncStart, 1041 * 1.5, 2);
}

TEST(ProcessNOAA, PoorTelemetryFallsBackToUnitGain) {
  Pass p;
  p.noise = 4400;  // standard deviation about 2540 in every strip
  NoaaRun r(p);
  r.job.falseColour = nullptr;
  ASSERT_TRUE(ProcessNOAA(r.job));
  int poor = 0;
  for (const auto& l : r.log.Lines())
    poor += l == "NOAA: Poor signal, cannot determine gain for NOAA processing!";
  EXPECT_EQ(poor, 2);
  EXPECT_TRUE(r.Logged("      Trying again with with relaxed noise criteria"));
  EXPECT_TRUE(r.LoggedPrefix("      0 valid lines out of "));
  for (const auto& st : r.job.lineStats) EXPECT_FLOAT_EQ(st.gain, 1.0f);
  // No false-colour picture asked for: no identification lines.
  EXPECT_FALSE(r.LoggedPrefix("NOAA: Chan A"));
  EXPECT_EQ(r.a.Width(), 1040);
}

TEST(ProcessNOAA, RefusesPicturesItCannotWorkOn) {
  Pass p;
  p.lines = 191;
  NoaaRun shortPass(p);
  shortPass.a.SetSize(5, 5);
  EXPECT_FALSE(ProcessNOAA(shortPass.job));
  EXPECT_EQ(shortPass.a.Width(), 0);
  EXPECT_TRUE(shortPass.job.lineStats.empty());

  Pass ok;
  NoaaRun noPicture(ok);
  noPicture.job.channelB = nullptr;
  EXPECT_FALSE(ProcessNOAA(noPicture.job));

  // Noise without any sync.
  NoaaRun flat(ok);
  auto noise = iplCreateImage(2080, 256, idDepth16u);
  std::mt19937 rng(3);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 2080; ++x) noise->Row16(y)[x] = std::uint16_t(rng() % 16000);
  flat.job.image = noise.get();
  EXPECT_FALSE(ProcessNOAA(flat.job));
  EXPECT_EQ(flat.a.Width(), 0);
}

}  // namespace
}  // namespace vivurozed
