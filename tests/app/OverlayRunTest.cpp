// The overlay in whole runs: a real NOAA 15 pass identified, overlaid and
// located, and every way of failing that must still leave the pictures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

#include "QuietRunHost.h"
#include "RunFixture.h"
#include "app/ZevuvidInfo.h"
#include "map/FitMap.h"
#include "map/ekCartography.h"
#include "platform/FileTimes.h"

namespace vivurozed {
namespace {

namespace fs = std::filesystem;

const fs::path kData = VZ_TEST_DATA;

class OverlayRunTest : public testing::RunFixture {
 protected:
  void SetUp() override {
    RunFixture::SetUp();
    fs::create_directories(dir / "keps");
    fs::create_directories(dir / "out");
  }

  // A recording named and timed as a receiver would leave it: by default
  // lines 60 to 279 of the NOAA 15 pass, begun 18:28:15.17 UTC.
  std::string Recording(const std::string& name = "08251828_NOAA15.wav",
                        TDateTime start = EncodeDateTime(2019, 8, 25, 18, 28, 15, 168)) {
    const fs::path p = dir / name;
    fs::copy_file(kData / "noaa15-excerpt-110s.wav", p);
    SetModifiedTime(p, DateTimeToUnix(start) + 110.0);
    return p.string();
  }

  int Run(TProcessingRun& run, const std::string& wav, TBatchOptions batch) {
    batch.input = wav;
    batch.output = (dir / "out").string() + "/";
    batch.outputIsFolder = true;
    batch.overlay = true;
    if (batch.elements.empty()) batch.elements = (dir / "keps").string();
    return run.RunBatch(batch, {"vivurozed", wav, batch.output, "--overlay"});
  }

  testing::QuietRunHost host;
};

// A real NOAA 15 pass run unattended, then as the window runs it.
TEST_F(OverlayRunTest, IdentifiesOverlaysAndLocatesARealPass) {
  fs::copy_file(kData / "weather-2019-08-25.txt", dir / "keps" / "weather.txt");
  TProcessingRun run(host, store);
  run.Settings().ZeveDuruviz.SetValue(true);
  run.Settings().ConfirmPass.SetValue(true);
  run.Settings().KepsCurrPath.SetValue((dir / "keps").string());
  std::vector<TPassPrediction> asked;
  run.Overlay().SetOnConfirmPass([&](TPassPrediction& pass) {
    asked.push_back(pass);
    pass.southBound = true;
    pass.start += 60.0 / 86400;
    return true;
  });
  const std::string wav = Recording();
  ASSERT_EQ(Run(run, wav, {}), 0);
  EXPECT_TRUE(asked.empty());  // a batch run never asks
  EXPECT_TRUE(Logged(run, "Pass: NOAA-15, northbound"));
  EXPECT_EQ(run.Options().sensorModel, smNOAA15);
  EXPECT_FALSE(run.Options().southBound);
  for (const char* name :
       {"08251828_NOAA15.jpg", "08251828_NOAA15-ovl.jpg", "08251828_NOAA15-a.jpg",
        "08251828_NOAA15-b.jpg", "08251828_NOAA15-c.jpg"})
    EXPECT_TRUE(fs::exists(dir / "out" / name)) << name;

  // The false colour carries the coastlines in their colour.
  const TExtBitmap& colour = run.Pictures().falseColourOverlay;
  ASSERT_EQ(colour.PixelFormat(), pf24bit);
  int yellow = 0;
  for (int y = 0; y < colour.Height(); ++y)
    for (int x = 0; x < colour.Width(); ++x) {
      const std::uint8_t* p = colour.ScanLine(y) + 3 * x;
      yellow += p[0] == 0 && p[1] == 255 && p[2] == 255;
    }
  EXPECT_GT(yellow, 200);

  // One location record a line the pictures show (the noise crop may cut
  // their ends). Decoded line 0 is pass line 61 (18:28:15.5); the first
  // shown line under the satellite against the earth point worked out
  // independently; its ends (scanner samples -1020 and 1019) about 1400 km
  // either side.
  const auto lcn = testing::ReadBytes(dir / "out" / "08251828_NOAA15.lcn");
  const int first = run.Decoder().FirstCleanLine();
  const int last = run.Decoder().LastCleanLine() > 0 ? run.Decoder().LastCleanLine()
                                                     : run.Decoder().LineCount() - 1;
  ASSERT_EQ(lcn.size(), std::size_t(last - first + 1) * 408);
  const auto reference = testing::ReadBytes(kData / "map" / "noaa15-20190825-182745.lcn");
  TLocationRecord ours, truth;
  std::memcpy(&ours, lcn.data(), 408);
  std::memcpy(&truth, reference.data() + (61 + first) * 408, 408);
  double km = 0, bearing = 0;
  GreatCircle(ours[25].latitude, ours[25].longitude, truth[25].latitude, truth[25].longitude, km,
              bearing);
  EXPECT_LT(km, 7.0);  // two lines
  for (int k : {0, 50}) {
    GreatCircle(ours[25].latitude, ours[25].longitude, ours[k].latitude, ours[k].longitude, km,
                bearing);
    EXPECT_NEAR(km, 1400, 100) << k;
  }

  // The overlay alone, on black.
  ASSERT_TRUE(
      run.Overlay().SaveOverlayOnly((dir / "out" / "only_ovl_only.bmp").string(), run.Pictures()));
  TExtBitmap only;
  only.LoadFromFile(dir / "out" / "only_ovl_only.bmp");
  EXPECT_EQ(only.Width(), colour.Width());
  EXPECT_EQ(only.Height(), colour.Height());

  // A picture loaded again takes the overlay the companion tracker left
  // beside it, matched on the minute markers.
  SaveBitmapAsBMP(run.Pictures().main, (dir / "again.bmp").string());
  run.Overlay().Maker()->OverlayBitmap().SaveToFile(dir / "againovl.bmp");
  {
    TProcessingRun again(host, store);
    ASSERT_TRUE(again.Dispatch((dir / "again.bmp").string()));
    EXPECT_TRUE(Logged(again, "Read overlay: " + (dir / "againovl.bmp").string()));
    EXPECT_TRUE(Logged(again, "Overlay image minute marker at line: "));
    EXPECT_FALSE(IsEmpty(again.Pictures().overlay));
  }

  // The same earth point read where each picture shows picture line 100
  // under the satellite: the main picture carries one overlay per channel,
  // the channels of a northbound pass are turned, and large ones scale it.
  const TReadoutData data = run.ReadoutData();
  ASSERT_TRUE(data.maker);
  const int h = run.Pictures().main.Height(), line = 100;
  const std::string text = PositionText(*data.maker, data.placements[ptMain], 2080, h, 536, line);
  EXPECT_EQ(text.rfind("Lat:", 0), 0u) << text;
  // Off the located columns only the look angles remain.
  EXPECT_EQ(PositionText(*data.maker, data.placements[ptMain], 2080, h, 20, line).rfind("Az:", 0),
            0u);
  TRunOptions large = run.Options();
  large.largeImage = true;
  ASSERT_TRUE(run.Reprocess(large));
  const TReadoutData big = run.ReadoutData();
  const int bigH = run.Pictures().channelA.Height();
  // The large picture's row 1.5 times as far into the overlay (its noise
  // crop may differ by a line or two).
  const int overlayRow = data.placements[ptMain].lineOffset + line;
  const int bigRow = bigH - 1 - (overlayRow * 3 / 2 - big.placements[ptChannelA].lineOffset);
  const struct {
    const TReadoutData& data;
    TPictureTab tab;
    int width, height, x, y;
  } cases[] = {
      {data, ptMain, 2080, h, 536 + 1040, line},
      {data, ptChannelB, 1040, h, 1039 - 536, h - 1 - line},
      {data, ptFalseColour, 1040, h, 1039 - 536, h - 1 - line},
      {big, ptChannelA, 1560, bigH, 1559 - 804, bigRow},
      {big, ptFalseColour, 1560, bigH, 1559 - 804, bigRow},
  };
  for (const auto& c : cases)
    EXPECT_EQ(PositionText(*c.data.maker, c.data.placements[c.tab], c.width, c.height, c.x, c.y),
              text)
        << c.tab << " " << c.width;

  // The window's own run asks, and takes the user's pass as it stands,
  // not refined by the file times; the overlay begins a minute before
  // picture line 0.
  ASSERT_TRUE(run.Dispatch(wav));
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].satellite, "NOAA-15");
  EXPECT_FALSE(asked[0].southBound);
  EXPECT_TRUE(run.Options().southBound);
  EXPECT_TRUE(
      Logged(run, "Pass changed by the user: NOAA-15, start 2019-08-25 18:29:00 UTC, southbound"));
  ASSERT_NE(run.Overlay().Maker(), nullptr);
  EXPECT_NEAR((run.Overlay().Maker()->Start() - EncodeDateTime(2019, 8, 25, 18, 28, 0, 0)) * 86400,
              run.Decoder().FirstLineSeconds(), 0.01);
}

TEST_F(OverlayRunTest, ANoaa19RecordingIsIdentifiedCalibratedAndOverlaidAsNoaa19) {
  // NOAA 19 passed over the home location at 15:50 on 2018-12-06.
  fs::copy_file(kData / "weather-2018-12-06.txt", dir / "keps" / "weather.txt");
  // The companion keeps results in a folder of its own: the telemetry goes there.
  TSettingsStore zevuvid(SoftwareKeyPath("Zevuvid"));
  zevuvid.WriteString("ResultsPath", (dir / "results").string());
  fs::create_directories(dir / "results");
  TProcessingRun run(host, store);
  run.Settings().NoaaSaveStats.SetValue(true);
  ASSERT_EQ(Run(run, Recording("12061548_NOAA19.wav", EncodeDateTime(2018, 12, 6, 15, 48)), {}), 0);
  EXPECT_TRUE(fs::exists(dir / "results" / "12061548_NOAA19.telem.dat"));
  EXPECT_TRUE(Logged(run, "Pass: NOAA-19"));
  EXPECT_EQ(run.Options().sensorModel, smNOAA19);
  EXPECT_EQ(run.Caption(), "12061548_NOAA19.wav - NOAA19");
  EXPECT_TRUE(fs::exists(dir / "out" / "12061548_NOAA19-ovl.jpg"));
}

TEST_F(OverlayRunTest, HomeFromTheCompanionOrTheDefault) {
  THomeLocation home = HomeLocation(ReadZevuvidInfo());
  EXPECT_DOUBLE_EQ(home.latitude, 55.9);
  EXPECT_DOUBLE_EQ(home.longitude, -3.2);
  ASSERT_EQ(messages.entries.size(), 1u);  // the user is told
  TSettingsStore zevuvid(SoftwareKeyPath("Zevuvid"));
  zevuvid.WriteString("CurrentLat", "51.48");
  zevuvid.WriteString("CurrentLon", "359.99");
  zevuvid.WriteString("CurrentLoc", "Greenwich");
  home = HomeLocation(ReadZevuvidInfo());
  EXPECT_DOUBLE_EQ(home.latitude, 51.48);
  EXPECT_NEAR(home.longitude, -0.01, 1e-9);
  EXPECT_EQ(home.name, "Greenwich");
  EXPECT_EQ(messages.entries.size(), 1u);
}

TEST_F(OverlayRunTest, EveryFailureStillSavesThePictures) {
  // Elements for NOAA 18 only.
  {
    std::ifstream in(kData / "weather-2019-08-25.txt");
    std::ofstream out(dir / "noaa18.txt");
    std::string line;
    int take = 0;
    while (std::getline(in, line)) {
      if (line.rfind("NOAA 18", 0) == 0) take = 3;
      if (take-- > 0) out << line << '\n';
    }
  }
  fs::create_directories(dir / "old");
  fs::copy_file(kData / "weather-2018-12-06.txt", dir / "old" / "weather.txt");
  fs::create_directories(dir / "good");
  fs::copy_file(kData / "weather-2019-08-25.txt", dir / "good" / "weather.txt");
  struct Case {
    std::string elements;
    std::optional<double> latitude, longitude;
    const char* logged;
  } cases[] = {
      {(dir / "keps").string(), {}, {}, "Overlay: no orbital elements of NOAA-15"},
      {(dir / "noaa18.txt").string(), {}, {}, "Overlay: no orbital elements of NOAA-15"},
      {(dir / "old").string(), {}, {}, "days from the pass"},
      {(dir / "good").string(), -45.0, 170.0, "stays below 5 degrees elevation"},
  };
  const std::string wav = Recording();
  for (const Case& c : cases) {
    fs::remove_all(dir / "out");
    fs::create_directories(dir / "out");
    TProcessingRun run(host, store);
    TBatchOptions batch;
    batch.elements = c.elements;
    batch.homeLatitude = c.latitude;
    batch.homeLongitude = c.longitude;
    EXPECT_EQ(Run(run, wav, batch), 0) << c.logged;
    EXPECT_TRUE(Logged(run, c.logged)) << c.logged;
    EXPECT_TRUE(fs::exists(dir / "out" / "08251828_NOAA15.jpg"));
    EXPECT_TRUE(fs::exists(dir / "out" / "08251828_NOAA15-c.jpg"));
    EXPECT_FALSE(fs::exists(dir / "out" / "08251828_NOAA15-ovl.jpg"));
    EXPECT_FALSE(fs::exists(dir / "out" / "08251828_NOAA15.lcn"));
  }
}

// Land/sea edges of a picture: gradient magnitude of the smoothed picture
// over its own 61 x 61 local mean, so that cloud fields do not outweigh
// coasts.
std::vector<float> EdgeMap(const std::vector<float>& picture, int w, int h) {
  auto at = [&](const std::vector<float>& a, int x, int y) {
    return a[std::size_t(std::clamp(y, 0, h - 1)) * w + std::clamp(x, 0, w - 1)];
  };
  std::vector<float> kernel;
  for (int i = -5; i <= 5; ++i) kernel.push_back(float(std::exp(-i * i / (2 * 1.5 * 1.5))));
  float sum = 0;
  for (float k : kernel) sum += k;
  std::vector<float> a = picture, b(picture.size());
  for (int across : {1, 0}) {  // along the rows, then down the columns
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        float s = 0;
        for (int i = -5; i <= 5; ++i)
          s += kernel[std::size_t(i + 5)] * at(a, x + across * i, y + (1 - across) * i);
        b[std::size_t(y) * w + x] = s / sum;
      }
    std::swap(a, b);
  }
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const float gx = at(a, x + 1, y - 1) + 2 * at(a, x + 1, y) + at(a, x + 1, y + 1) -
                       at(a, x - 1, y - 1) - 2 * at(a, x - 1, y) - at(a, x - 1, y + 1);
      const float gy = at(a, x - 1, y + 1) + 2 * at(a, x, y + 1) + at(a, x + 1, y + 1) -
                       at(a, x - 1, y - 1) - 2 * at(a, x, y - 1) - at(a, x + 1, y - 1);
      b[std::size_t(y) * w + x] = std::hypot(gx, gy);
    }
  // Local mean by a summed-area table.
  std::vector<double> table(std::size_t(w + 1) * (h + 1), 0.0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      table[std::size_t(y + 1) * (w + 1) + x + 1] =
          b[std::size_t(y) * w + x] + table[std::size_t(y) * (w + 1) + x + 1] +
          table[std::size_t(y + 1) * (w + 1) + x] - table[std::size_t(y) * (w + 1) + x];
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const int x0 = std::max(0, x - 30), x1 = std::min(w, x + 31);
      const int y0 = std::max(0, y - 30), y1 = std::min(h, y + 31);
      const double s =
          table[std::size_t(y1) * (w + 1) + x1] - table[std::size_t(y0) * (w + 1) + x1] -
          table[std::size_t(y1) * (w + 1) + x0] + table[std::size_t(y0) * (w + 1) + x0];
      const double mean = s / ((x1 - x0) * (y1 - y0));
      a[std::size_t(y) * w + x] = float(b[std::size_t(y) * w + x] / (mean + 1e-6));
    }
  return a;
}

// The drawn coastlines must lie on the coasts the picture shows: shifting
// them across the picture's edge map scores best within three pixels and
// three lines of where they were drawn. Needs the full pass of the shared
// test recordings.
TEST_F(OverlayRunTest, CoastlinesLieOnTheCoastsOfARealPass) {
  const fs::path shared = VZ_SHARED_TESTDATA;
  if (!fs::exists(shared / "recordings" / "08251827_NOAA15.wav"))
    GTEST_SKIP() << "no shared test recordings";
  const fs::path wav = dir / "08251827_NOAA15.wav";
  fs::copy_file(shared / "recordings" / "08251827_NOAA15.wav", wav);
  SetModifiedTime(wav, DateTimeToUnix(EncodeDateTime(2019, 8, 25, 18, 34, 20)));
  fs::copy_file(kData / "weather-2019-08-25.txt", dir / "keps" / "weather.txt");
  TProcessingRun run(host, store);
  ASSERT_EQ(Run(run, wav.string(), {}), 0);
  ASSERT_NE(run.Overlay().Maker(), nullptr);

  // Channel A's 909 picture columns, where the overlay's channel lies.
  const TExtBitmap& main = run.Pictures().main;
  ASSERT_EQ(main.Width(), 2080);
  const int w = TOverlayMaker::kChannelWidth, h = main.Height();
  std::vector<float> picture(std::size_t(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      picture[std::size_t(y) * w + x] = main.ScanLine(y)[TOverlayMaker::kChannelColumn + x];
  const std::vector<float> edges = EdgeMap(picture, w, h);

  // Coastlines only, point by point along each line, through the fitted map.
  TCartogList coasts;
  TDiagnostics log;
  ASSERT_TRUE(coasts.LoadCountries(log));
  const TWarpedMapping& mapping = run.Overlay().Maker()->Mapping();
  const int offset = run.Overlay().LineOffset();
  constexpr int kSearch = 15;
  std::vector<std::pair<int, int>> mask;
  for (int i = 0; i < coasts.Count(); ++i) {
    const TLineSegment& s = coasts.Items(i);
    if (s.type != 0) continue;
    bool have = false;
    float px = 0, py = 0;
    for (const TGeoPoint& p : s.points) {
      float x = 0, y = 0;
      if (!mapping.Project(p.latitude, p.longitude, true, x, y)) {
        have = false;
        continue;
      }
      const int steps = have ? int(std::max(std::fabs(x - px), std::fabs(y - py))) + 1 : 1;
      for (int k = 0; k < steps && steps < 30; ++k) {
        const float t = have ? float(k + 1) / steps : 1;
        const int mx = int(std::lround(px + t * (x - px))),
                  my = int(std::lround(py + t * (y - py))) - offset;
        if (mx >= kSearch && mx < w - kSearch && my >= kSearch && my < h - kSearch)
          mask.emplace_back(mx, my);
      }
      px = x, py = y, have = true;
    }
  }
  std::sort(mask.begin(), mask.end());
  mask.erase(std::unique(mask.begin(), mask.end()), mask.end());
  ASSERT_GT(mask.size(), 2000u);

  double best = -1;
  int bestX = 99, bestY = 99;
  for (int dy = -kSearch; dy <= kSearch; ++dy)
    for (int dx = -kSearch; dx <= kSearch; ++dx) {
      double score = 0;
      for (const auto& [x, y] : mask) score += edges[std::size_t(y + dy) * w + x + dx];
      if (score > best) best = score, bestX = dx, bestY = dy;
    }
  std::printf("coastline fit: best shift %+d across, %+d along, %zu coast pixels\n", bestX, bestY,
              mask.size());
  EXPECT_LE(std::abs(bestX), 3);
  EXPECT_LE(std::abs(bestY), 3);
}

}  // namespace
}  // namespace vivurozed
