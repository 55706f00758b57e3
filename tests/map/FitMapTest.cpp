#include "map/FitMap.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "MapTestUtil.h"
#include "RecordingMessages.h"
#include "WavWriter.h"
#include "platform/Diagnostics.h"

namespace vivurozed {
namespace {

// Earth points of the NOAA 15 pass of 2019-08-25 18:27:45 UTC, 0.5 s a line,
// and its mean satellite height, from tests/map/make_pass_earthpoints.py.
constexpr double kPassHeight = 805.362;

std::vector<TLocationRecord> ReadRecords(const std::string& name) {
  const auto bytes = testing::ReadBytes(std::string(VZ_TEST_DATA) + "/map/" + name);
  std::vector<TLocationRecord> records(bytes.size() / sizeof(TLocationRecord));
  std::memcpy(records.data(), bytes.data(), records.size() * sizeof(TLocationRecord));
  return records;
}

TEST(GreatCircle, DistanceAndBearingOfHandWorkedCases) {
  const double quarter = 6378.135 * M_PI / 2;
  const std::array<double, 6> cases[] = {
      {0, 0, 0, 90, quarter, 90},   {0, 0, 10, 0, quarter / 9, 0}, {0, 0, 0, -90, quarter, 270},
      {90, 0, 0, 45, quarter, 180}, {-90, 0, 0, 45, quarter, 0},   {45, 0, 45, 180, quarter, 0}};
  for (const auto& c : cases) {
    double distance = 0, bearing = 0;
    GreatCircle(c[0], c[1], c[2], c[3], distance, bearing);
    EXPECT_NEAR(distance, c[4], 1e-6) << c[0] << "," << c[1];
    EXPECT_NEAR(bearing, c[5], 1e-6) << c[0] << "," << c[1];
  }
}

TEST(FitMapToImage, RefusesTooShortPassesAndMeasuresTheGroundStep) {
  const auto pass = ReadRecords("noaa15-20190825-182745.lcn");
  struct Case {
    int lines;
    bool fitted;
    const char* logLine;  // the second
  };
  const Case cases[] = {{2, false, "Cannot do any mapping with less then three lines!"},
                        {41, false, "Ground track step per line (assumed) : 3.27km"},
                        {57, false, "Ground track step per line (from locations) : 3.345km"},
                        {58, true, "Ground track step per line (from locations) : 3.345km"}};
  for (const auto& c : cases) {
    testing::RecordingMessages messages;
    TDiagnostics log;
    TResidualArray residuals;
    TWarpedMapping mapping;
    EXPECT_EQ(FitMapToImage(std::span(pass).first(std::size_t(c.lines)), log, residuals, mapping, 3,
                            55.37, kPassHeight),
              c.fitted);
    EXPECT_EQ(log.Lines().at(1), c.logLine);
    const bool tooFew = c.lines >= 3 && !c.fitted;
    ASSERT_EQ(messages.entries.size(), tooFew ? 1u : 0u) << c.lines;
    if (tooFew) {
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
  EXPECT_EQ(log.Lines()[2],
            "Mid-picture line: 420,  lon = -3.34°  lat = 50.51°  altitude = 805.4 km");
  for (std::size_t i : {4, 5, 6}) {
    const auto& line = log.Lines()[i];
    EXPECT_GT(std::stod(line.substr(line.find("(correl: ") + 9)), 0.999) << line;
  }
  // The warps leave the curvature of the scan lines far from the middle to
  // the residual grid: up to 11 lines at the far ends of one edge.
  ASSERT_EQ(residuals.size(), 840u);
  float largest = 0;
  for (const auto& row : residuals)
    for (const auto& r : row) largest = std::max({largest, std::abs(r.dx), std::abs(r.dy)});
  EXPECT_LT(largest, 12.0f);
  // Points halfway between the fitted ones land on the pixel that shows them;
  // across, the ground position is taken in whole steps of about a pixel.
  const auto between = ReadRecords("noaa15-20190825-182745-between.lcn");
  ASSERT_EQ(between.size(), 21u);
  double worstX = 0, worstY = 0;
  for (std::size_t i = 0; i < between.size(); ++i) {
    for (int k = 0; k < 51; ++k) {
      float x = 0, y = 0;
      const auto& p = between[i][std::size_t(k)];
      ASSERT_TRUE(mapping.Project(p.latitude, p.longitude, true, x, y)) << i << " " << k;
      worstX = std::max(worstX, std::abs(double(x) - testing::PixelOfOffset(40 * k - 980)));
      worstY = std::max(worstY, std::abs(y - 40.0 * double(i)));
    }
  }
  std::printf("largest residual %.2f; worst between points %.2f pixels, %.2f lines\n", largest,
              worstX, worstY);
  EXPECT_LT(worstX, 2.0);
  EXPECT_LT(worstY, 0.5);
}

}  // namespace
}  // namespace vivurozed
