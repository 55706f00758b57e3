#include "gui/PrintCommands.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include <filesystem>

#include "app/MainForm.h"
#include "orbit/SGP_Time.h"

namespace vivurozed {

QRect PaintPrintPage(QPainter& painter, const QRect& page, const QImage& picture,
                     const QString& caption) {
  QFont font = painter.font();
  // About a sixtieth of the page height, whatever the printer's resolution.
  font.setPixelSize(std::max(8, page.height() / 60));
  painter.setFont(font);
  const QFontMetrics metrics(font);
  const int band = caption.isEmpty() ? 0 : metrics.height() * 3 / 2;
  painter.drawText(QRect(page.left(), page.top(), page.width(), band),
                   Qt::AlignLeft | Qt::AlignVCenter,
                   metrics.elidedText(caption, Qt::ElideRight, page.width()));
  const QRect room(page.left(), page.top() + band, page.width(), page.height() - band);
  if (picture.isNull() || room.width() <= 0 || room.height() <= 0) return {};
  QSize size = picture.size();
  size.scale(room.size(), Qt::KeepAspectRatio);
  const QRect target(room.left() + (room.width() - size.width()) / 2, room.top(), size.width(),
                     size.height());
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(target, picture);
  return target;
}

QString PrintCaption(TProcessingRun& run, const QString& tabName) {
  QString caption = QString::fromStdString(run.Caption());
  if (caption.isEmpty())
    caption = QString::fromStdString(std::filesystem::path(run.FileName()).filename().string());
  if (const auto& pass = run.Overlay().Pass()) {
    caption += QString("  %1  %2 UTC")
                   .arg(QString::fromStdString(pass->satellite),
                        QString::fromStdString(FormatDateTime("yyyy-mm-dd hh:nn", pass->aos)));
  }
  if (!tabName.isEmpty()) caption += "  (" + tabName + ")";
  return caption;
}

bool TPrintCommands::PrintOn(QPrinter& printer, const QImage& picture, const QString& caption) {
  QPainter painter;
  if (!painter.begin(&printer)) return false;
  const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
  PaintPrintPage(painter, QRect(QPoint(0, 0), page.size()), picture, caption);
  return painter.end();
}

bool TPrintCommands::Print(const QImage& picture, const QString& caption) {
  QPrinter printer(QPrinter::HighResolution);
  if (picture.width() > picture.height()) printer.setPageOrientation(QPageLayout::Landscape);
  QPrintDialog dialog(&printer, parent_);
  dialog.setWindowTitle("Print picture");
  if (dialog.exec() != QDialog::Accepted) return false;
  return PrintOn(printer, picture, caption);
}

void TPrintCommands::Preview(const QImage& picture, const QString& caption) {
  QPrinter printer(QPrinter::HighResolution);
  if (picture.width() > picture.height()) printer.setPageOrientation(QPageLayout::Landscape);
  QPrintPreviewDialog dialog(&printer, parent_);
  dialog.setWindowTitle("Print preview");
  QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog,
                   [&](QPrinter* p) { PrintOn(*p, picture, caption); });
  dialog.resize(900, 700);
  dialog.exec();
}

}  // namespace vivurozed
