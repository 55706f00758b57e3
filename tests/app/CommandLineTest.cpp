#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include "orbit/SGP_Time.h"

namespace vivurozed {
namespace {

bool NoFolders(const std::string&) {
  return false;
}
bool OutIsFolder(const std::string& p) {
  return p == "out";
}

TBatchOptions Parse(std::vector<std::string> p, bool (*isFolder)(const std::string&) = NoFolders) {
  const TCommandLine c = ParseCommandLine(p, isFolder);
  EXPECT_TRUE(c.ok) << c.error;
  return c.options;
}

TEST(CommandLine, BatchDefaults) {
  const TBatchOptions o = Parse({"pass.wav", "out.png"});
  EXPECT_EQ(o.output, "out.png");
  EXPECT_FALSE(o.outputIsFolder);
  EXPECT_FALSE(o.southBound);
  EXPECT_EQ(o.noaaOutput, 1);
  EXPECT_FALSE(o.largeImage);
  EXPECT_FALSE(o.equaliseHistogram);
  EXPECT_TRUE(o.cropNoise);
  EXPECT_EQ(o.passband, pbNormal);
  EXPECT_FALSE(o.passbandGiven);  // the run may choose
  EXPECT_FALSE(o.sensorModel.has_value());
  EXPECT_TRUE(o.overlayElements.empty());
  EXPECT_EQ(o.input.front(), '/');  // made absolute
}

TEST(CommandLine, OutputIsAPictureNameOrAFolderAndDirectionAloneRunsInteractively) {
  EXPECT_TRUE(Parse({"a.wav", "out"}, OutIsFolder).outputIsFolder);
  EXPECT_TRUE(Parse({"p.wav", "new/"}).outputIsFolder);  // a folder to be made
  EXPECT_EQ(Parse({"a.wav", "X.JPG"}).output, "X.JPG");
  const TBatchOptions o = Parse({"a.wav", "S", "I"});  // no output: options from the second
  EXPECT_TRUE(o.output.empty());
  EXPECT_TRUE(o.southBound);
  EXPECT_TRUE(o.largeImage);
  EXPECT_FALSE(o.interactiveDirectionOnly);
  const TBatchOptions n = Parse({"pass.wav", "N"});
  EXPECT_TRUE(n.interactiveDirectionOnly);
  EXPECT_FALSE(n.southBound);
  EXPECT_TRUE(Parse({"pass.wav", "s"}).southBound);
}

TEST(CommandLine, EveryOptionLetter) {
  const TBatchOptions o =
      Parse({"p.wav",      "out.png", "s",    "i",    "t",       "k",    "h",  "r",
             "2f",         "2lb",     "2sco", "2hls", "Mnoaa15", "B2",   "C2", "2A1",
             "2Ccloudtop", "F11030",  "G1.8", "WE",   "OBGT",    "-hide"});
  EXPECT_TRUE(o.southBound && o.largeImage && o.tapeInput && o.keepWindow);
  EXPECT_TRUE(o.equaliseHistogram && o.reSync && o.lumChanB && o.saveOnlyColour);
  EXPECT_TRUE(o.secondColourMap && o.hide);
  EXPECT_FALSE(o.cropNoise);
  EXPECT_EQ(o.sensorModel, smNOAA15);
  EXPECT_EQ(o.passband, pbWide);
  EXPECT_EQ(o.sharpen, shSharpenMore);
  EXPECT_EQ(o.illumination, 1);
  EXPECT_EQ(o.colourMapName, "CLOUDTOP");
  EXPECT_EQ(o.sampleRate, 11030);
  EXPECT_FLOAT_EQ(o.gamma.value(), 1.8f);
  EXPECT_EQ(o.geostationary, 3);
  EXPECT_EQ(o.overlayElements, "BGT");
}

TEST(CommandLine, OptionsWithTheirVariantsAndRanges) {
  // "2JX" also begins with "2J": high quality first, then no channel output.
  EXPECT_EQ(Parse({"p.wav", "2JX"}).noaaOutput, -1);
  EXPECT_EQ(Parse({"p.wav", "2J"}).noaaOutput, 2);
  EXPECT_EQ(Parse({"p.wav", "2B"}).noaaOutput, 0);
  EXPECT_EQ(Parse({"p.wav", "B"}).passband, pbNarrow);
  EXPECT_EQ(Parse({"p.wav", "B0"}).passband, pbNarrow);
  EXPECT_EQ(Parse({"p.wav", "B1"}).passband, pbNormal);
  EXPECT_TRUE(Parse({"p.wav", "B1"}).passbandGiven);
  EXPECT_EQ(Parse({"p.wav", "C"}).sharpen, shNone);
  EXPECT_EQ(Parse({"p.wav", "C1"}).sharpen, shSharpen);
  EXPECT_EQ(Parse({"p.wav", "M"}).sensorModel, smUnknown);
  EXPECT_EQ(Parse({"p.wav", "Mnoaa18"}).sensorModel, smNOAA18);
  EXPECT_EQ(Parse({"p.wav", "MNOAA20"}).sensorModel, smUnknown);
  EXPECT_EQ(Parse({"p.wav", "WJ"}).geostationary, 1);
  EXPECT_EQ(Parse({"p.wav", "WU"}).geostationary, 2);
  EXPECT_EQ(Parse({"p.wav", "O"}).overlayElements, "");
  // Numbers out of range are ignored.
  EXPECT_FALSE(Parse({"p.wav", "F11200"}).sampleRate.has_value());
  EXPECT_FALSE(Parse({"p.wav", "F10900"}).sampleRate.has_value());
  EXPECT_EQ(Parse({"p.wav", "F10925"}).sampleRate, 10925);
  EXPECT_FALSE(Parse({"p.wav", "G7"}).gamma.has_value());
  EXPECT_FALSE(Parse({"p.wav", "G"}).gamma.has_value());
}

TEST(CommandLine, OverlayAndLiveInputLongOptionsAnywhere) {
  const TBatchOptions o =
      Parse({"p.wav", "--elements", "keps/w.txt", "out", "--home=55.95,-3.19", "OGB"}, OutIsFolder);
  EXPECT_TRUE(o.overlay);
  EXPECT_EQ(o.elements, "keps/w.txt");
  EXPECT_EQ(o.output, "out");
  EXPECT_DOUBLE_EQ(*o.homeLatitude, 55.95);
  EXPECT_DOUBLE_EQ(*o.homeLongitude, -3.19);
  EXPECT_EQ(o.overlayElements, "GB");
  EXPECT_TRUE(Parse({"p.wav", "--overlay", "N"}).interactiveDirectionOnly);
  EXPECT_DOUBLE_EQ(*Parse({"p.wav", "--home", "-33.9,350"}).homeLongitude, -10);
  const TBatchOptions t = Parse({"p.wav", "--start=2019-08-25T18:28:15.5Z"});
  EXPECT_NEAR((*t.start - EncodeDateTime(2019, 8, 25, 18, 28, 15, 500)) * 86400, 0, 1e-3);
  EXPECT_TRUE(t.overlay);

  const TBatchOptions pipe = Parse({"-", "out", "--raw-rate", "11025", "--type=noaa"}, OutIsFolder);
  EXPECT_TRUE(pipe.standardInput);
  EXPECT_EQ(pipe.input, "-");  // not made into a path
  EXPECT_EQ(pipe.output, "out");
  EXPECT_EQ(pipe.rawRate, 11025);
  EXPECT_EQ(pipe.type, dpNOAAapt);
  EXPECT_FALSE(pipe.followQuiet);
  EXPECT_FALSE(Parse({"-", "out/"}).rawRate);
  EXPECT_EQ(Parse({"p.wav", "--follow"}).followQuiet, 5.0);
  EXPECT_EQ(Parse({"p.wav", "--follow=2.5", "--type", "Meteor221"}).followQuiet, 2.5);
  EXPECT_EQ(Parse({"p.wav", "--type", "WEFAX"}).type, dpWEFAX);
  const TBatchOptions card = Parse({"--capture=USB", "out", "S"}, OutIsFolder);
  EXPECT_EQ(card.capture, "USB");
  EXPECT_EQ(card.output, "out");  // no input is named
  EXPECT_TRUE(card.southBound);
  EXPECT_FALSE(card.standardInput);
}

TEST(CommandLine, RefusalsSayWhatIsWrong) {
  const std::pair<std::vector<std::string>, const char*> refused[] = {
      {{}, ""},
      {{"p.wav", "out.png", "Q"}, "Unknown option \"Q\""},
      {{"p.wav", "2Z"}, "Unknown option \"2Z\""},
      {{"p.wav", "no/such/folder"}, "The output folder no/such/folder does not exist"},
      {{"p.wav", "--elements"}, "--elements needs a value"},
      {{"p.wav", "--home", "55.9"}, "--home wants LATITUDE,LONGITUDE"},
      {{"p.wav", "--home=91,0"}, "--home wants LATITUDE,LONGITUDE"},
      {{"p.wav", "--overlay=yes"}, "Unknown option \"--overlay=yes\""},
      {{"p.wav", "--map"}, "Unknown option \"--map\""},
      {{"p.wav", "--start", "2019-02-29 10:00"}, "--start wants the UTC start"},
      {{"p.wav", "--start", "2019-08-25 18:28 local"}, "--start wants the UTC start"},
      {{"p.wav", "--raw-rate", "11025"}, "--raw-rate describes standard input"},
      {{"-", "--raw-rate", "fast"}, "--raw-rate wants the sample rate"},
      {{"-", "--raw-rate=0"}, "--raw-rate wants the sample rate"},
      {{"-", "--follow"}, "--follow reads a file"},
      {{"p.wav", "--follow=0"}, "--follow=SECONDS wants"},
      {{"p.wav", "--follow", "5"}, "Unknown option \"5\""},
      {{"p.wav", "--type", "GOES-16"}, "--type wants one of Meteor, Meteor221"},
      {{"--capture", "--raw-rate=8000", "out/"}, "--capture records from the sound card"},
  };
  for (const auto& [parameters, error] : refused) {
    const TCommandLine c = ParseCommandLine(parameters, NoFolders);
    EXPECT_FALSE(c.ok) << error;
    EXPECT_EQ(c.error.rfind(error, 0), 0u) << c.error;
  }
}

}  // namespace
}  // namespace vivurozed
