#include "app/ConsoleHost.h"

#include <atomic>
#include <cctype>
#include <istream>
#include <ostream>

namespace vivurozed {

namespace {

std::atomic<int> interrupts{0};

void OnInterrupt(int) {
  if (interrupts.fetch_add(1) >= 1) {
    std::signal(SIGINT, SIG_DFL);
    std::raise(SIGINT);
  }
}

}  // namespace

void TConsoleHost::InstallInterruptHandler() {
  std::signal(SIGINT, OnInterrupt);
}

bool TConsoleHost::StopRequested() {
  return interrupts.load() > 0;
}

void TConsoleHost::ClearProgress() {
  if (!progressShown_) return;
  err_ << "\r\033[K" << std::flush;
  progressShown_ = false;
}

void TConsoleHost::ProgressBegin(const std::string& text) {
  Progress(text, 0);
}

void TConsoleHost::Progress(const std::string& text, int percent) {
  if (!terminal_) return;
  err_ << "\r\033[K" << text;
  if (percent >= 0) err_ << " " << percent << "%";
  err_ << std::flush;
  progressShown_ = true;
}

void TConsoleHost::ProgressEnd() {
  ClearProgress();
}

void TConsoleHost::Line(const std::string& text) {
  ClearProgress();
  err_ << text << '\n' << std::flush;
}

TRunMessages::TRunMessages(TDiagnostics& log, TConsoleHost& host, std::istream& in,
                           bool interactive)
    : log_(log), host_(host), in_(in), interactive_(interactive) {}

void TRunMessages::Show(const std::string& text, const std::string& caption) {
  log_.Add(caption.empty() ? text : caption + ": " + text);
}

TMessageAnswer TRunMessages::AskYesNo(const std::string& text, const std::string& caption,
                                      TMessageAnswer safeAnswer) {
  return Ask(text, caption, false, safeAnswer);
}

TMessageAnswer TRunMessages::AskYesNoCancel(const std::string& text, const std::string& caption,
                                            TMessageAnswer safeAnswer) {
  return Ask(text, caption, true, safeAnswer);
}

TMessageAnswer TRunMessages::Ask(const std::string& text, const std::string& caption,
                                 bool withCancel, TMessageAnswer safeAnswer) {
  static const char* kNames[] = {"Yes", "No", "Cancel"};
  const std::string question = caption.empty() ? text : caption + ": " + text;
  if (!interactive_) {
    log_.Add(question + " -> " + kNames[safeAnswer] + " (unattended)");
    return safeAnswer;
  }
  TMessageAnswer answer = safeAnswer;
  for (;;) {
    host_.Line(question + (withCancel ? " [y/n/c]" : " [y/n]"));
    std::string line;
    if (!std::getline(in_, line)) break;
    const char c =
        line.empty() ? '\0' : static_cast<char>(std::tolower(static_cast<unsigned char>(line[0])));
    if (c == 'y' || c == 'n' || (withCancel && c == 'c')) {
      answer = c == 'y' ? maYes : c == 'n' ? maNo : maCancel;
      break;
    }
  }
  log_.Add(question + " -> " + kNames[answer]);
  return answer;
}

}  // namespace vivurozed
