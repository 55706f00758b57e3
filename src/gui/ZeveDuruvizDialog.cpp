#include "gui/ZeveDuruvizDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cctype>
#include <sstream>
#include <tuple>

#include "map/OverlayMaker.h"

namespace vivurozed {

namespace {

// A check list just tall enough for its items.
void FitHeight(QListWidget* list) {
  list->setMaximumHeight(list->sizeHintForRow(0) * list->count() + 2 * list->frameWidth() + 4);
}

constexpr const char* kDefaultDateFormat = "yyyy mmm dd";
constexpr int kPreviewElevation = 50;
constexpr double kMinute = 1.0 / 1440.0;

// The check lists' items in the order users know them, with their mask bits.
struct TItem {
  const char* text;
  int bit;
};
constexpr TItem kItems[] = {
    {"Name", tfName},           {"Date", tfDate},          {"\"at\"", tfAt},
    {"Pass time", tfPassTime},  {"UTC/local", tfUtc},      {"Direction", tfDirection},
    {"Elevation", tfElevation}, {"User text", tfUserText}, {"Location", tfLocation}};
constexpr const char* kMarkers[] = {" ", "+", "x", "X", "*", "o", "O"};

QString Text(const std::string& s) {
  return QString::fromStdString(s);
}

int LocalOffsetMinutes() {
  return QDateTime::currentDateTime().offsetFromUtc() / 60;
}

// A line edit with a button that picks a folder into it.
QWidget* FolderRow(QLineEdit* edit, QWidget* parent, QPushButton* extra = nullptr) {
  auto* row = new QWidget(parent);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(edit, 1);
  auto* browse = new QPushButton("...", row);
  browse->setToolTip("Choose the folder");
  browse->setMaximumWidth(browse->fontMetrics().horizontalAdvance("...") + 24);
  QObject::connect(browse, &QPushButton::clicked, row, [edit, row] {
    const QString folder = QFileDialog::getExistingDirectory(row, "Folder", edit->text());
    if (!folder.isEmpty()) edit->setText(folder);
  });
  layout->addWidget(browse);
  if (extra) layout->addWidget(extra);
  return row;
}

}  // namespace

std::string SystemShortDateFormat() {
  // Qt's codes to the overlay's: months as "mm"/"mmm", days and years as they are.
  const QString qt = QLocale().dateFormat(QLocale::ShortFormat);
  std::string out;
  for (qsizetype i = 0; i < qt.size();) {
    const QChar c = qt[i];
    qsizetype n = 1;
    while (i + n < qt.size() && qt[i + n] == c) ++n;
    if (c == 'M') {
      out += n >= 4 ? "mmmm" : n == 3 ? "mmm" : "mm";
    } else if (c == 'd') {
      if (n <= 2) out += "dd";  // weekday names have no code
    } else if (c == 'y') {
      out += n >= 3 ? "yyyy" : "yy";
    } else if (c == '\'') {
      // Quoted text is taken as it stands.
    } else {
      out += QString(n, c).toStdString();
    }
    i += n;
  }
  return out;
}

std::string WithoutKepsFolder(std::string path) {
  std::string lower = path;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const char* tail : {"\\keps\\", "/keps/"}) {
    const std::string t = tail;
    if (lower.size() >= t.size() && lower.compare(lower.size() - t.size(), t.size(), t) == 0) {
      path.erase(path.size() - t.size());
      break;
    }
  }
  return path;
}

TZeveDuruvizDialog::TZeveDuruvizDialog(TMainSettings& settings, const TZevuvidInfo& zevuvid,
                                       QWidget* parent)
    : QDialog(parent), settings_(settings), zevuvid_(zevuvid) {
  setObjectName("zeveDuruviz");
  setWindowTitle("ZeveDuruviz options");
  auto* tabs = new QTabWidget(this);
  tabs->addTab(TextPage(), "Text Elements");
  tabs->addTab(OrbitPage(), "Orbit Prediction");
  tabs->addTab(SatellitesPage(), "Active Satellites");
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs);
  layout->addWidget(buttons);
  UpdatePreview();
}

QWidget* TZeveDuruvizDialog::TextPage() {
  auto* page = new QWidget(this);
  auto* layout = new QVBoxLayout(page);
  const int masks[3] = {settings_.OvlTextLine1.Value(), settings_.OvlTextLine2.Value(),
                        settings_.OvlTextLine3.Value()};
  auto* lists = new QHBoxLayout;
  for (int line = 0; line < 3; ++line) {
    auto* box = new QGroupBox(QString("Line %1").arg(line + 1), page);
    auto* list = new QListWidget(box);
    list->setObjectName(QString("textLine%1").arg(line + 1));
    for (const TItem& item : kItems) {
      auto* entry = new QListWidgetItem(item.text, list);
      entry->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
      // "UTC/local" stands for either suffix.
      const int bits = item.bit == tfUtc ? tfUtc | tfLocal : item.bit;
      entry->setCheckState((masks[line] & bits) ? Qt::Checked : Qt::Unchecked);
    }
    FitHeight(list);
    connect(list, &QListWidget::itemChanged, this, &TZeveDuruvizDialog::UpdatePreview);
    auto* boxLayout = new QVBoxLayout(box);
    boxLayout->addWidget(list);
    lists->addWidget(box);
    lines_[std::size_t(line)] = list;
  }
  layout->addLayout(lists);
  if (zevuvid_.textLines[0] || zevuvid_.textLines[1] || zevuvid_.textLines[2])
    layout->addWidget(new QLabel("Zevuvid's own caption choices take the place of these.", page));

  auto* form = new QFormLayout;
  userText_ = new QLineEdit(Text(settings_.OverlayUserText.Value()), page);
  userText_->setObjectName("userText");
  form->addRow("User text:", userText_);
  spacing_ = new QSpinBox(page);
  spacing_->setObjectName("fieldSpacing");
  spacing_->setRange(2, 25);
  spacing_->setValue(std::clamp(settings_.OverlayFieldSpacing.Value(), 2, 25));
  spacing_->setMaximumWidth(80);
  form->addRow("Field spacing:", spacing_);
  layout->addLayout(form);
  const int any = masks[0] | masks[1] | masks[2];
  localTime_ = new QCheckBox("Local time", page);
  localTime_->setObjectName("localTime");
  localTime_->setChecked(any & tfLocal);
  localTime_->setToolTip("Times in local time; they then always carry their offset from UTC");
  systemDate_ = new QCheckBox("Windows date format", page);
  systemDate_->setObjectName("systemDateFormat");
  systemDate_->setToolTip("The date as the desktop's short date format writes it");
  systemDate_->setChecked(settings_.OverlayDateFmt.Value() != kDefaultDateFormat);
  midPass_ = new QCheckBox("Show mid-pass time", page);
  midPass_->setObjectName("midPassTime");
  midPass_->setChecked(any & tfMidPass);
  auto* boxes = new QHBoxLayout;
  for (QCheckBox* b : {localTime_, systemDate_, midPass_}) {
    boxes->addWidget(b);
    connect(b, &QCheckBox::toggled, this, &TZeveDuruvizDialog::UpdatePreview);
  }
  boxes->addStretch();
  layout->addLayout(boxes);
  connect(userText_, &QLineEdit::textChanged, this, &TZeveDuruvizDialog::UpdatePreview);
  connect(spacing_, &QSpinBox::valueChanged, this, &TZeveDuruvizDialog::UpdatePreview);

  auto* sample = new QGroupBox("Preview", page);
  auto* sampleLayout = new QVBoxLayout(sample);
  for (int line = 0; line < 3; ++line) {
    auto* label = new QLabel(sample);
    label->setObjectName(QString("preview%1").arg(line + 1));
    label->setTextFormat(Qt::PlainText);
    label->setFont(QFont("Arial", 10, QFont::Bold));
    sampleLayout->addWidget(label);
    preview_[std::size_t(line)] = label;
  }
  layout->addWidget(sample);
  return page;
}

QWidget* TZeveDuruvizDialog::OrbitPage() {
  auto* page = new QWidget(this);
  auto* form = new QFormLayout(page);
  currentKeps_ = new QLineEdit(Text(settings_.KepsCurrPath.Value()), page);
  currentKeps_->setObjectName("currentKeps");
  currentKeps_->setToolTip("Folder of the current two-line element files");
  auto* autoPath = new QPushButton("Auto", page);
  autoPath->setObjectName("autoKeps");
  autoPath->setToolTip("The folder Zevuvid keeps its elements in");
  connect(autoPath, &QPushButton::clicked, this,
          [this] { currentKeps_->setText(Text(zevuvid_.twoLineDataPath)); });
  form->addRow("Current Keplers path:", FolderRow(currentKeps_, page, autoPath));
  fullKeps_ = new QLineEdit(Text(settings_.KepsFullPath.Value()), page);
  fullKeps_->setObjectName("fullKeps");
  fullKeps_->setToolTip("Folder of older element files, for old recordings");
  form->addRow("Full Keplers path:", FolderRow(fullKeps_, page));

  auto degrees = [page](const char* name, int value) {
    auto* box = new QSpinBox(page);
    box->setObjectName(name);
    box->setRange(0, 15);
    box->setSuffix("°");
    box->setValue(std::clamp(value, 0, 15));
    box->setMaximumWidth(80);
    return box;
  };
  aosNorth_ = degrees("aosNorth", settings_.AOSdegreesN.Value());
  aosSouth_ = degrees("aosSouth", settings_.AOSdegreesS.Value());
  form->addRow("AOS elevation, northbound:", aosNorth_);
  form->addRow("AOS elevation, southbound:", aosSouth_);

  QString location = "not set in Zevuvid: 55.9° N, 3.2° W is used";
  if (!zevuvid_.longitude.empty())
    location = QString("%1  (%2, %3)")
                   .arg(Text(zevuvid_.location), Text(zevuvid_.latitude), Text(zevuvid_.longitude));
  auto* home = new QLabel(location, page);
  home->setObjectName("location");
  form->addRow("Location (from Zevuvid):", home);
  marker_ = new QComboBox(page);
  marker_->setObjectName("marker");
  for (const char* m : kMarkers) marker_->addItem(m);
  const std::string& symbol = settings_.HomeSymbol.Value();
  marker_->setCurrentText(Text(symbol.empty() ? " " : symbol.substr(0, 1)));
  form->addRow("Home marker:", marker_);
  caption_ = new QLineEdit(Text(settings_.HomeCaption.Value()), page);
  caption_->setObjectName("homeCaption");
  captionAuto_ = new QCheckBox("Auto", page);
  captionAuto_->setObjectName("homeCaptionAuto");
  captionAuto_->setToolTip("Zevuvid's location name, when it has one");
  captionAuto_->setChecked(settings_.HomeCaptionAuto.Value());
  auto* captionRow = new QHBoxLayout;
  captionRow->addWidget(caption_, 1);
  captionRow->addWidget(captionAuto_);
  form->addRow("Home caption:", captionRow);
  localNames_ = new QCheckBox("Recording names give local time", page);
  localNames_->setObjectName("localNames");
  localNames_->setChecked(settings_.TimezoneNaming.Value());
  form->addRow(localNames_);
  return page;
}

QWidget* TZeveDuruvizDialog::SatellitesPage() {
  auto* page = new QWidget(this);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(new QLabel("Satellites a recording without a name may be of:", page));
  satellites_ = new QListWidget(page);
  satellites_->setObjectName("activeSatellites");
  satellites_->setSortingEnabled(true);
  std::vector<std::string> active;
  {
    std::stringstream in(settings_.ActiveSats.Value());
    for (std::string name; std::getline(in, name, ',');) active.push_back(name);
  }
  for (const std::string& name : NoaaSatelliteNames()) {
    auto* item = new QListWidgetItem(Text(name), satellites_);
    item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled);
    const bool on = std::find(active.begin(), active.end(), name) != active.end();
    item->setCheckState(on ? Qt::Checked : Qt::Unchecked);
  }
  FitHeight(satellites_);
  layout->addWidget(satellites_);
  confirmPass_ = new QCheckBox("Confirm Pass", page);
  confirmPass_->setObjectName("confirmPass");
  confirmPass_->setToolTip("Show the predicted pass for confirmation before the overlay is made");
  confirmPass_->setChecked(settings_.ConfirmPass.Value());
  enable_ = new QCheckBox("Enable ZeveDuruviz", page);
  enable_->setObjectName("enableZeveDuruviz");
  enable_->setToolTip("Make the map overlay for every NOAA recording");
  enable_->setChecked(settings_.ZeveDuruviz.Value());
  layout->addWidget(confirmPass_);
  layout->addWidget(enable_);
  layout->addStretch();
  return page;
}

int TZeveDuruvizDialog::Mask(int line) const {
  const QListWidget* list = lines_[std::size_t(line)];
  int mask = 0;
  bool suffix = false;
  for (int i = 0; i < list->count(); ++i) {
    if (list->item(i)->checkState() != Qt::Checked) continue;
    if (kItems[i].bit == tfUtc) {
      suffix = true;
    } else {
      mask |= kItems[i].bit;
    }
  }
  const bool local = localTime_->isChecked();
  // Local times keep their offset wherever they are written.
  if (local && (suffix || (mask & tfPassTime))) mask |= tfLocal;
  if (!local && suffix) mask |= tfUtc;
  if (midPass_->isChecked() && (mask & tfPassTime)) mask |= tfMidPass;
  return mask;
}

std::string TZeveDuruvizDialog::DateFormat() const {
  return systemDate_->isChecked() ? SystemShortDateFormat() : kDefaultDateFormat;
}

void TZeveDuruvizDialog::SetPreviewTime(TDateTime utc) {
  previewTime_ = utc;
  UpdatePreview();
}

QStringList TZeveDuruvizDialog::Preview() const {
  const int zone = LocalOffsetMinutes();
  TDateTime aos = previewTime_ != 0 ? previewTime_ : UtcNow();
  if (localTime_->isChecked()) aos += zone * kMinute;
  const TDateTime los = aos + 15 * kMinute, mid = (aos + los) / 2;
  QStringList lines;
  for (int line = 0; line < 3; ++line)
    lines << Text(ComposeTextLine(Mask(line), "NOAA 15", zone, spacing_->value(),
                                  userText_->text().toStdString(), zevuvid_.location,
                                  kPreviewElevation, true, DateFormat(), aos, mid, los));
  return lines;
}

void TZeveDuruvizDialog::UpdatePreview() {
  // Built piece by piece: the first changes come before every page exists.
  if (!preview_[2] || !satellites_) return;
  const QStringList lines = Preview();
  for (int i = 0; i < 3; ++i) preview_[std::size_t(i)]->setText(lines[i]);
}

bool TZeveDuruvizDialog::Store() {
  TMainSettings& s = settings_;
  auto prediction = [&s] {
    return std::make_tuple(s.KepsCurrPath.Value(), s.KepsFullPath.Value(), s.ActiveSats.Value(),
                           s.AOSdegreesN.Value(), s.AOSdegreesS.Value(), s.HomeSymbol.Value(),
                           s.HomeCaption.Value(), s.HomeCaptionAuto.Value(),
                           s.TimezoneNaming.Value(), s.ZeveDuruviz.Value());
  };
  const auto before = prediction();
  s.OvlTextLine1.SetValue(Mask(0));
  s.OvlTextLine2.SetValue(Mask(1));
  s.OvlTextLine3.SetValue(Mask(2));
  s.OverlayUserText.SetValue(userText_->text().toStdString());
  s.OverlayFieldSpacing.SetValue(spacing_->value());
  s.OverlayDateFmt.SetValue(DateFormat());
  s.KepsCurrPath.SetValue(currentKeps_->text().trimmed().toStdString());
  s.KepsFullPath.SetValue(WithoutKepsFolder(fullKeps_->text().trimmed().toStdString()));
  s.AOSdegreesN.SetValue(aosNorth_->value());
  s.AOSdegreesS.SetValue(aosSouth_->value());
  s.HomeSymbol.SetValue(marker_->currentText().toStdString());
  s.HomeCaption.SetValue(caption_->text().toStdString());
  s.HomeCaptionAuto.SetValue(captionAuto_->isChecked());
  s.TimezoneNaming.SetValue(localNames_->isChecked());
  std::string active;
  for (int i = 0; i < satellites_->count(); ++i) {
    const QListWidgetItem* item = satellites_->item(i);
    if (item->checkState() != Qt::Checked) continue;
    active += (active.empty() ? "" : ",") + item->text().toStdString();
  }
  s.ActiveSats.SetValue(active);
  s.ConfirmPass.SetValue(confirmPass_->isChecked());
  s.ZeveDuruviz.SetValue(enable_->isChecked());
  return prediction() != before;
}

}  // namespace vivurozed
