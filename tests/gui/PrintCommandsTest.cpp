#include "gui/PrintCommands.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QPrinter>

#include <filesystem>

#include "WavWriter.h"

namespace vivurozed {
namespace {

TEST(PrintCommands, ThePictureFillsThePageBelowTheCaptionKeepingItsShape) {
  struct Case {
    QSize picture;
    bool fullWidth;  // else it reaches the bottom of the page
  };
  const Case cases[] = {{{2080, 236}, true}, {{1040, 2000}, false}, {{10, 10}, true}};
  const QRect page(0, 0, 800, 1000);
  for (const Case& c : cases) {
    QImage picture(c.picture, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QImage sheet(page.size(), QImage::Format_RGB32);
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    const QRect at = PaintPrintPage(painter, page, picture, "a caption");
    painter.end();
    const auto name = std::to_string(c.picture.width()) + "x" + std::to_string(c.picture.height());
    ASSERT_TRUE(page.contains(at)) << name;
    EXPECT_GT(at.top(), 8) << name;  // the caption line above it
    EXPECT_NEAR(at.height(), double(at.width()) * c.picture.height() / c.picture.width(), 1)
        << name;
    EXPECT_EQ(c.fullWidth ? at.width() : at.bottom(), c.fullWidth ? page.width() : page.bottom())
        << name;
    EXPECT_EQ(sheet.pixel(at.center()), QColor(Qt::red).rgb()) << name;
    // Nothing beyond it: the page stays white below or beside it.
    const QPoint beyond = c.fullWidth ? QPoint(at.center().x(), at.bottom() + 2)
                                      : QPoint(at.left() - 2, at.center().y());
    EXPECT_EQ(sheet.pixel(beyond), QColor(Qt::white).rgb()) << name;
  }
}

TEST(PrintCommands, PrintsToAPdfFile) {
  testing::TempDir dir;
  const auto pdf = dir.Path() / "picture.pdf";
  QImage picture(1040, 400, QImage::Format_Grayscale8);
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x) picture.scanLine(y)[x] = std::uint8_t(x ^ y);
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QString::fromStdString(pdf.string()));
  ASSERT_TRUE(TPrintCommands::PrintOn(printer, picture, "noaa.wav - NOAA15"));
  ASSERT_TRUE(std::filesystem::exists(pdf));
  EXPECT_GT(std::filesystem::file_size(pdf), 20000u);  // the picture, not an empty page
}

}  // namespace
}  // namespace vivurozed
