// Printing of the picture on the current tab (the main picture, a NOAA
// channel or the false colour): fitted to the page with its shape kept,
// under a caption line naming the recording, satellite and time.
#pragma once

#include <QImage>
#include <QRect>
#include <QString>

class QPainter;
class QPrinter;
class QWidget;

namespace vivurozed {

class TProcessingRun;

// Draws the caption along the top of the page and the picture, as large as
// fits below it, centred. Returns where the picture went.
QRect PaintPrintPage(QPainter& painter, const QRect& page, const QImage& picture,
                     const QString& caption);

// "file.wav - NOAA14  NOAA-15  2003-05-20 08:12 UTC  (Channel B)": the
// satellite and time when a pass was identified.
QString PrintCaption(TProcessingRun& run, const QString& tabName);

class TPrintCommands {
 public:
  explicit TPrintCommands(QWidget* parent) : parent_(parent) {}

  // Through the print dialog; false when it was cancelled.
  bool Print(const QImage& picture, const QString& caption);
  // The print preview dialog, from which the user may print.
  void Preview(const QImage& picture, const QString& caption);
  // One page on an already set-up printer (a PDF file, say).
  static bool PrintOn(QPrinter& printer, const QImage& picture, const QString& caption);

 private:
  QWidget* parent_;
};

}  // namespace vivurozed
