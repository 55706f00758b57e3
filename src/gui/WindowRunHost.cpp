#include "gui/WindowRunHost.h"

#include <chrono>
#include <future>
#include <utility>

#include "app/MainForm.h"

namespace vivurozed {

TWindowRunHost::TWindowRunHost() : worker_(new QObject) {
  qRegisterMetaType<TShownPictures>();
  thread_.setObjectName("run");
  worker_->moveToThread(&thread_);
  connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
  thread_.start();
}

TWindowRunHost::~TWindowRunHost() {
  stop_ = true;
  thread_.quit();
  thread_.wait();
}

bool TWindowRunHost::Start(TRunJob kind, std::function<int()> job) {
  if (busy_) return false;
  busy_ = true;
  stop_ = false;
  QMetaObject::invokeMethod(
      worker_,
      [this, kind, job = std::move(job)] {
        int result = 0;
        try {
          result = job();
        } catch (const std::exception& e) {
          // The run reports its own errors; anything else still ends the job.
          emit LogLine(QString::fromStdString(std::string("Run ended by an error: ") + e.what()));
        }
        QMetaObject::invokeMethod(
            this,
            [this, kind, result] {
              busy_ = false;
              emit JobFinished(kind, result);
            },
            Qt::QueuedConnection);
      },
      Qt::QueuedConnection);
  return true;
}

void TWindowRunHost::SetLowPriority(bool low) {
  thread_.setPriority(low ? QThread::IdlePriority : QThread::NormalPriority);
}

void TWindowRunHost::ProgressBegin(const std::string& text) {
  emit ProgressBegan(QString::fromStdString(text));
}

void TWindowRunHost::Progress(const std::string& text, int percent) {
  emit Progressed(QString::fromStdString(text), percent);
}

void TWindowRunHost::ProgressEnd() {
  emit ProgressEnded();
}

void TWindowRunHost::SetStatus(const std::string& text) {
  emit StatusChanged(QString::fromStdString(text));
}

void TWindowRunHost::SetCaption(const std::string& caption) {
  emit CaptionChanged(QString::fromStdString(caption));
}

void TWindowRunHost::SetBusy(bool busy) {
  emit BusyChanged(busy);
}

void TWindowRunHost::PicturesReady() {
  if (!run_) return;
  // Copied here, on the run's thread, so the window never reads the run's
  // own bitmaps while a later job rewrites them.
  const TRunPictures& p = run_->Pictures();
  TShownPictures shown;
  shown.main = ToQImage(p.main);
  shown.channelA = ToQImage(p.channelA);
  shown.channelB = ToQImage(p.channelB);
  shown.falseColour = ToQImage(p.falseColour);
  shown.mainOverlay = ToQImage(p.overlay);
  shown.channelBOverlay = ToQImage(p.channelBOverlay);
  shown.falseColourOverlay = ToQImage(p.falseColourOverlay);
  shown.readouts = std::make_shared<const TReadoutData>(run_->ReadoutData());
  emit PicturesShown(shown);
}

void TWindowRunHost::LineDecoded(int row, std::span<const std::uint8_t> pixels) {
  if (!collect_) return;
  bool first = false;
  {
    std::lock_guard lock(linesMutex_);
    first = lines_.empty();
    lines_.push_back({row, std::vector<std::uint8_t>(pixels.begin(), pixels.end())});
  }
  if (first) emit LinesWaiting();
}

void TWindowRunHost::SetCollectLines(bool on) {
  collect_ = on;
  // Lines of an earlier run never reach the next one's picture.
  std::lock_guard lock(linesMutex_);
  lines_.clear();
}

std::vector<TDecodedLine> TWindowRunHost::TakeLines() {
  std::lock_guard lock(linesMutex_);
  return std::exchange(lines_, {});
}

bool TWindowRunHost::ConfirmPass(TPassPrediction& pass) {
  if (!confirmer_) return false;
  // The window works on its own copy: a run that stops waiting must not
  // have its pass written to later.
  auto asked = std::make_shared<TPassPrediction>(pass);
  auto answer = std::make_shared<std::promise<bool>>();
  std::future<bool> future = answer->get_future();
  QMetaObject::invokeMethod(
      this, [this, asked, answer] { answer->set_value(confirmer_(*asked)); }, Qt::QueuedConnection);
  while (future.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
    if (stop_) return false;
  }
  if (!future.get()) return false;
  pass = *asked;
  return true;
}

QImage ToQImage(const TExtBitmap& bitmap) {
  const int w = bitmap.Width(), h = bitmap.Height();
  if (w <= 0 || h <= 0) return {};
  if (bitmap.PixelFormat() == pf8bit) {
    QImage image(w, h, QImage::Format_Indexed8);
    QList<QRgb> colours;
    for (const TPaletteEntry& e : bitmap.Palette()) colours.push_back(qRgb(e.red, e.green, e.blue));
    for (int i = static_cast<int>(colours.size()); i < 256; ++i) colours.push_back(qRgb(i, i, i));
    image.setColorTable(colours);
    for (int y = 0; y < h; ++y) std::copy_n(bitmap.ScanLine(y), w, image.scanLine(y));
    return image;
  }
  if (bitmap.PixelFormat() == pf24bit) {
    QImage image(w, h, QImage::Format_RGB888);
    for (int y = 0; y < h; ++y) {
      const std::uint8_t* in = bitmap.ScanLine(y);
      std::uint8_t* out = image.scanLine(y);
      for (int x = 0; x < w; ++x) {
        out[3 * x] = in[3 * x + 2];  // the bitmap's rows are blue-green-red
        out[3 * x + 1] = in[3 * x + 1];
        out[3 * x + 2] = in[3 * x];
      }
    }
    return image;
  }
  return {};
}

}  // namespace vivurozed
