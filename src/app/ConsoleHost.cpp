#include "app/ConsoleHost.h"

#include <atomic>
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

}  // namespace vivurozed
