#include "gui/AboutBox.h"

#include <QMessageBox>
#include <QtGlobal>

#include "app/OutputSaving.h"
#include "image/JPEG_IO.h"
#include "image/PngImage.h"

namespace vivurozed {

QString AboutText() {
  return QString(
             "<h3>%1</h3>"
             "<p>Decodes the picture transmissions of weather satellites (NOAA APT, Meteor, "
             "Resurs, Okean, Sich and WEFAX) from sound recordings.</p>"
             "<table>"
             "<tr><td>Qt</td><td>%2</td></tr>"
             "<tr><td>libpng</td><td>%3</td></tr>"
             "<tr><td>JPEG</td><td>%4</td></tr>"
             "<tr><td>Signal and image operations</td><td>built in</td></tr>"
             "</table>")
      .arg(QString::fromStdString(CreatorText()).toHtmlEscaped(), QString(qVersion()),
           QString::fromStdString(PngLibraryVersion()).toHtmlEscaped(),
           QString::fromStdString(JpegLibraryVersion()).toHtmlEscaped());
}

void ShowAboutBox(QWidget* parent) {
  QMessageBox::about(parent, "About Vivurozed", AboutText());
}

}  // namespace vivurozed
