// The vivurozed program as a user runs it: exit codes, messages and files.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <zlib.h>

#include "PictureCorrelation.h"
#include "WavWriter.h"
#include "image/BMPExtImage.h"
#include "image/PngImage.h"

namespace {

namespace fs = std::filesystem;
using vivurozed::testing::TempDir;

struct Result {
  int code = -1;
  std::string output;  // standard output and error together
};

// Runs the program with settings and user data in `home`, no terminal and,
// unless `shell` gives one, no display; `producer`, when given, is a command
// piped into it.
Result RunProgram(const TempDir& home, const std::string& arguments, const std::string& shell = "",
                  const std::string& producer = "") {
  const std::string command =
      "cd '" + home.Path().string() + "' && unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM && " +
      (producer.empty() ? "" : producer + " | ") + shell + " HOME='" + home.Path().string() +
      "' XDG_CONFIG_HOME='" + (home / "config").string() + "' XDG_DATA_HOME='" +
      (home / "data").string() + "' '" + VZ_EXE + "' " + arguments +
      (producer.empty() ? " </dev/null" : "") + " 2>&1";
  Result r;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return r;
  std::array<char, 4096> buffer;
  while (std::size_t n = fread(buffer.data(), 1, buffer.size(), pipe))
    r.output.append(buffer.data(), n);
  const int status = pclose(pipe);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

TEST(Program, HelpAndVersion) {
  TempDir home;
  const Result help = RunProgram(home, "--help");
  EXPECT_EQ(help.code, 0);
  EXPECT_NE(help.output.find("Usage: vivurozed [INPUT"), std::string::npos);
  const Result version = RunProgram(home, "--version");
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.output.rfind("Vivurozed V", 0), 0u);
}

std::vector<std::string> Files(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The sample decoded in the window, hidden, and fed by a pipe as a WAV
// stream or raw samples: the same picture and the audio kept.
TEST(Program, DecodesTheSampleShownHiddenAndFromAPipe) {
  TempDir home;
  const std::string sample = std::string("'") + VZ_SAMPLE + "'";
  const auto start = std::chrono::steady_clock::now();
  const Result shown = RunProgram(home, sample + " shown/ 2B", "QT_QPA_PLATFORM=offscreen");
  const auto elapsed = std::chrono::steady_clock::now() - start;
  ASSERT_EQ(shown.code, 0) << shown.output;
  EXPECT_EQ(Files(home / "shown"),
            (std::vector<std::string>{"noaa15-excerpt-2min-a.bmp", "noaa15-excerpt-2min-b.bmp",
                                      "noaa15-excerpt-2min-c.bmp", "noaa15-excerpt-2min.jpg"}));
  // The window stays up until 5.5 s after the run began, then closes.
  EXPECT_GE(elapsed, std::chrono::milliseconds(5500));
  // The log went to the window, not to the terminal.
  EXPECT_EQ(shown.output.find("analyser recognised NOAA APT"), std::string::npos) << shown.output;
  const Result hidden = RunProgram(home, sample + " hidden/ -hide", "QT_QPA_PLATFORM=offscreen");
  ASSERT_EQ(hidden.code, 0) << hidden.output;
  EXPECT_NE(hidden.output.find("analyser recognised NOAA APT"), std::string::npos);

  vivurozed::TExtBitmap fromFile;
  fromFile.LoadFromFile(home / "shown" / "noaa15-excerpt-2min-b.bmp");
  const auto wav = vivurozed::testing::ReadBytes(VZ_SAMPLE);
  const struct {
    const char* folder;
    std::string producer, options;
  } pipes[] = {{"wav", "cat " + sample, ""},
               {"raw", "tail -c +45 " + sample, " --raw-rate 11025"}};  // no header
  for (const auto& p : pipes) {
    const Result r =
        RunProgram(home, std::string("- ") + p.folder + "/ 2B" + p.options, "", p.producer);
    ASSERT_EQ(r.code, 0) << r.output;
    std::string kept, picture;
    for (const auto& e : fs::directory_iterator(home / p.folder)) {
      const std::string name = e.path().filename().string();
      if (e.path().extension() == ".wav") kept = name;
      if (name.size() > 6 && name.substr(name.size() - 6) == "-b.bmp") picture = name;
    }
    ASSERT_EQ(kept.size(), 12u) << p.folder;  // MMDDhhmm.wav
    EXPECT_EQ(picture, kept.substr(0, 8) + "-b.bmp");
    const auto audio = vivurozed::testing::ReadBytes(home / p.folder / kept);
    ASSERT_EQ(audio.size(), wav.size()) << p.folder;
    EXPECT_TRUE(std::equal(wav.begin() + 44, wav.end(), audio.begin() + 44)) << p.folder;
    vivurozed::TExtBitmap live;
    live.LoadFromFile(home / p.folder / picture);
    EXPECT_EQ(live.Height(), fromFile.Height()) << p.folder;
    EXPECT_GE(vivurozed::testing::PictureCorrelation(live, fromFile), 0.999) << p.folder;
  }
  // The overlay of a piped pass, its start given: the same earth locations.
  const std::string overlay =
      " --elements '" + (fs::path(VZ_SAMPLE).parent_path() / "weather-2019-08-25.txt").string() +
      "' --start '2019-08-25 18:28:15'";
  ASSERT_EQ(RunProgram(home, sample + " fileovl/" + overlay).code, 0);
  ASSERT_EQ(RunProgram(home, "- pipeovl/ MNOAA15" + overlay, "", "cat " + sample).code, 0);
  std::vector<std::uint8_t> lcn;
  for (const auto& e : fs::directory_iterator(home / "pipeovl"))
    if (e.path().extension() == ".lcn") lcn = vivurozed::testing::ReadBytes(e.path());
  const auto fileLcn = vivurozed::testing::ReadBytes(home / "fileovl" / "noaa15-excerpt-2min.lcn");
  ASSERT_GE(fileLcn.size(), 200u * 408);
  ASSERT_GE(lcn.size(), 200u * 408);
  EXPECT_TRUE(std::equal(fileLcn.begin(), fileLcn.begin() + 200 * 408, lcn.begin()));
}

TEST(Program, NoaaOutputsFollowTheOptionsAndAPictureIsReprocessed) {
  TempDir home;
  const std::string sample = std::string("'") + VZ_SAMPLE + "'";
  const Result all = RunProgram(home, sample + " all/pass.png 2B");
  ASSERT_EQ(all.code, 0) << all.output;
  EXPECT_NE(all.output.find("analyser recognised NOAA APT"), std::string::npos);
  EXPECT_NE(all.output.find("Wrote "), std::string::npos);
  EXPECT_EQ(Files(home / "all"),
            (std::vector<std::string>{"pass-a.bmp", "pass-b.bmp", "pass-c.bmp", "pass.png"}));
  EXPECT_GT(fs::file_size(home / "all" / "pass.png"), 10000u);
  // The run history remembers the pass.
  std::ifstream history(home / "data" / "vivurozed" / "mru_list.ini");
  std::string entry;
  std::getline(history, entry);
  EXPECT_EQ(entry, "noaa15-excerpt-2min.wav N NOAA14");

  ASSERT_EQ(RunProgram(home, sample + " none/first.bmp 2JX").code, 0);
  EXPECT_EQ(Files(home / "none"), (std::vector<std::string>{"first.bmp"}));
  const Result again = RunProgram(home, "none/first.bmp second.png");
  EXPECT_EQ(again.code, 0) << again.output;
  EXPECT_NE(again.output.find("Process image file"), std::string::npos);
  EXPECT_TRUE(fs::exists(home / "second.png"));

  // Only the false colour, and it is 24-bit: it really is in colour.
  ASSERT_EQ(RunProgram(home, sample + " colour/ 2SCO 2B").code, 0);
  EXPECT_EQ(Files(home / "colour"), (std::vector<std::string>{"noaa15-excerpt-2min-c.bmp"}));
  vivurozed::TExtBitmap c;
  c.LoadFromFile(home / "colour" / "noaa15-excerpt-2min-c.bmp");
  EXPECT_EQ(c.PixelFormat(), vivurozed::pf24bit);
  int coloured = 0;
  for (int y = 0; y < c.Height(); ++y) {
    const std::uint8_t* row = c.ScanLine(y);
    for (int x = 0; x < c.Width(); ++x) coloured += row[3 * x] != row[3 * x + 2];
  }
  EXPECT_GT(coloured, c.Width() * c.Height() / 10);
}

// A small picture saved as `name` (BMP or PNG), its header then claiming w x h.
void WriteClaiming(const fs::path& name, std::uint32_t w, std::uint32_t h) {
  const vivurozed::TExtBitmap small(8, 8, vivurozed::pf8bit);
  const bool png = name.extension() == ".png";
  if (png)
    vivurozed::SaveBitmapAsPNG(small, name, "", "", "", "");
  else
    vivurozed::TExtBitmap(small).SaveToFile(name);
  auto b = vivurozed::testing::ReadBytes(name);
  auto put = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = std::uint8_t(v >> (png ? 24 - 8 * i : 8 * i));
  };
  put(png ? 16 : 18, w);
  put(png ? 20 : 22, h);
  if (png) put(29, std::uint32_t(crc32(0, b.data() + 12, 17)));  // the header chunk's
  vivurozed::testing::WriteBytes(name, b);
}

std::string LastLine(std::string output) {
  while (!output.empty() && output.back() == '\n') output.pop_back();
  return output.substr(output.rfind('\n') + 1);  // npos + 1 is 0
}

TEST(Program, ARunThatSavesNothingSaysWhy) {
  TempDir home;
  using vivurozed::testing::WriteBytes;
  std::ofstream(home / "notes.md") << "# Notes\nnot a recording\n";
  std::ofstream(home / "notes.wav") << "# Notes\nnot a recording\n";
  std::ofstream(home / "afile") << "x";
  WriteBytes(home / "empty.wav", {});
  auto wav = vivurozed::testing::BuildWav(std::vector<std::int16_t>(11025 * 40, 5));
  WriteBytes(home / "sample.txt", wav);
  wav.resize(11025 * 20);  // the data chunk cut short: 10 s are left
  WriteBytes(home / "cut.wav", wav);
  WriteClaiming(home / "huge.bmp", 65535, 65535);
  WriteClaiming(home / "bomb.png", 30000, 30000);
  vivurozed::TExtBitmap(64, 60000, vivurozed::pf8bit).SaveToFile(home / "tall.bmp");
  vivurozed::TExtBitmap(4, 70, vivurozed::pf24bit).SaveToFile(home / "colour.bmp");
  const std::string sample = std::string("'") + VZ_SAMPLE + "'";
  // Usage errors and live inputs say why above the usage text or summary.
  const struct {
    std::string arguments, shell = "", producer = "", says;
    bool lastLine = true;
  } cases[] = {
      {.arguments = "notes.md out.png",
       .says = "notes.md is not a WAV recording or a BMP/PNG/JPEG picture: it holds text "
               "beginning \"# Notes\"; give a WAV recording"},
      {.arguments = "notes.wav out.png",
       .says = "is not a WAV recording: it holds text beginning \"# Notes\""},
      {.arguments = "sample.txt out.png",
       .says = "sample.txt holds a WAV recording but its name does not end in .wav: rename it"},
      {.arguments = "empty.wav out.png", .says = "Error reading wave file header: "},
      {.arguments = "cut.wav out.png",
       .says = "at least 30 seconds. cut.wav holds 9 s at 11025 Hz; record the whole pass"},
      {.arguments = "missing.wav out.png", .says = "missing.wav: no such file"},
      {.arguments = "'" + home.Path().string() + "' out.png", .says = "is a folder"},
      {.arguments = "'" VZ_TEST_DATA "/real-envelope-53s-brokenheader.wav' out.png",
       .says = "no 2400 Hz subcarrier: the carrier measured 193"},
      {.arguments = "huge.bmp out.png",
       .says = "picture too large: 65535 x 65535 (at most 67 megapixels)"},
      {.arguments = "bomb.png out.png",
       .says = "picture too large: 30000 x 30000 (at most 67 megapixels)"},
      {.arguments = "tall.bmp out.png",
       .says = "picture too tall: tall.bmp has 60000 lines, at most 7200"},
      {.arguments = "colour.bmp out.png",
       .says = "is not an 8-bit greyscale file.  Vivurozed cannot process this file further."},
      {.arguments = sample + " afile/out.png", .says = "cannot make the output folder"},
      // A full disk, as a file-size limit the program meets half way.
      {.arguments = sample + " full/out.png 2JX",
       .shell = "trap '' XFSZ; ulimit -f 16;",
       .says = "File too large); free some space on the disk or choose another output folder"},
      {.arguments = "", .says = "Usage: vivurozed", .lastLine = false},
      {.arguments = "cut.wav out.png Q", .says = "Unknown option \"Q\"", .lastLine = false},
      {.arguments = "cut.wav no/such/dir", .says = "does not exist", .lastLine = false},
      {.arguments = "- bad/",
       .producer = "echo hello",
       .says = "standard input: not a RIFF WAVE stream",
       .lastLine = false},
      {.arguments = "--capture=no-such-sound-card cap/",
       .says = "Error 2 opening wave input - no sound card input was found",
       .lastLine = false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    const Result r = RunProgram(home, c.arguments, c.shell, c.producer);
    EXPECT_EQ(r.code, 1);
    const std::string said = c.lastLine ? LastLine(r.output) : r.output;
    if (c.lastLine) {
      EXPECT_EQ(said.rfind("vivurozed: ", 0), 0u) << r.output;
    }
    EXPECT_NE(said.find(c.says), std::string::npos) << r.output;
  }
  EXPECT_FALSE(fs::exists(home / "out.png"));
}

}  // namespace
