// The run's diagnostics: its log lines as they come, to read and to copy,
// and plots of what it measured, a page each.
#pragma once

#include <QDialog>
#include <QPlainTextEdit>
#include <QString>
#include <QTabWidget>

#include <string>
#include <vector>

#include "app/PictureEdits.h"

namespace vivurozed {

class TPlotView;

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
  // The last run's measurements; empty series show "No data".
  void SetPlots(const TRunPlots& plots);
  // The plot pages in order: averaged video, averaged signal, tone
  // correlation, autocorrelation.
  const std::vector<TPlotView*>& PlotViews() const { return plots_; }
  QTabWidget* Pages() const { return pages_; }

 private:
  QTabWidget* pages_;
  QPlainTextEdit* text_;
  std::vector<TPlotView*> plots_;
};

}  // namespace vivurozed
