#include "map/FitMap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "RecordingMessages.h"
#include "WavWriter.h"
#include "platform/Diagnostics.h"

namespace vivurozed {
namespace {

// Earth points of the NOAA 15 pass of 2019-08-25 18:27:45 UTC, 0.5 s a line,
// made by tests/map/make_pass_earthpoints.py, which also gives the mean
// satellite height.
constexpr double kPassHeight = 805.362;

std::vector<TEarthPointRecord> ReadRecords(const std::string& name) {
  const auto bytes = testing::ReadBytes(std::string(VZ_TEST_DATA) + "/map/" + name);
  std::vector<TEarthPointRecord> records(bytes.size() / sizeof(TEarthPointRecord));
  std::memcpy(records.data(), bytes.data(), records.size() * sizeof(TEarthPointRecord));
  return records;
}

double Correlation(const std::vector<std::string>& log, const char* start) {
  for (const auto& line : log) {
    if (line.rfind(start, 0) != 0) continue;
    const auto at = line.find("(correl: ");
    if (at != std::string::npos) return std::stod(line.substr(at + 9));
  }
  return -1;
}

// The picture column of scanner offset s: the APT pixel whose samples centre
// nearest to it.
double PixelOfOffset(double s) {
  int best = -454;
  for (int u = -454; u <= 454; ++u)
    if (std::abs(AptPixelSampleOffset(u) - s) < std::abs(AptPixelSampleOffset(best) - s)) best = u;
  return best + 454;
}

TEST(GreatCircle, DistanceAndBearingOfHandWorkedCases) {
  struct Case {
    double lat1, lon1, lat2, lon2, distance, bearing;
  };
  const double quarter = 6378.135 * M_PI / 2;
  const Case cases[] = {
      {0, 0, 0, 90, quarter, 90},   {0, 0, 10, 0, quarter / 9, 0},
      {0, 0, 0, -90, quarter, 270}, {90, 0, 0, 45, quarter, 180},
      {-90, 0, 0, 45, quarter, 0},  {0, 10, 0, -170, 2 * quarter, 270},
      {45, 0, 45, 180, quarter, 0},
  };
  for (const auto& c : cases) {
    double distance = 0, bearing = 0;
    GreatCircle(c.lat1, c.lon1, c.lat2, c.lon2, distance, bearing);
    EXPECT_NEAR(distance, c.distance, 1e-6) << c.lat1 << "," << c.lon1;
    EXPECT_NEAR(bearing, c.bearing, 1e-6) << c.lat1 << "," << c.lon1;
  }
}

TEST(FitMapToImage, RefusesTooShortPassesAndMeasuresTheGroundStep) {
  const auto pass = ReadRecords("noaa15-20190825-182745.lcn");
  struct Case {
    int lines;
    bool fitted;
    const char* stepLine;
    bool messageBox;
  };
  const Case cases[] = {
      {2, false, nullptr, false},
      {41, false, "Ground track step per line (assumed) : 3.27km", true},
      {57, false, "Ground track step per line (from locations) : 3.345km", true},
      {58, true, "Ground track step per line (from locations) : 3.345km", false},
  };
  for (const auto& c : cases) {
    testing::RecordingMessages messages;
    TDiagnostics log;
    TResidualArray residuals;
    TWarpedMapping mapping;
    const bool fitted = FitMapToImage(std::span(pass).first(std::size_t(c.lines)), log, residuals,
                                      mapping, 3, 55.37, kPassHeight);
    EXPECT_EQ(fitted, c.fitted) << c.lines;
    EXPECT_EQ(log.Lines().front(), "Scale and warp map projection to match image");
    if (!c.stepLine) {
      EXPECT_EQ(log.Lines().back(), "Cannot do any mapping with less then three lines!");
    } else {
      EXPECT_EQ(log.Lines()[1].rfind(c.stepLine, 0), 0u) << log.Lines()[1];
    }
    ASSERT_EQ(messages.entries.size(), c.messageBox ? 1u : 0u) << c.lines;
    if (c.messageBox) {
      EXPECT_EQ(messages.entries[0].text,
                "Cannot map earth locations with less than 60 lines of data.");
    }
    EXPECT_EQ(mapping.Residuals().empty(), !c.fitted);
  }
}

TEST(FitMapToImage, FitsTheRealPassToTheScannedPixels) {
  const auto pass = ReadRecords("noaa15-20190825-182745.lcn");
  ASSERT_EQ(pass.size(), 840u);
  TDiagnostics log;
  TResidualArray residuals;
  TWarpedMapping mapping;
  ASSERT_TRUE(FitMapToImage(pass, log, residuals, mapping, 3, 55.37, kPassHeight));
  for (const auto& line : log.Lines()) std::printf("%s\n", line.c_str());
  EXPECT_EQ(log.Lines()[2],
            "Mid-picture line: 420,  lon = -3.34°  lat = 50.51°  altitude = 805.4 km");
  for (const char* fit : {"Vertical map warp", "Horizontal map warp", "Horizontal map skew"})
    EXPECT_GT(Correlation(log.Lines(), fit), 0.999) << fit;

  // The warps leave the scan lines' curvature far from the middle to the
  // residual grid: up to 11 lines at the far ends of the east edge.
  ASSERT_EQ(residuals.size(), 840u);
  float largest = 0;
  for (const auto& row : residuals)
    for (const auto& r : row) largest = std::max({largest, std::abs(r.dx), std::abs(r.dy)});
  std::printf("largest residual %.2f pixels\n", largest);
  EXPECT_LT(largest, 12.0f);

  // Points halfway between the fitted ones land on the pixel that shows them.
  const auto between = ReadRecords("noaa15-20190825-182745-between.lcn");
  ASSERT_EQ(between.size(), 21u);
  double worstX = 0, worstY = 0;
  for (std::size_t i = 0; i < between.size(); ++i) {
    for (int k = 0; k < 51; ++k) {
      float x = 0, y = 0;
      const auto& p = between[i][std::size_t(k)];
      ASSERT_TRUE(mapping.Project(p.latitude, p.longitude, true, x, y)) << i << " " << k;
      worstX = std::max(worstX, std::abs(x - PixelOfOffset(40 * k - 980)));
      worstY = std::max(worstY, std::abs(y - 40.0 * double(i)));
    }
  }
  std::printf("worst between points: %.2f pixels across, %.2f lines along\n", worstX, worstY);
  // Across, the ground position is taken to whole steps of about a pixel.
  EXPECT_LT(worstX, 2.0);
  EXPECT_LT(worstY, 0.5);
}

}  // namespace
}  // namespace vivurozed
