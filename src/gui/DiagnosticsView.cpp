#include "gui/DiagnosticsView.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "gui/DiagnosticsPlots.h"

namespace vivurozed {

TDiagnosticsView::TDiagnosticsView(QWidget* parent)
    : QDialog(parent), pages_(new QTabWidget(this)), text_(new QPlainTextEdit(this)) {
  setWindowTitle("Vivurozed - diagnostics");
  setObjectName("diagnostics");
  text_->setReadOnly(true);
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  QPushButton* copy = buttons->addButton("&Copy all", QDialogButtonBox::ActionRole);
  connect(copy, &QPushButton::clicked, this, &TDiagnosticsView::CopyAll);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::hide);
  auto* layout = new QVBoxLayout(this);
  pages_->setObjectName("diagnosticPages");
  pages_->addTab(text_, "Log");
  for (const char* title :
       {"Averaged video", "Averaged signal", "Tone correlation", "Autocorrelation"}) {
    auto* plot = new TPlotView(pages_);
    plot->SetSeries({title, "", 1, {}});
    pages_->addTab(plot, title);
    plots_.push_back(plot);
  }
  layout->addWidget(pages_);
  layout->addWidget(buttons);
  resize(760, 520);
}

void TDiagnosticsView::AddLine(const QString& line) {
  // Follows the end only when the reader is there, so scrolling back to
  // read is not undone by every new line.
  QScrollBar* bar = text_->verticalScrollBar();
  const bool atEnd = bar->value() == bar->maximum();
  text_->appendPlainText(line);
  if (atEnd) bar->setValue(bar->maximum());
}

void TDiagnosticsView::SetLines(const std::vector<std::string>& lines) {
  QString all;
  for (const auto& l : lines) {
    all += QString::fromStdString(l);
    all += '\n';
  }
  if (all.endsWith('\n')) all.chop(1);
  if (all == text_->toPlainText()) return;
  text_->setPlainText(all);
  text_->verticalScrollBar()->setValue(text_->verticalScrollBar()->maximum());
}

void TDiagnosticsView::CopyAll() {
  QApplication::clipboard()->setText(text_->toPlainText());
}

void TDiagnosticsView::SetPlots(const TRunPlots& plots) {
  const TPlotSeries* series[] = {&plots.averagedVideo, &plots.averagedSignal,
                                 &plots.toneCorrelation, &plots.autocorrelation};
  for (std::size_t i = 0; i < plots_.size(); ++i) {
    TPlotSeries s = *series[i];
    // An empty series keeps its page's title.
    if (s.title.empty()) s.title = pages_->tabText(int(i) + 1).toStdString();
    plots_[i]->SetSeries(std::move(s));
  }
}

}  // namespace vivurozed
