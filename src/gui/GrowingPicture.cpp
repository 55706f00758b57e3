#include "gui/GrowingPicture.h"

#include <QScrollBar>

#include <algorithm>
#include <cstring>

#include "gui/PictureView.h"

namespace vivurozed {

TGrowingPicture::TGrowingPicture(TWindowRunHost& host, TPictureView& view, QObject* parent)
    : QObject(parent), host_(host), view_(view) {
  repaint_.setSingleShot(true);
  repaint_.setInterval(kRepaintMs);
  connect(&repaint_, &QTimer::timeout, this, [this] {
    if (!growing_) return;
    const std::vector<TDecodedLine> lines = host_.TakeLines();
    if (lines.empty()) return;
    Add(lines);
    Show();
  });
  // Scrolled to within a few pixels of the end, the view follows the newest
  // line; scrolled elsewhere, it stays. A view made smaller (a scroll bar
  // appearing) does not count as scrolling away.
  QScrollBar* bar = view_.verticalScrollBar();
  connect(bar, &QScrollBar::valueChanged, this, [this, bar] {
    if (!showing_) following_ = bar->value() >= bar->maximum() - 4;
  });
  // The first waiting line starts the timer; those that follow within its
  // interval are shown with it.
  connect(&host_, &TWindowRunHost::LinesWaiting, this, [this] {
    if (growing_ && !repaint_.isActive()) repaint_.start();
  });
}

void TGrowingPicture::Start() {
  image_ = QImage();
  rows_ = 0;
  growing_ = true;
  following_ = true;
  host_.SetCollectLines(true);
}

void TGrowingPicture::Stop() {
  growing_ = false;
  repaint_.stop();
  host_.SetCollectLines(false);
}

void TGrowingPicture::Add(const std::vector<TDecodedLine>& lines) {
  for (const TDecodedLine& line : lines) {
    if (line.row < 0 || line.pixels.empty()) continue;
    if (image_.isNull()) {
      image_ = QImage(static_cast<int>(line.pixels.size()), 512, QImage::Format_Grayscale8);
      image_.fill(0);
    }
    if (line.row >= image_.height()) {
      // Room for twice as many rows, so a long pass is copied only a few times.
      QImage larger(image_.width(), std::max(2 * image_.height(), line.row + 1),
                    QImage::Format_Grayscale8);
      larger.fill(0);
      for (int y = 0; y < rows_; ++y)
        std::memcpy(larger.scanLine(y), image_.constScanLine(y), std::size_t(image_.width()));
      image_ = std::move(larger);
    }
    const std::size_t n = std::min<std::size_t>(line.pixels.size(), std::size_t(image_.width()));
    std::uint8_t* out = image_.scanLine(line.row);
    std::memcpy(out, line.pixels.data(), n);
    std::memset(out + n, 0, std::size_t(image_.width()) - n);
    rows_ = std::max(rows_, line.row + 1);
  }
}

QImage TGrowingPicture::Picture() const {
  if (rows_ == 0) return {};
  return image_.copy(0, 0, image_.width(), rows_);
}

void TGrowingPicture::Show() {
  QScrollBar* bar = view_.verticalScrollBar();
  showing_ = true;
  view_.SetPicture(Picture());
  if (following_) bar->setValue(bar->maximum());
  showing_ = false;
}

}  // namespace vivurozed
