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

#include "AptSignal.h"
#include "PictureCorrelation.h"
#include "WavWriter.h"
#include "image/BMPExtImage.h"

namespace {

namespace fs = std::filesystem;
using vivurozed::testing::TempDir;

struct Result {
  int code = -1;
  std::string output;  // standard output and error together
};

// Runs the program with settings and user data in `home`, no terminal and,
// unless a display is given, no display; `producer`, when given, is a command
// piped into it.
Result RunProgram(const TempDir& home, const std::string& arguments,
                  const std::string& display = "", const std::string& producer = "") {
  const std::string command =
      "cd '" + home.Path().string() + "' && unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM && " +
      (producer.empty() ? "" : producer + " | ") + display + " HOME='" + home.Path().string() +
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

TEST(Program, HelpVersionAndUsage) {
  TempDir home;
  const Result help = RunProgram(home, "--help");
  EXPECT_EQ(help.code, 0);
  EXPECT_NE(help.output.find("Usage: vivurozed [INPUT"), std::string::npos);
  const Result version = RunProgram(home, "--version");
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.output.rfind("Vivurozed V", 0), 0u);
  EXPECT_EQ(RunProgram(home, "").code, 1);
}

TEST(Program, BadInputGetsAClearMessageAndExitCodeOne) {
  TempDir home;
  Result r = RunProgram(home, "missing.wav out.png");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.output.find("missing.wav: no such file"), std::string::npos) << r.output;

  r = RunProgram(home, "'" + home.Path().string() + "' out.png");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.output.find("is a folder"), std::string::npos) << r.output;

  vivurozed::testing::WriteBytes(home / "empty.wav", {});
  r = RunProgram(home, "empty.wav out.png");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.output.find("Error reading wave file header: "), std::string::npos) << r.output;

  auto bytes = vivurozed::testing::BuildWav(std::vector<std::int16_t>(11025 * 40, 5));
  bytes.resize(11025 * 20);  // the data chunk cut short: 10 s are left
  vivurozed::testing::WriteBytes(home / "cut.wav", bytes);
  r = RunProgram(home, "cut.wav out.png");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.output.find("expects an 11025 Hz sampling rate wave  file lasting at least 30"),
            std::string::npos)
      << r.output;

  r = RunProgram(home, "cut.wav out.png Q");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.output.find("Unknown option \"Q\""), std::string::npos) << r.output;
  r = RunProgram(home, "cut.wav no/such/dir");
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.output.find("does not exist"), std::string::npos) << r.output;
  EXPECT_FALSE(fs::exists(home / "out.png"));
}

TEST(Program, DecodesTheSampleIntoAFolder) {
  TempDir home;
  const Result r = RunProgram(home, std::string("'") + VZ_SAMPLE + "' out/ 2B");
  ASSERT_EQ(r.code, 0) << r.output;
  EXPECT_NE(r.output.find("analyser recognised NOAA APT"), std::string::npos);
  EXPECT_NE(r.output.find("Wrote "), std::string::npos);
  const fs::path main = home / "out" / "noaa15-excerpt-2min.jpg";
  ASSERT_TRUE(fs::exists(main)) << r.output;
  EXPECT_GT(fs::file_size(main), 10000u);
  // The run history remembers the pass.
  std::ifstream history(home / "data" / "vivurozed" / "mru_list.ini");
  std::string entry;
  std::getline(history, entry);
  EXPECT_EQ(entry, "noaa15-excerpt-2min.wav N NOAA14");
}

std::vector<std::string> Files(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(folder))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(Program, NoaaOutputsFollowTheOptions) {
  TempDir home;
  const std::string sample = std::string("'") + VZ_SAMPLE + "'";
  ASSERT_EQ(RunProgram(home, sample + " all/pass.png 2B").code, 0);
  EXPECT_EQ(Files(home / "all"),
            (std::vector<std::string>{"pass-a.bmp", "pass-b.bmp", "pass-c.bmp", "pass.png"}));
  ASSERT_EQ(RunProgram(home, sample + " none/ 2JX").code, 0);
  EXPECT_EQ(Files(home / "none"), (std::vector<std::string>{"noaa15-excerpt-2min.jpg"}));
  ASSERT_EQ(RunProgram(home, sample + " colour/ 2SCO").code, 0);
  EXPECT_EQ(Files(home / "colour"), (std::vector<std::string>{"noaa15-excerpt-2min-c.jpg"}));
  // The false colour is 24-bit: it really is in colour.
  ASSERT_EQ(RunProgram(home, sample + " bmp/ 2SCO 2B").code, 0);
  vivurozed::TExtBitmap c;
  c.LoadFromFile(home / "bmp" / "noaa15-excerpt-2min-c.bmp");
  EXPECT_EQ(c.PixelFormat(), vivurozed::pf24bit);
  int coloured = 0;
  for (int y = 0; y < c.Height(); ++y) {
    const std::uint8_t* row = c.ScanLine(y);
    for (int x = 0; x < c.Width(); ++x) coloured += row[3 * x] != row[3 * x + 2];
  }
  EXPECT_GT(coloured, c.Width() * c.Height() / 10);
}

TEST(Program, ReprocessesAnEightBitPictureAndRefusesOthers) {
  TempDir home;
  ASSERT_EQ(RunProgram(home, std::string("'") + VZ_SAMPLE + "' first.bmp 2JX").code, 0);
  ASSERT_TRUE(fs::exists(home / "first.bmp"));
  const Result again = RunProgram(home, "first.bmp second.png");
  EXPECT_EQ(again.code, 0) << again.output;
  EXPECT_NE(again.output.find("Process image file"), std::string::npos);

  // A 24-bit picture: the warning and nothing else.
  std::vector<std::uint8_t> bmp = {'B', 'M'};
  auto put32 = [&](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) bmp.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  };
  auto put16 = [&](std::uint16_t v) {
    bmp.push_back(static_cast<std::uint8_t>(v));
    bmp.push_back(static_cast<std::uint8_t>(v >> 8));
  };
  const int w = 4, h = 70;
  put32(54 + w * 3 * h);
  put32(0);
  put32(54);
  put32(40);
  put32(w);
  put32(h);
  put16(1);
  put16(24);
  put32(0);
  put32(w * 3 * h);
  put32(0);
  put32(0);
  put32(0);
  put32(0);
  bmp.resize(bmp.size() + w * 3 * h, 128);
  vivurozed::testing::WriteBytes(home / "colour.bmp", bmp);
  const Result refused = RunProgram(home, "colour.bmp third.png");
  EXPECT_EQ(refused.code, 1);
  EXPECT_NE(refused.output.find("is not an 8-bit greyscale file.  Vivurozed cannot process this "
                                "file further."),
            std::string::npos)
      << refused.output;
  EXPECT_FALSE(fs::exists(home / "third.png"));
}

TEST(Program, WithADisplayTheWindowShowsTheRunUnlessHidden) {
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
}

TEST(Program, DecodesAPipeAsItDecodesTheFileAndKeepsTheAudio) {
  TempDir home;
  const std::string sample = std::string("'") + VZ_SAMPLE + "'";
  ASSERT_EQ(RunProgram(home, sample + " file/ 2B").code, 0);
  vivurozed::TExtBitmap fromFile;
  fromFile.LoadFromFile(home / "file" / "noaa15-excerpt-2min-b.bmp");
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
  const Result bad = RunProgram(home, "- bad/", "", "echo hello");
  EXPECT_EQ(bad.code, 1);
  EXPECT_NE(bad.output.find("standard input: not a RIFF WAVE stream"), std::string::npos)
      << bad.output;
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

  const Result noCard = RunProgram(home, "--capture=no-such-sound-card cap/");
  EXPECT_EQ(noCard.code, 1);
  EXPECT_NE(noCard.output.find("Error 2 opening wave input - no sound card input was found"),
            std::string::npos)
      << noCard.output;
}

// The bytes of a BMP header declaring w x h at `bits`, with no pixels after it.
std::vector<std::uint8_t> BmpHeader(std::uint32_t w, std::uint32_t h, std::uint16_t bits) {
  std::vector<std::uint8_t> b = {'B', 'M'};
  auto put = [&](std::uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  };
  for (std::uint32_t v : {0u, 0u, 54u + 1024u, 40u, w, h}) put(v, 4);
  put(1, 2);
  put(bits, 2);
  for (int i = 0; i < 6; ++i) put(0, 4);
  b.resize(b.size() + 1024);
  return b;
}

// A PNG whose header declares w x h grey pixels over a few bytes of data.
std::vector<std::uint8_t> PngBomb(std::uint32_t w, std::uint32_t h) {
  std::vector<std::uint8_t> b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  auto chunk = [&](const char* type, std::vector<std::uint8_t> data) {
    const auto n = static_cast<std::uint32_t>(data.size());
    for (int i = 3; i >= 0; --i) b.push_back(static_cast<std::uint8_t>(n >> (8 * i)));
    data.insert(data.begin(), type, type + 4);
    b.insert(b.end(), data.begin(), data.end());
    const auto crc = static_cast<std::uint32_t>(crc32(0, data.data(), uInt(data.size())));
    for (int i = 3; i >= 0; --i) b.push_back(static_cast<std::uint8_t>(crc >> (8 * i)));
  };
  std::vector<std::uint8_t> ihdr;
  for (std::uint32_t v : {w, h})
    for (int i = 3; i >= 0; --i) ihdr.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  ihdr.insert(ihdr.end(), {8, 0, 0, 0, 0});
  chunk("IHDR", ihdr);
  std::vector<std::uint8_t> zeros(4096, 0), packed(8192);
  uLongf size = packed.size();
  compress(packed.data(), &size, zeros.data(), zeros.size());
  packed.resize(size);
  chunk("IDAT", packed);
  chunk("IEND", {});
  return b;
}

std::string LastLine(const std::string& output) {
  const std::size_t end = output.find_last_not_of('\n');
  if (end == std::string::npos) return {};
  const std::size_t start = output.rfind('\n', end);
  return output.substr(start == std::string::npos ? 0 : start + 1,
                       end - (start == std::string::npos ? 0 : start + 1) + 1);
}

TEST(Program, ARunThatSavesNothingSaysWhyOnItsLastLine) {
  TempDir home;
  using vivurozed::testing::WriteBytes;
  std::ofstream(home / "notes.md") << "# Notes\nnot a recording\n";
  std::ofstream(home / "notes.wav") << "# Notes\nnot a recording\n";
  std::ofstream(home / "afile") << "x";
  auto wav = vivurozed::testing::BuildWav(std::vector<std::int16_t>(11025 * 40, 5));
  WriteBytes(home / "sample.txt", wav);
  wav.resize(11025 * 20);
  WriteBytes(home / "cut.wav", wav);
  WriteBytes(home / "huge.bmp", BmpHeader(65535, 65535, 8));
  WriteBytes(home / "bomb.png", PngBomb(30000, 30000));
  vivurozed::TExtBitmap tall(64, 60000, vivurozed::pf8bit);
  tall.SaveToFile(home / "tall.bmp");
  const std::string sample = std::string("'") + VZ_SAMPLE + "'";
  const struct {
    std::string arguments, shell, lastLine;
  } cases[] = {
      {"notes.md out.png", "",
       "notes.md is not a WAV recording or a BMP/PNG/JPEG picture: it "
       "holds text beginning \"# Notes\"; give a WAV recording"},
      {"notes.wav out.png", "", "is not a WAV recording: it holds text beginning \"# Notes\""},
      {"sample.txt out.png", "",
       "sample.txt holds a WAV recording but its name does not end in "
       ".wav: rename it"},
      {"cut.wav out.png", "", "cut.wav holds 9 s at 11025 Hz; record the whole pass"},
      {"missing.wav out.png", "", "missing.wav: no such file"},
      {"'" VZ_TEST_DATA "/real-envelope-53s-brokenheader.wav' out.png", "",
       "no 2400 Hz subcarrier: the carrier measured 193"},
      {"huge.bmp out.png", "", "picture too large: 65535 x 65535 (at most 67 megapixels)"},
      {"bomb.png out.bmp", "", "picture too large: 30000 x 30000 (at most 67 megapixels)"},
      {"tall.bmp out.png", "", "picture too tall: tall.bmp has 60000 lines, at most 7200"},
      {sample + " afile/out.png", "", "cannot make the output folder"},
      // A full disk, as a file-size limit the program meets half way.
      {sample + " full/out.png 2JX", "trap '' XFSZ; ulimit -f 16;",
       "File too large); free some space on the disk or choose another output folder"},
  };
  for (const auto& c : cases) {
    const Result r = RunProgram(home, c.arguments, c.shell);
    const std::string last = LastLine(r.output);
    EXPECT_EQ(r.code, 1) << c.arguments;
    EXPECT_EQ(last.rfind("vivurozed: ", 0), 0u) << c.arguments << "\n" << r.output;
    EXPECT_NE(last.find(c.lastLine), std::string::npos) << c.arguments << "\n" << r.output;
  }
}

}  // namespace
