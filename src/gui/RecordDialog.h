// "Record and decode": which sound input to record from, at which level,
// for which satellite and decode type, and where the audio is kept; a level
// meter shows the input while the dialog is open.
#pragma once

#include <QAudioDevice>
#include <QDialog>
#include <QList>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/LiveRun.h"
#include "decode/SignalVideoParamDefs.h"
#include "noaa/Thermal.h"
#include "platform/AudioCapture.h"
#include "signal/LiveInput.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace vivurozed {

class TCaptureInput;
class TLevelMeter;

struct TRecordChoice {
  std::string deviceName;  // as listed; the default input when not listed
  int device = -1;         // index in the list
  double volume = 1.0;
  std::string satellite;                  // "NOAA15" and the like; empty when not known
  std::optional<TDecodeParameters> type;  // none: the run listens first
  std::string folder;
};

// Makes a device for the input at `index` of the list.
using TCaptureMaker = std::function<std::unique_ptr<TCaptureDevice>(int index)>;

class TRecordDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kMeterMs = 80;

  TRecordDialog(const QStringList& devices, int defaultDevice, const TRecordChoice& initial,
                TCaptureMaker maker, QWidget* parent = nullptr);
  ~TRecordDialog() override;

  TRecordChoice Choice() const;
  TLevelMeter* Meter() const { return meter_; }

 private:
  // Opens the chosen input for the meter alone; the run opens it anew.
  void Monitor(int index);
  void CloseMonitor();
  void Poll();
  void ChooseFolder();
  void done(int result) override;

  TCaptureMaker maker_;
  QComboBox* device_;
  QSlider* volume_;
  QLabel* volumeText_;
  QComboBox* satellite_;
  QComboBox* type_;
  QLineEdit* folder_;
  QPushButton* start_ = nullptr;
  TLevelMeter* meter_;
  QTimer timer_;
  std::unique_ptr<TCaptureInput> monitor_;
  TCaptureDevice* monitorDevice_ = nullptr;  // owned by monitor_
};

// What a live run from the sound card starts with.
struct TRecordStart {
  std::unique_ptr<TLiveInput> input;
  TLiveRunOptions live;
  std::optional<TDecodeParameters> type;
  // The satellite chosen, whose calibration applies; unknown when not chosen.
  TSensorModel model = smUnknown;
};

// Asks how to record (starting from `last`, which keeps the answer); nothing
// when there is no input (the user is told) or the user cancels.
// `defaultFolder` is offered when `last` has none.
std::optional<TRecordStart> AskRecording(QWidget* parent, TRecordChoice& last,
                                         const QList<QAudioDevice>& inputs,
                                         const QAudioDevice& defaultInput,
                                         const std::string& defaultFolder);

// The run's start for a choice on `device`: the folder made, the level set;
// nothing (the user is told) when the folder cannot be made.
std::optional<TRecordStart> RecordStart(const TRecordChoice& choice,
                                        std::unique_ptr<TCaptureDevice> device);

}  // namespace vivurozed
