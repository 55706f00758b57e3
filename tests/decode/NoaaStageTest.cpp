// A real NOAA 15 excerpt through the decoder, MakeImage and the NOAA stage.
#include "decode/NoaaStage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "RecordingMessages.h"
#include "noaa/FalseColour.h"
#include "signal/SignalHilbert.h"

namespace vivurozed {
namespace {

TEST(NoaaStage, RealExcerptGivesChannelsCalibrationAndFalseColour) {
  TSignalSource source;
  source.SetChannelSelect(chMonoToBoth);
  source.SetAGC(false);
  source.SetBufferSamples(2048);
  TSignalHilbertAMDetectorQ detector;
  detector.SetSampleRate(11025);
  detector.SetCarrierFrequency(2400);
  detector.SetFilterTaps(21);
  detector.SetBandwidth(1350);
  TSatelliteVideoDecoder decoder;
  decoder.SetDecodeParameters(dpNOAAapt);
  decoder.SetSensorModel(smNOAA15);
  decoder.SetLargeImage(false);
  TDiagnostics log;
  decoder.Log = &log;
  source.SetDataSink(&detector);
  detector.SetDataSink(&decoder);
  source.ReadFile(std::string(VZ_TEST_DATA) + "/noaa15-excerpt-110s.wav");
  ASSERT_NE(decoder.Image(), nullptr);
  ASSERT_GE(decoder.Image()->Height(), 192);

  testing::RecordingMessages messages;
  decoder.SetNoaaStage(NoaaStage());
  TColourMapping therm("Therm", std::make_unique<TExtBitmap>(MakeBuiltInLookupBitmap("Therm")));
  decoder.SetTempToColourLookup(&therm);
  TExtBitmap display(0, 0, pf8bit), a, b, ir, fc;
  std::array<double, 256> celsius{};
  TNoaaPictures pictures{&a, &b, &ir, &fc, &celsius, false};
  EXPECT_TRUE(decoder.MakeImage(&display, pictures));
  EXPECT_TRUE(messages.entries.empty());

  auto logged = [&](const std::string& line) {
    return std::find(log.Lines().begin(), log.Lines().end(), line) != log.Lines().end();
  };
  // Channel A carries mid-infrared 3B, then visible 2, from about line 60
  // of this excerpt; channel B is the 11 um channel throughout.
  EXPECT_TRUE(logged("NOAA: Chan A is sensor 3 then sensor 2"));
  EXPECT_TRUE(logged("NOAA: From wedge telemetry channel B is AVHRR sensor 4 (11um thermal IR)"));
  double kelvin = 0, dummy = 0;
  int p[4] = {};
  bool prt = false;
  for (const auto& line : log.Lines())
    prt |= std::sscanf(line.c_str(),
                       "NOAA: Blackbody PRT 8-bit values: [%d %d %d %d], temperature: %lfK (%lfC)",
                       &p[0], &p[1], &p[2], &p[3], &kelvin, &dummy) == 6;
  ASSERT_TRUE(prt);
  EXPECT_GT(kelvin, 285.0);  // the on-board blackbody sits near room temperature
  EXPECT_LT(kelvin, 305.0);

  ASSERT_EQ(a.Width(), 1040);
  EXPECT_EQ(b.Width(), 1040);
  EXPECT_GE(a.Height(), 192);
  ASSERT_EQ(fc.Width(), 1040);
  EXPECT_EQ(fc.PixelFormat(), pf24bit);
  EXPECT_EQ(decoder.NoaaLineStats().size(), std::size_t(decoder.Image()->Height()));

  // Earth temperatures of the IR picture's image area: deep convective
  // cloud tops near -85 C at the cold end, a hot desert surface near 50 C at
  // the warm end (the coldest 2 % read as space, past the calibration).
  std::vector<double> t;
  for (int y = 0; y < ir.Height(); y += 4)
    for (int x = 100; x < 980; x += 4) t.push_back(celsius[ir.ScanLine(y)[x]]);
  std::sort(t.begin(), t.end());
  EXPECT_GT(t[t.size() * 5 / 100], -100.0);
  EXPECT_LT(t[t.size() * 95 / 100], 60.0);
  EXPECT_GT(t[t.size() / 2], -20.0);
  EXPECT_LT(t[t.size() / 2], 35.0);
}

}  // namespace
}  // namespace vivurozed
