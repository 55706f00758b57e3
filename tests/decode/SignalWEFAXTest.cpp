#include "decode/SignalWEFAX.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

#include "RecordingMessages.h"
#include "decode/SignalVideoDecode.h"

namespace vivurozed {
namespace {

constexpr int kRate = 11025;
constexpr int kWidth = kRate / 4;  // one stored line at four lines a second
constexpr int kPhasing = 20, kHeaderRows = 2, kPictureRows = 780, kToneRows = 20, kQuiet = 10;
constexpr int kEdge = 40;  // where the phasing lines turn bright
constexpr int kBlack = 15, kWhite = 190;

// Code page 037 for the characters the tests send.
std::uint8_t Ebcdic(char c) {
  if (c == ' ') return 0x40;
  if (c >= '0' && c <= '9') return static_cast<std::uint8_t>(0xF0 + (c - '0'));
  if (c >= 'A' && c <= 'I') return static_cast<std::uint8_t>(0xC1 + (c - 'A'));
  if (c >= 'J' && c <= 'R') return static_cast<std::uint8_t>(0xD1 + (c - 'J'));
  return static_cast<std::uint8_t>(0xE2 + (c - 'S'));
}

// A fax picture in 8-bit levels at sample resolution: phasing lines (dark up
// to kEdge, then white), header lines carrying `header` as bits from kEdge,
// the picture (a ramp; optionally GMS's bright-dark patch pair), the 450 Hz
// stop tone and a few quiet lines.
struct FaxPicture {
  std::vector<std::uint8_t> pixels;
  int height = kPhasing + kHeaderRows + kPictureRows + kToneRows + kQuiet;

  FaxPicture(const std::string& header, bool ebcdic, bool gmsPatches) {
    pixels.assign(static_cast<std::size_t>(kWidth) * height, kBlack);
    const double samplesPerBit = kRate / (ebcdic ? 1800.0 : 1680.0);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        int v = kBlack;
        if (y < kPhasing) {
          v = x < kEdge ? kBlack : kWhite;
        } else if (y < kPhasing + kHeaderRows) {
          const int bit = static_cast<int>((x - kEdge) / samplesPerBit);
          if (x >= kEdge && bit < static_cast<int>(header.size()) * 8) {
            const std::uint8_t byte = ebcdic ? Ebcdic(header[bit / 8]) : header[bit / 8];
            v = (byte >> (7 - bit % 8)) & 1 ? kWhite : kBlack;
          }
        } else if (y < kPhasing + kHeaderRows + kPictureRows) {
          v = 95 + 90 * x / kWidth;
          const int px = x - kEdge;
          if (gmsPatches && px >= 10 && px < 60) v = kWhite;
          if (gmsPatches && px >= 160 && px < 280) v = kBlack;
        } else if (y < height - kQuiet) {
          v = static_cast<int>(100 + 85 * std::sin(2 * std::numbers::pi * 450 * x / kRate));
        }
        pixels[static_cast<std::size_t>(y) * kWidth + x] = static_cast<std::uint8_t>(v);
      }
    }
  }
  std::unique_ptr<TIplImage> Image() const {
    auto im = iplCreateImage(kWidth, height, idDepth16u);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < kWidth; ++x) {
        im->Row16(y)[x] = static_cast<std::uint16_t>(pixels[std::size_t(y) * kWidth + x] * 64);
      }
    }
    return im;
  }
};

const std::string kGoesHeader = "GOES8   IR49603121530SECT";

TEST(FrameGeostationary, PicturesAreFramedAndTheirHeadersRead) {
  // GOES headers are ASCII; GMS's are EBCDIC, behind a bright-dark patch pair.
  const struct {
    TDecodeParameters type;
    std::string header;
    double sampleRate;
  } cases[] = {{dpGOES, kGoesHeader, 0.0}, {dpGMS, "GMSN    VIS9603121530ABCD", 11025.4}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.header);
    auto image = FaxPicture(c.header, c.type == dpGMS, c.type == dpGMS).Image();
    const TGeoFrame f = FrameGeostationary(image, c.type, c.sampleRate);
    EXPECT_EQ(f.phasingRows, kPhasing);
    EXPECT_EQ(f.headerRows, kHeaderRows);
    EXPECT_EQ(f.leftEdge, kEdge - kWidth / 1680);
    EXPECT_EQ(f.headerType, c.type);
    EXPECT_EQ(f.header, c.header);
    EXPECT_EQ(f.black, kBlack * 64);
    // The phasing mean, 1000/960 of it.
    const int mean = (kEdge * kBlack + (kWidth - kEdge) * kWhite) * 64 / kWidth;
    EXPECT_NEAR(f.white, mean * 1000 / 960, 64);
    ASSERT_TRUE(f.cropped);
    ASSERT_EQ(image->Width(), 800 * kWidth / 840);
    ASSERT_EQ(image->Height(), kPictureRows);  // tone and quiet lines dropped
    const int x = 500;
    EXPECT_EQ(image->Row16(0)[x], (95 + 90 * (x + f.leftEdge) / kWidth) * 64);
    EXPECT_EQ(image->Row16(kPictureRows - 1)[x], image->Row16(0)[x]);
  }

  // A picture too short to frame is left alone.
  TIplImage tiny(kWidth, 4, idDepth16u);
  tiny.Fill(9000);
  auto image = iplCloneImage(tiny);
  EXPECT_FALSE(FrameGeostationary(image, dpGOES, 0.0).cropped);
  EXPECT_EQ(image->Height(), 4);
  EXPECT_EQ(image->Width(), kWidth);
}

TEST(FrameGeostationary, StopToneEnergyPicksThe450HzTone) {
  const TResonatorDesign r = DesignResonator(450, 50, kRate);
  std::vector<std::uint16_t> tone(kWidth), flat(kWidth, 12000), other(kWidth);
  for (int x = 0; x < kWidth; ++x) {
    tone[x] =
        static_cast<std::uint16_t>(6000 + 4000 * std::sin(2 * std::numbers::pi * 450 * x / kRate));
    other[x] =
        static_cast<std::uint16_t>(6000 + 4000 * std::sin(2 * std::numbers::pi * 1200 * x / kRate));
  }
  // A resonator of unit gain: the mean rectified sine, 2/pi of its amplitude.
  EXPECT_NEAR(StopToneEnergy(tone.data(), kWidth, r), 4000 * 2 / std::numbers::pi, 150);
  EXPECT_LT(StopToneEnergy(flat.data(), kWidth, r), 10);
  EXPECT_LT(StopToneEnergy(other.data(), kWidth, r), 400);
}

TEST(FrameGeostationary, MakeImageFramesOnceAndNamesTheHeader) {
  const FaxPicture fax(kGoesHeader, false, false);
  TSatelliteVideoDecoder d;
  d.SetDecodeParameters(dpGOES);
  d.SetLargeImage(false);
  TDiagnostics log;
  d.Log = &log;
  ASSERT_TRUE(d.LoadFromPixels(kWidth, fax.height, fax.pixels, kWidth));
  TExtBitmap b(1, 1, pf8bit);
  std::string header;
  ASSERT_TRUE(d.MakeImage(&b, {}, false, &header));
  EXPECT_EQ(header, kGoesHeader);
  EXPECT_EQ(b.Width(), 800);
  EXPECT_EQ(b.Height(), kPictureRows);
  EXPECT_NE(std::find(log.Lines().begin(), log.Lines().end(), "WEFAX digital header:" + header),
            log.Lines().end());
  // Black and white come from the phasing: the ramp rises left to right.
  EXPECT_LT(b.ScanLine(400)[50], b.ScanLine(400)[750]);
  // A second call works on the framed picture and frames nothing more.
  std::string again = "unchanged";
  ASSERT_TRUE(d.MakeImage(&b, {}, false, &again));
  EXPECT_EQ(again, "unchanged");
  EXPECT_EQ(b.Height(), kPictureRows);
  EXPECT_EQ(MakePictureName("/out/pass.png", header, false), "/out/SECT 12-03-96 1530.png");
}

TEST(FrameGeostationary, MeteosatIsCutTo800LinesAndTurned) {
  // More picture lines than Meteosat sends.
  const FaxPicture fax("", false, false);
  TSatelliteVideoDecoder d;
  d.SetDecodeParameters(dpMeteosat);
  d.SetLargeImage(false);
  d.SetSharpen(shNone);
  ASSERT_TRUE(d.LoadFromPixels(kWidth, fax.height, fax.pixels, kWidth));
  TExtBitmap b(1, 1, pf8bit);
  ASSERT_TRUE(d.MakeImage(&b));
  EXPECT_EQ(b.Height(), 800);
  EXPECT_GT(b.ScanLine(400)[50], b.ScanLine(400)[750]);  // the ramp now falls
}

TEST(WefaxHeader, CharacterSetsMonthsAndSectors) {
  // EBCDIC for GMS (0xA2 cent sign, 0xAC not sign), plain ASCII for the others.
  const struct {
    int code;
    TDecodeParameters type;
    char expected;
  } chars[] = {{0xC1, dpGMS, 'A'},    {0xF0, dpGMS, '0'}, {0x40, dpGMS, ' '},
               {0xE9, dpGMS, 'Z'},    {0xA2, dpGMS, 's'}, {0x4A, dpGMS, '\xA2'},
               {0x5F, dpGMS, '\xAC'}, {0x7F, dpGMS, '"'}, {0x41, dpGMS, ' '},
               {0xCA, dpGMS, ' '},    {'A', dpGOES, 'A'}, {0xC1, dpGOES, ' '},
               {10, dpMeteosat, ' '}};
  for (const auto& c : chars) EXPECT_EQ(HeaderCharacter(c.code, c.type), c.expected) << c.code;
  const std::pair<const char*, int> months[] = {
      {"JAN", 1}, {"dec", 12}, {"Jun", 6}, {"JANUARY", 0}};
  for (const auto& [text, month] : months) EXPECT_EQ(MonthFromText(text), month) << text;
  EXPECT_THROW(MonthFromText("XYZ"), std::out_of_range);
  for (const char* s : {"MET7", "GOES8"}) EXPECT_TRUE(IsSectorSatellite(s)) << s;
  for (const char* s : {"GOES-I", "MET"}) EXPECT_FALSE(IsSectorSatellite(s)) << s;
}

TEST(WefaxHeader, FieldsDatesAndPictureNames) {
  const struct {
    const char* header;
    double date;  // NaN: refused
  } dates[] = {
      {"GOES8   IR40001012400SECT", 36526.0},             // 2000-01-01, hour 24 counted as 0
      {"GOES8   IR45603150630    ", 57054.0 + 6.5 / 24},  // 2056-03-15 06:30
      {"GOES8   IR45703150000ABCD", 20894.0},             // 1957-03-15
      {"GOES8   IR49613121530SECT", NAN},                 // month 13
      {"GOES8   IR49602301530SECT", NAN},                 // 30 February
      {"GOES8   IR496031215", NAN},                       // no minute
  };
  for (const auto& d : dates) {
    TWefaxHeaderFields f;
    ASSERT_EQ(ParseWefaxHeader(d.header, f), !std::isnan(d.date)) << d.header;
    if (!std::isnan(d.date)) {
      EXPECT_DOUBLE_EQ(f.date, d.date) << d.header;
    }
  }
  TWefaxHeaderFields f;
  ASSERT_TRUE(ParseWefaxHeader(dates[0].header, f));
  EXPECT_EQ(f.satellite, "GOES8");
  EXPECT_EQ(f.kind, "IR4");
  EXPECT_EQ(f.hour, 24);
  ASSERT_TRUE(ParseWefaxHeader(dates[1].header, f));
  EXPECT_EQ(f.label, "GOES8");  // a blank label takes the satellite

  testing::RecordingMessages messages;
  const std::string def = "/pics/run.jpg";
  const std::pair<const char*, const char*> names[] = {
      {"GOES8   IR49603122430SECT", "/pics/SECT 12-03-96 2430.jpg"},
      {"GOES-I  IR49603121530    ", "/pics/G8IR GOES-I 12-03-96 1530.jpg"},
      {"GOES-K  VIS9603121530ABCD", "/pics/G10VI ABCD 12-03-96 1530.jpg"},
      {"WHATEVERADM", "/pics/ADMIN.jpg"},
      {"ABCDEFGHI96 MAR 12 15 UTC  ", "/pics/ABCDEFGHI96 MAR 12 15 UTC.jpg"},  // a month in words
      {"short", "/pics/run.jpg"},
  };
  for (const auto& [header, name] : names) EXPECT_EQ(MakePictureName(def, header, true), name);
  EXPECT_EQ(MakePictureName("run.bmp", "METEO   TST", true), "TEST.bmp");
  EXPECT_TRUE(messages.entries.empty());
  EXPECT_EQ(MakePictureName(def, "GOES8   IR49603XX1530SECT", true), def);
  ASSERT_EQ(messages.entries.size(), 1u);
  EXPECT_EQ(messages.entries[0].text, "Bad WEFAX header: GOES8   IR49603XX1530SECT");
  EXPECT_EQ(MakePictureName(def, "GOES8   IR49603XX1530SECT", false), def);
  EXPECT_EQ(messages.entries.size(), 1u);
}

TEST(WefaxHeader, HostileHeadersKeepTheDefaultName) {
  testing::RecordingMessages messages;
  const std::string def = "/pics/run.png";
  for (const std::string header : {
           "GOES8   IR49603121530../",      // climbs out of the folder
           "GOES8   IR49603121530a/b ",     // a path separator
           "GOES8   IR49603121530\x01X  ",  // a control character
           "GOES8   IR49603121530\xA2  ",   // not plain ASCII
           "ABCDEFGHI96 MAR 12 15 /etc",    // second form with a separator
           "../../../96 MAR 12 15 x",       // second form climbing out
       }) {
    EXPECT_EQ(MakePictureName(def, header, true), def) << header;
  }
  EXPECT_EQ(messages.entries.size(), 6u);
  for (const char* name : {"..", "   ", "a:b"}) EXPECT_FALSE(IsSafePictureName(name)) << name;
  EXPECT_TRUE(IsSafePictureName("SECT 12-03-96 1530"));
}

}  // namespace
}  // namespace vivurozed
