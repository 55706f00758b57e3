#include "platform/qt/QtCanvas.h"

#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLine>
#include <QPainter>
#include <QPen>
#include <QString>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "platform/Canvas.h"

namespace vivurozed {

namespace {

QtMessageHandler previousHandler = nullptr;

// The offscreen platform warns about a missing runtime folder, which
// unattended runs never have and never need.
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (message.contains(QLatin1String("XDG_RUNTIME_DIR"))) return;
  if (previousHandler) {
    previousHandler(type, context, message);
  } else {
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
  }
}

class TQtCanvas : public TCanvas {
 public:
  // Without a palette the rows hold blue, green, red bytes.
  TQtCanvas(std::uint8_t* pixels, int width, int height, int stride,
            std::span<const TColour> palette, bool rgb)
      : palette_(palette.begin(), palette.end()),
        rgb_(rgb),
        image_(pixels, width, height, stride,
               rgb ? QImage::Format_BGR888 : QImage::Format_Grayscale8) {
    if (!image_.isNull() && painter_.begin(&image_)) {
      painter_.setRenderHint(QPainter::Antialiasing, false);
      painter_.setRenderHint(QPainter::TextAntialiasing, false);
      painter_.setBackgroundMode(Qt::TransparentMode);
    }
  }

  int Width() const override { return image_.width(); }
  int Height() const override { return image_.height(); }

  void Polyline(std::span<const TCanvasPoint> points) override {
    if (!painter_.isActive() || points.empty()) return;
    painter_.setPen(Pen());
    painter_.setBrush(Qt::NoBrush);
    if (points.size() == 1) {
      painter_.drawPoint(points[0].x, points[0].y);
      return;
    }
    // Separate lines: Qt's aliased polyline leaves out some corner pixels.
    lines_.resize(points.size() - 1);
    for (std::size_t i = 0; i + 1 < points.size(); ++i)
      lines_[i] = QLine(points[i].x, points[i].y, points[i + 1].x, points[i + 1].y);
    painter_.drawLines(lines_.data(), static_cast<int>(lines_.size()));
  }

  void Ellipse(int x1, int y1, int x2, int y2) override {
    if (!painter_.isActive() || x2 <= x1 || y2 <= y1) return;
    painter_.setPen(Pen());
    if (BrushStyle() == bsClear) {
      painter_.setBrush(Qt::NoBrush);
    } else {
      painter_.setBrush(Grey(BrushColour(), brushCache_));
    }
    painter_.drawEllipse(QRect(x1, y1, x2 - x1 - 1, y2 - y1 - 1));
  }

  void FillRect(int x1, int y1, int x2, int y2) override {
    if (!painter_.isActive() || x2 <= x1 || y2 <= y1) return;
    painter_.fillRect(QRect(x1, y1, x2 - x1, y2 - y1), Grey(BrushColour(), brushCache_));
  }

  void TextOut(int x, int y, const std::string& text) override {
    if (!painter_.isActive() || text.empty() || !EnsureGuiApplication()) return;
    const QString qtext = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    const QFont& font = Font();
    const QFontMetrics metrics(font);
    if (BrushStyle() == bsSolid) {
      painter_.fillRect(QRect(x, y, metrics.horizontalAdvance(qtext), metrics.height()),
                        Grey(BrushColour(), brushCache_));
    }
    painter_.setFont(font);
    painter_.setPen(QPen(Grey(FontColour(), fontCache_)));
    painter_.drawText(QPoint(x, y + metrics.ascent()), qtext);
  }

  int TextWidth(const std::string& text) override {
    if (!EnsureGuiApplication()) return 0;
    return QFontMetrics(Font()).horizontalAdvance(
        QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  }

  int TextHeight(const std::string&) override {
    if (!EnsureGuiApplication()) return 0;
    return QFontMetrics(Font()).height();
  }

 private:
  struct TColourCache {
    bool valid = false;
    TColour colour;
    QColor grey;
  };

  // The picture's value is the palette index, painted as that grey level;
  // colour pictures take the colour itself.
  const QColor& Grey(TColour colour, TColourCache& cache) const {
    if (!cache.valid || !(cache.colour == colour)) {
      const int index = rgb_ ? 0 : NearestPaletteIndex(palette_, colour);
      cache = {true, colour,
               rgb_ ? QColor(colour.red, colour.green, colour.blue) : QColor(index, index, index)};
    }
    return cache.grey;
  }

  QPen Pen() const {
    const int width = PenWidth();
    return QPen(Grey(PenColour(), penCache_), width, Qt::SolidLine,
                width > 1 ? Qt::RoundCap : Qt::SquareCap, Qt::RoundJoin);
  }

  const QFont& Font() {
    if (!fontValid_ || fontName_ != FontName() || fontSize_ != FontSize() ||
        fontBold_ != FontBold()) {
      fontName_ = FontName();
      fontSize_ = FontSize();
      fontBold_ = FontBold();
      font_ = QFont(QString::fromStdString(fontName_));
      font_.setStyleHint(QFont::SansSerif);
      font_.setPixelSize(std::max(1, int(std::lround(fontSize_ * 96.0 / 72.0))));
      font_.setBold(fontBold_);
      font_.setStyleStrategy(QFont::NoAntialias);
      fontValid_ = true;
    }
    return font_;
  }

  std::vector<TColour> palette_;
  bool rgb_ = false;
  QImage image_;
  QPainter painter_;
  std::vector<QLine> lines_;
  mutable TColourCache penCache_, brushCache_, fontCache_;
  QFont font_;
  bool fontValid_ = false;
  std::string fontName_;
  int fontSize_ = 0;
  bool fontBold_ = false;
};

}  // namespace

bool EnsureGuiApplication() {
  if (QCoreApplication::instance())
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
  // Lives until the program ends; Qt keeps the argument list for as long.
  static int argc = 3;
  static char name[] = "vivurozed", option[] = "-platform", platform[] = "offscreen";
  static char* argv[] = {name, option, platform, nullptr};
  previousHandler = qInstallMessageHandler(QuietHandler);
  static QGuiApplication application(argc, argv);
  return true;
}

std::unique_ptr<TCanvas> MakePaletteCanvas(std::uint8_t* pixels, int width, int height, int stride,
                                           std::span<const TColour> palette) {
  EnsureGuiApplication();
  if (!pixels || width <= 0 || height <= 0 || stride < width || stride % 4 != 0) {
    width = height = 0;
    pixels = nullptr;
  }
  return std::make_unique<TQtCanvas>(pixels, width, height, stride, palette, false);
}

std::unique_ptr<TCanvas> MakeRgbCanvas(std::uint8_t* pixels, int width, int height, int stride) {
  EnsureGuiApplication();
  if (!pixels || width <= 0 || height <= 0 || stride < 3 * width) {
    width = height = 0;
    pixels = nullptr;
  }
  return std::make_unique<TQtCanvas>(pixels, width, height, stride, std::span<const TColour>(),
                                     true);
}

}  // namespace vivurozed
