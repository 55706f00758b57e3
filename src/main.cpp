// vivurozed: decodes a weather-satellite recording given on the command line
// and saves its pictures.
#include <unistd.h>

#include <QCoreApplication>

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/ConsoleHost.h"
#include "app/MainForm.h"
#include "app/OutputSaving.h"
#include "platform/UserMessages.h"

namespace {

using namespace vivurozed;

constexpr const char* kUsage =
    "Usage: vivurozed INPUT [OUTPUT] [OPTIONS...]\n"
    "\n"
    "Decodes a weather-satellite recording (11025 Hz WAV, at least 30 s) or\n"
    "re-processes a saved picture (.bmp, .jpg, .png, .noa, .max) and saves\n"
    "the pictures. OUTPUT is a picture name (.bmp, .png, .jpg) or a folder.\n"
    "\n"
    "Options (letters, any case):\n"
    "  S  south-bound pass        I  large image          H  equalise histogram\n"
    "  R  attempt re-sync         T  tape input           K  keep going (no exit)\n"
    "  2J NOAA channels as high-quality JPEG   2B as BMP  2JX no channel pictures\n"
    "  2F no noise crop           2LB luminance from IR   2SCO false colour only\n"
    "  2HLS second colour map     2A0..2A2 illumination   2C<name> colour map\n"
    "  MNOAA15 sensor model       B0..B2 input filter     C0..C2 sharpening\n"
    "  F<rate> receiver rate (10925..11125)   G<gamma> gamma (0.2..5.0)\n"
    "  WJ/WU/WE GMS, GOES, Meteosat           O<letters> overlay elements\n"
    "  -hide  no window\n"
    "\n"
    "Map overlay (NOAA recordings named MMDDhhmm..., e.g. 08251827_NOAA15.wav):\n"
    "  --overlay            make the overlay for this run (grid, coastlines and\n"
    "                       home marker unless O letters choose otherwise) and\n"
    "                       write the earth location of every line (.lcn)\n"
    "  --elements PATH      two-line element file, or a folder of them; also\n"
    "                       turns the overlay on (default folder:\n"
    "                       ~/.local/share/vivurozed/keps)\n"
    "  --home LAT,LON       home location in degrees, north and east positive\n"
    "  --start \"YYYY-MM-DD hh:mm:ss\"  UTC start of the recording, when its name\n"
    "                       and file times do not tell it\n"
    "\n"
    "Live input (the picture is made when the input ends or on Ctrl-C; the audio\n"
    "is kept as MMDDhhmm[_SATELLITE].wav, UTC, beside the output):\n"
    "  vivurozed - OUTPUT ...  read a WAV stream from standard input, e.g.\n"
    "                       rtl_fm ... | sox ... -t wav - | vivurozed - out/\n"
    "  --raw-rate RATE      standard input is raw signed 16-bit little-endian mono\n"
    "  --follow[=SECONDS]   INPUT is a WAV file still being written: follow it until\n"
    "                       it has not grown for SECONDS (5)\n"
    "  --capture[=NAME]     record from the sound card (the default input, or the one\n"
    "                       whose name contains NAME) instead of reading INPUT:\n"
    "                       vivurozed --capture out/ MNOAA19; Ctrl-C ends the pass\n"
    "  --type NAME          decode as NOAA, Meteor, Meteor221, Resurs, Okean, Sich,\n"
    "                       Sich600, OkeanO, OkeanO37, Meteosat, GMS, GOES or WEFAX\n"
    "                       instead of analysing the first 30 seconds first\n"
    "\n"
    "  vivurozed --help | --version\n";

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> parameters(argv + 1, argv + argc);
  if (parameters.empty()) {
    std::cout << kUsage;
    return 1;
  }
  if (parameters[0] == "--help" || parameters[0] == "-h") {
    std::cout << kUsage;
    return 0;
  }
  if (parameters[0] == "--version") {
    std::cout << CreatorText() << '\n';
    return 0;
  }
  const TCommandLine commandLine = ParseCommandLine(parameters);
  if (!commandLine.ok) {
    std::cerr << "vivurozed: " << commandLine.error << "\n\n" << kUsage;
    return 1;
  }
  const TBatchOptions& batch = commandLine.options;
  std::error_code ec;
  if (batch.standardInput && isatty(STDIN_FILENO) != 0) {
    std::cerr << "vivurozed: standard input is a terminal: pipe a recording into it\n";
    return 1;
  }
  // A followed file may appear only once its recorder starts.
  const bool fileInput = !batch.standardInput && !batch.capture;
  if (fileInput && !batch.followQuiet && !std::filesystem::exists(batch.input, ec)) {
    std::cerr << "vivurozed: " << batch.input << ": no such file\n";
    return 1;
  }
  if (fileInput && std::filesystem::is_directory(batch.input, ec)) {
    std::cerr << "vivurozed: " << batch.input << " is a folder, not a recording or picture\n";
    return 1;
  }

  if (!batch.output.empty()) {
    // Folders for the output are made as needed.
    const std::filesystem::path folder = batch.outputIsFolder
                                             ? std::filesystem::path(batch.output)
                                             : std::filesystem::path(batch.output).parent_path();
    if (!folder.empty() && !std::filesystem::is_directory(folder, ec) &&
        !std::filesystem::create_directories(folder, ec)) {
      std::cerr << "vivurozed: cannot make the output folder " << folder.string() << ": "
                << ec.message() << '\n';
      return 1;
    }
  }

  // The sound card's thread runs Qt's event loop, which wants an application.
  std::unique_ptr<QCoreApplication> application;
  if (batch.capture) application = std::make_unique<QCoreApplication>(argc, argv);

  const bool terminal = isatty(STDERR_FILENO) != 0;
  TConsoleHost host(std::cerr, terminal);
  TConsoleHost::InstallInterruptHandler();
  auto store = std::make_shared<TSettingsStore>(SoftwareKeyPath(kProgramName));
  TProcessingRun run(host, store);
  run.Log().SetListener([&host](const std::string& line) { host.Line(line); });
  // Questions are asked on the terminal, never read from the audio.
  TRunMessages messages(run.Log(), host, std::cin,
                        !batch.standardInput && isatty(STDIN_FILENO) != 0);
  SetUserMessages(&messages);
  std::vector<std::string> full(argv, argv + argc);
  int code = 1;
  try {
    code = run.RunBatch(batch, full);
  } catch (const std::exception& e) {
    std::cerr << "vivurozed: " << e.what() << '\n';
  }
  host.ProgressEnd();
  for (const auto& f : run.Saver().Written()) std::cerr << "Wrote " << f << '\n';
  if (code != 0 && !batch.output.empty())
    std::cerr << "vivurozed: the pictures were not all saved\n";
  SetUserMessages(nullptr);
  return code;
}
