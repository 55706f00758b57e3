// The main window's side of a run. The run goes on one worker thread; this
// host carries its progress, texts, log lines and finished pictures across
// to the window's thread as queued signals, and takes the window's stop
// request back to it.
#pragma once

#include <QImage>
#include <QObject>
#include <QString>
#include <QThread>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "app/PictureReadouts.h"
#include "app/RunHost.h"
#include "map/OverlayMaker.h"

namespace vivurozed {

class TProcessingRun;

// What the window shows of a run's pictures; empty images are absent.
struct TShownPictures {
  QImage main, channelA, channelB, falseColour;
  // The same with the overlay drawn on them.
  QImage mainOverlay, channelBOverlay, falseColourOverlay;
  std::shared_ptr<const TReadoutData> readouts;
};

// A picture line as it arrived from the run, copied.
struct TDecodedLine {
  int row = 0;
  std::vector<std::uint8_t> pixels;
};

enum TRunJob : int { rjDispatch = 0, rjReprocess = 1, rjBatch = 2 };

class TWindowRunHost : public QObject, public TRunHost {
  Q_OBJECT

 public:
  TWindowRunHost();
  // Stops a running job and waits for the worker to end.
  ~TWindowRunHost() override;

  // The run whose pictures PicturesReady takes.
  void SetRun(TProcessingRun* run) { run_ = run; }

  // Runs the job on the worker thread; false (and nothing done) while
  // another job is still running. JobFinished follows with its result.
  bool Start(TRunJob kind, std::function<int()> job);
  bool Busy() const { return busy_; }
  void RequestStop() { stop_ = true; }
  // The worker runs at idle priority while this is set.
  void SetLowPriority(bool low);

  void ProgressBegin(const std::string& text) override;
  void Progress(const std::string& text, int percent) override;
  void ProgressEnd() override;
  void SetStatus(const std::string& text) override;
  void SetCaption(const std::string& caption) override;
  void SetBusy(bool busy) override;
  void LetInputThrough() override {}  // the window's thread is never held up
  bool StopRequested() override { return stop_; }
  void PicturesReady() override;
  // Copies the line for the window while lines are collected (a live run).
  void LineDecoded(int row, std::span<const std::uint8_t> pixels) override;
  void SetCollectLines(bool on);
  // The lines that arrived since the last call, in order.
  std::vector<TDecodedLine> TakeLines();

  // Answers, on the window's thread, the run's request to confirm a pass.
  using TPassConfirmer = std::function<bool(TPassPrediction& pass)>;
  void SetPassConfirmer(TPassConfirmer confirmer) { confirmer_ = std::move(confirmer); }
  // From the run's thread: waits for the window's answer; false (the
  // prediction kept) when there is none or the run is being stopped.
  bool ConfirmPass(TPassPrediction& pass);

 signals:
  void ProgressBegan(const QString& text);
  void Progressed(const QString& text, int percent);
  void ProgressEnded();
  void StatusChanged(const QString& text);
  void CaptionChanged(const QString& caption);
  void BusyChanged(bool busy);
  void PicturesShown(const vivurozed::TShownPictures& pictures);
  void LogLine(const QString& line);
  void JobFinished(int kind, int result);
  // Lines wait for TakeLines; sent once until they are taken.
  void LinesWaiting();

 private:
  QThread thread_;
  QObject* worker_;  // lives on thread_, deleted with it
  TProcessingRun* run_ = nullptr;
  TPassConfirmer confirmer_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> collect_{false};
  std::mutex linesMutex_;
  std::vector<TDecodedLine> lines_;
  bool busy_ = false;
};

// The picture of a bitmap, copied: 8-bit with its palette, 24-bit as RGB.
QImage ToQImage(const TExtBitmap& bitmap);

}  // namespace vivurozed

Q_DECLARE_METATYPE(vivurozed::TShownPictures)
