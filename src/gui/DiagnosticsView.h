// The run's diagnostics: its log lines as they come, to read and to copy.
#pragma once

#include <QDialog>
#include <QPlainTextEdit>
#include <QString>

#include <string>
#include <vector>

namespace vivurozed {

class TDiagnosticsView : public QDialog {
  Q_OBJECT

 public:
  explicit TDiagnosticsView(QWidget* parent = nullptr);

  void AddLine(const QString& line);
  // The whole log again (a run's log is cleared when the next one starts).
  void SetLines(const std::vector<std::string>& lines);
  QString Text() const { return text_->toPlainText(); }
  // The whole log to the clipboard.
  void CopyAll();

 private:
  QPlainTextEdit* text_;
};

}  // namespace vivurozed
