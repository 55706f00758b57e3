// The host of an unattended run on a terminal: progress as one updating line
// when the error stream is a terminal, diagnostics lines as they come.
#pragma once

#include <csignal>
#include <iosfwd>
#include <string>

#include "app/RunHost.h"
#include "platform/Diagnostics.h"
#include "platform/UserMessages.h"

namespace vivurozed {

class TConsoleHost : public TRunHost {
 public:
  TConsoleHost(std::ostream& err, bool terminal) : err_(err), terminal_(terminal) {}

  void ProgressBegin(const std::string& text) override;
  void Progress(const std::string& text, int percent) override;
  void ProgressEnd() override;
  void SetStatus(const std::string&) override {}
  void SetCaption(const std::string&) override {}
  void SetBusy(bool) override {}
  void LetInputThrough() override {}
  bool StopRequested() override;
  void PicturesReady() override {}
  bool ShowsLines() const override { return false; }
  // A diagnostics line: clears the progress line first so the two never mix.
  void Line(const std::string& text);

  // Ctrl-C asks a running stream to stop, as Esc does in the window; a
  // second Ctrl-C ends the program.
  static void InstallInterruptHandler();

 private:
  void ClearProgress();
  std::ostream& err_;
  bool terminal_;
  bool progressShown_ = false;
};

// Messages and questions of an unattended run: each goes to the run's log,
// so the log shows what was asked and which answer was taken. A question is
// asked on the terminal when there is one; otherwise the answer that loses
// no data is taken.
class TRunMessages : public TUserMessages {
 public:
  TRunMessages(TDiagnostics& log, TConsoleHost& host, std::istream& in, bool interactive);
  void Show(const std::string& text, const std::string& caption) override;
  TMessageAnswer AskYesNo(const std::string& text, const std::string& caption,
                          TMessageAnswer safeAnswer) override;
  TMessageAnswer AskYesNoCancel(const std::string& text, const std::string& caption,
                                TMessageAnswer safeAnswer) override;

 private:
  TMessageAnswer Ask(const std::string& text, const std::string& caption, bool withCancel,
                     TMessageAnswer safeAnswer);
  TDiagnostics& log_;
  TConsoleHost& host_;
  std::istream& in_;
  bool interactive_;
};

}  // namespace vivurozed
