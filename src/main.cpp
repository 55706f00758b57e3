// vivurozed: the desktop window, or, given a recording on the command line,
// decodes it and saves its pictures (unattended when there is no display or
// with -hide).
#include <malloc.h>
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
#include "gui/DesktopProgram.h"
#include "platform/UserMessages.h"

namespace {

using namespace vivurozed;

const char* const kUsage = CommandLineUsage();

}  // namespace

int main(int argc, char** argv) {
  // A run allocates and frees the same working buffers (histograms, rows,
  // spectra) over and over; kept in the heap they are reused instead of
  // being mapped and faulted in afresh each time. Pictures have their own
  // store and still go back to the system.
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 128 << 20);
  std::vector<std::string> parameters(argv + 1, argv + argc);
  if (parameters.empty()) {
    if (DisplayAvailable()) return RunDesktopProgram(argc, argv, nullptr);
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

  // Live inputs run on the console until the window has its own way in.
  const bool live = batch.standardInput || batch.capture || batch.followQuiet;
  if (!batch.hide && !live && DisplayAvailable()) {
    // A file alone opens in the window as the open command would; anything
    // more is the command line's run, shown.
    if (parameters.size() == 1) return RunDesktopProgram(argc, argv, nullptr, batch.input);
    return RunDesktopProgram(argc, argv, &batch);
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
  std::string failure;
  try {
    code = run.RunBatch(batch, full);
    failure = run.Failure();
  } catch (const std::exception& e) {
    failure = e.what();
  }
  host.ProgressEnd();
  for (const auto& f : run.Saver().Written()) std::cerr << "Wrote " << f << '\n';
  // The last line says why whenever something the user asked for is missing.
  if (failure.empty() && code != 0)
    failure = batch.output.empty() ? "the run ended without a picture" : "nothing was saved";
  if (!failure.empty()) std::cerr << "vivurozed: " << failure << '\n';
  SetUserMessages(nullptr);
  return code;
}
