#include "gui/RecordDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <vector>

#include "gui/LevelMeter.h"
#include "platform/UserMessages.h"
#include "platform/qt/QtCaptureDevice.h"
#include "signal/CaptureInput.h"
#include "signal/WaveCommon.h"

namespace vivurozed {

namespace {

QString Text(const std::string& s) {
  return QString::fromStdString(s);
}

// A row of several widgets gets no label of its own: the shortcut needs a buddy.
void AddBuddyRow(QFormLayout* form, const QString& label, QWidget* buddy, QWidget* beside) {
  auto* row = new QHBoxLayout;
  row->addWidget(buddy);
  row->addWidget(beside);
  auto* text = new QLabel(label, buddy->parentWidget());
  text->setBuddy(buddy);
  form->addRow(text, row);
}

}  // namespace

TRecordDialog::TRecordDialog(const QStringList& devices, int defaultDevice,
                             const TRecordChoice& initial, TCaptureMaker maker, QWidget* parent)
    : QDialog(parent), maker_(std::move(maker)) {
  setObjectName("recordDialog");
  setWindowTitle("Record and decode");
  auto* form = new QFormLayout;

  device_ = new QComboBox(this);
  device_->setObjectName("device");
  device_->addItems(devices);
  const qsizetype listed = devices.indexOf(Text(initial.deviceName));
  device_->setCurrentIndex(listed >= 0 ? int(listed) : defaultDevice);
  form->addRow("&Input:", device_);

  volume_ = new QSlider(Qt::Horizontal, this);
  volume_->setObjectName("volume");
  volume_->setRange(0, 100);
  volume_->setValue(int(std::lround(std::clamp(initial.volume, 0.0, 1.0) * 100)));
  volumeText_ = new QLabel(this);
  volumeText_->setMinimumWidth(volumeText_->fontMetrics().horizontalAdvance("100 %") + 4);
  AddBuddyRow(form, "Input &level:", volume_, volumeText_);

  meter_ = new TLevelMeter(this);
  form->addRow("Signal:", meter_);

  satellite_ = new QComboBox(this);
  satellite_->setObjectName("satellite");
  satellite_->addItem("Not known", QString());
  for (int m = smNOAA12; m <= smNOAA19; ++m) {
    const QString name = SensorModelName(static_cast<TSensorModel>(m));
    satellite_->addItem(name, name);
  }
  satellite_->setCurrentIndex(std::max(0, satellite_->findData(Text(initial.satellite))));
  satellite_->setToolTip("Goes into the recording's name, from which the pass is identified");
  form->addRow("&Satellite:", satellite_);

  type_ = new QComboBox(this);
  type_->setObjectName("type");
  type_->addItem("Automatic (listens to the first 30 s)", -1);
  for (int t = 0; t < kDecodeTypeCount; ++t)
    type_->addItem(DecodeParameterNames[std::size_t(t)], t);
  type_->setCurrentIndex(std::max(0, type_->findData(initial.type ? int(*initial.type) : -1)));
  form->addRow("Decode &type:", type_);

  folder_ = new QLineEdit(Text(initial.folder), this);
  folder_->setObjectName("folder");
  auto* browse = new QPushButton("&Browse...", this);
  connect(browse, &QPushButton::clicked, this, &TRecordDialog::ChooseFolder);
  AddBuddyRow(form, "Keep the audio &in:", folder_, browse);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
  start_ = buttons->addButton("Start", QDialogButtonBox::AcceptRole);
  start_->setObjectName("start");
  start_->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  auto* note = new QLabel(
      "The picture grows on the Main Image tab; Esc or the Stop button ends the pass.", this);
  note->setWordWrap(true);
  layout->addWidget(note);
  layout->addWidget(buttons);
  resize(520, sizeHint().height());

  auto showVolume = [this](int v) {
    volumeText_->setText(QString("%1 %").arg(v));
    if (monitorDevice_) monitorDevice_->SetVolume(v / 100.0);
  };
  connect(volume_, &QSlider::valueChanged, this, showVolume);
  showVolume(volume_->value());
  auto canStart = [this] {
    start_->setEnabled(device_->currentIndex() >= 0 && !folder_->text().trimmed().isEmpty());
  };
  connect(folder_, &QLineEdit::textChanged, this, canStart);
  canStart();
  connect(device_, &QComboBox::currentIndexChanged, this, &TRecordDialog::Monitor);
  timer_.setInterval(kMeterMs);
  connect(&timer_, &QTimer::timeout, this, &TRecordDialog::Poll);
  Monitor(device_->currentIndex());
}

TRecordDialog::~TRecordDialog() {
  CloseMonitor();
}

TRecordChoice TRecordDialog::Choice() const {
  TRecordChoice c;
  c.device = device_->currentIndex();
  c.deviceName = device_->currentText().toStdString();
  c.volume = volume_->value() / 100.0;
  c.satellite = satellite_->currentData().toString().toStdString();
  const int type = type_->currentData().toInt();
  if (type >= 0) c.type = static_cast<TDecodeParameters>(type);
  c.folder = folder_->text().trimmed().toStdString();
  return c;
}

void TRecordDialog::Monitor(int index) {
  CloseMonitor();
  if (index < 0 || !maker_) {
    meter_->SetIdle("No input chosen");
    return;
  }
  std::unique_ptr<TCaptureDevice> device = maker_(index);
  monitorDevice_ = device.get();
  monitorDevice_->SetVolume(volume_->value() / 100.0);
  monitor_ = std::make_unique<TCaptureInput>(std::move(device), "monitor");
  try {
    monitor_->Start("");  // heard, not kept
  } catch (const EWaveInError& e) {
    CloseMonitor();
    meter_->SetIdle(QString("The input does not open: ") + e.what());
    return;
  }
  meter_->SetLevels(0, 0);
  timer_.start();
}

void TRecordDialog::CloseMonitor() {
  timer_.stop();
  monitorDevice_ = nullptr;
  if (!monitor_) return;
  try {
    monitor_->Close();
  } catch (const EWaveInError&) {
    // Nothing was kept.
  }
  monitor_.reset();
}

void TRecordDialog::Poll() {
  if (!monitor_) return;
  // What came since the last look is read only for its level.
  std::vector<std::int16_t> frames(2 * 4096);
  try {
    for (int i = 0; i < 16 && monitor_->Read(frames, std::chrono::milliseconds(0)) > 0; ++i) {
    }
  } catch (const EWaveInError& e) {
    CloseMonitor();
    meter_->SetIdle(e.what());
    return;
  }
  const TLiveInput::TLevels levels = monitor_->TakeLevels();
  meter_->SetLevels(levels.peak, levels.rms);
}

void TRecordDialog::ChooseFolder() {
  const QString folder =
      QFileDialog::getExistingDirectory(this, "Keep the audio in", folder_->text());
  if (!folder.isEmpty()) folder_->setText(folder);
}

void TRecordDialog::done(int result) {
  // The run opens the input itself: the meter lets go of it first.
  CloseMonitor();
  QDialog::done(result);
}

std::optional<TRecordStart> AskRecording(QWidget* parent, TRecordChoice& last,
                                         const QList<QAudioDevice>& inputs,
                                         const QAudioDevice& defaultInput,
                                         const std::string& defaultFolder) {
  if (inputs.isEmpty()) {
    UserMessages().Show(
        "No sound input device found.\n\nConnect the receiver to a sound input, or pipe its "
        "audio into the command line (Help > Command line).",
        "Vivurozed - record and decode");
    return std::nullopt;
  }
  QStringList names;
  int defaultIndex = 0;
  for (int i = 0; i < inputs.size(); ++i) {
    names << inputs[i].description();
    if (inputs[i].id() == defaultInput.id()) defaultIndex = i;
  }
  TRecordChoice initial = last;
  if (initial.folder.empty()) initial.folder = defaultFolder;
  TRecordDialog dialog(
      names, defaultIndex, initial,
      [inputs](int index) { return std::make_unique<TQtCaptureDevice>(inputs[index]); }, parent);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  last = dialog.Choice();
  return RecordStart(last, std::make_unique<TQtCaptureDevice>(inputs[last.device]));
}

std::optional<TRecordStart> RecordStart(const TRecordChoice& choice,
                                        std::unique_ptr<TCaptureDevice> device) {
  std::error_code ec;
  if (!std::filesystem::is_directory(choice.folder, ec) &&
      !std::filesystem::create_directories(choice.folder, ec)) {
    UserMessages().Show("Cannot make the folder " + choice.folder + ": " + ec.message(),
                        "Vivurozed - record and decode");
    return std::nullopt;
  }
  device->SetVolume(choice.volume);
  TRecordStart start;
  start.input =
      std::make_unique<TCaptureInput>(std::move(device), "sound card " + choice.deviceName);
  start.live.recordingFolder = choice.folder;
  start.live.satellite = choice.satellite;
  start.type = choice.type;
  for (int m = smNOAA12; m <= smNOAA19; ++m) {
    if (choice.satellite == SensorModelName(static_cast<TSensorModel>(m)))
      start.model = static_cast<TSensorModel>(m);
  }
  return start;
}

}  // namespace vivurozed
