// The user-message service of the desktop program: message boxes over the
// main window. A run on the worker thread asks through the window's thread
// and waits for the answer; once the window closes, questions that are
// still coming take their safe answer.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <atomic>

#include "platform/UserMessages.h"

namespace vivurozed {

class TMessageBoxes : public TUserMessages {
 public:
  explicit TMessageBoxes(QWidget* parent);
  ~TMessageBoxes() override;

  void Show(const std::string& text, const std::string& caption) override;
  TMessageAnswer AskYesNo(const std::string& text, const std::string& caption,
                          TMessageAnswer safeAnswer) override;
  TMessageAnswer AskYesNoCancel(const std::string& text, const std::string& caption,
                                TMessageAnswer safeAnswer) override;

  // From now on nothing is shown; questions take their safe answer.
  void Close() { closed_ = true; }

 private:
  enum TKind { mkShow, mkYesNo, mkYesNoCancel };
  TMessageAnswer Ask(TKind kind, const std::string& text, const std::string& caption,
                     TMessageAnswer safeAnswer);
  TMessageAnswer AskHere(TKind kind, const QString& text, const QString& caption,
                         TMessageAnswer safeAnswer);
  QPointer<QWidget> parent_;
  QObject context_;  // the window's thread, where every box is shown
  std::atomic<bool> closed_{false};
};

}  // namespace vivurozed
