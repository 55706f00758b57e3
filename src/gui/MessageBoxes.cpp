#include "gui/MessageBoxes.h"

#include <QApplication>
#include <QMessageBox>
#include <QThread>

#include <chrono>
#include <future>

namespace vivurozed {

TMessageBoxes::TMessageBoxes(QWidget* parent) : parent_(parent) {}

TMessageBoxes::~TMessageBoxes() {
  closed_ = true;
}

void TMessageBoxes::Show(const std::string& text, const std::string& caption) {
  Ask(mkShow, text, caption, maYes);
}

TMessageAnswer TMessageBoxes::AskYesNo(const std::string& text, const std::string& caption,
                                       TMessageAnswer safeAnswer) {
  return Ask(mkYesNo, text, caption, safeAnswer);
}

TMessageAnswer TMessageBoxes::AskYesNoCancel(const std::string& text, const std::string& caption,
                                             TMessageAnswer safeAnswer) {
  return Ask(mkYesNoCancel, text, caption, safeAnswer);
}

TMessageAnswer TMessageBoxes::Ask(TKind kind, const std::string& text, const std::string& caption,
                                  TMessageAnswer safeAnswer) {
  const QString qtext = QString::fromStdString(text);
  const QString qcaption = QString::fromStdString(caption.empty() ? "Vivurozed" : caption);
  if (QThread::currentThread() == context_.thread()) {
    return AskHere(kind, qtext, qcaption, safeAnswer);
  }
  // A worker waits here for the window's answer, but never past the
  // window's closing: the window waits for the worker then.
  auto answer = std::make_shared<std::promise<TMessageAnswer>>();
  std::future<TMessageAnswer> future = answer->get_future();
  QMetaObject::invokeMethod(
      &context_,
      [this, answer, kind, qtext, qcaption, safeAnswer] {
        answer->set_value(AskHere(kind, qtext, qcaption, safeAnswer));
      },
      Qt::QueuedConnection);
  while (future.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
    if (closed_) return safeAnswer;
  }
  return future.get();
}

TMessageAnswer TMessageBoxes::AskHere(TKind kind, const QString& text, const QString& caption,
                                      TMessageAnswer safeAnswer) {
  if (closed_) return safeAnswer;
  if (kind == mkShow) {
    QMessageBox::information(parent_, caption, text);
    return maYes;
  }
  QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No;
  if (kind == mkYesNoCancel) buttons |= QMessageBox::Cancel;
  const QMessageBox::StandardButton defaultButton = safeAnswer == maYes  ? QMessageBox::Yes
                                                    : safeAnswer == maNo ? QMessageBox::No
                                                                         : QMessageBox::Cancel;
  const auto pressed = QMessageBox::question(parent_, caption, text, buttons, defaultButton);
  if (pressed == QMessageBox::Yes) return maYes;
  if (pressed == QMessageBox::No) return maNo;
  // Closing a Yes/No box without an answer takes the safe one.
  return kind == mkYesNoCancel ? maCancel : safeAnswer;
}

}  // namespace vivurozed
