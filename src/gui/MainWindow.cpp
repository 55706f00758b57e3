#include "gui/MainWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QShortcut>
#include <QStatusBar>
#include <QToolBar>
#include <QUrl>

#include <algorithm>
#include <filesystem>
#include <map>

#include "gui/AboutBox.h"
#include "gui/ColourMapWindow.h"
#include "gui/DiagnosticsView.h"
#include "gui/MessageBoxes.h"
#include "gui/PictureView.h"
#include "gui/SettingsMenus.h"

// The window's icon is among the library's resources.
static void InitGuiResources() {
  Q_INIT_RESOURCE(gui);
}

namespace vivurozed {

namespace {

namespace fs = std::filesystem;

const char* const kTabNames[] = {"Main Image", "Channel A", "Channel B", "False colour"};
const char* const kSensorNames[] = {"NOAA 12", "NOAA 14", "NOAA 15",
                                    "NOAA 16", "NOAA 17", "NOAA14 - Quorum"};
constexpr int kQuorumChoice = 5;
constexpr int kGammaDelayMs = 800;
constexpr int kRecentFiles = 10;

std::string Utf8(const QString& s) {
  return s.toStdString();
}

QString Text(const std::string& s) {
  return QString::fromStdString(s);
}

std::string LowerExtension(const std::string& name) {
  std::string ext = fs::path(name).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext;
}

std::string UpperExtension(const std::string& name) {
  std::string ext = fs::path(name).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return ext;
}

// The files of the folders by their run-history names (blanks as "_"); the
// first folder that holds a name wins.
std::map<std::string, fs::path> FilesByHistoryName(const std::vector<fs::path>& folders) {
  std::map<std::string, fs::path> files;
  std::error_code ec;
  for (const fs::path& folder : folders) {
    if (folder.empty()) continue;
    for (const auto& e : fs::directory_iterator(folder, ec)) {
      std::string name = e.path().filename().string();
      std::replace(name.begin(), name.end(), ' ', '_');
      if (e.is_regular_file(ec)) files.emplace(name, e.path());
    }
  }
  return files;
}

// A menu entry for a command.
template <class C, class F>
QAction* Command(QMenu* menu, const QString& text, C* context, F f,
                 const QKeySequence& shortcut = {}) {
  QAction* action = menu->addAction(text);
  if (!shortcut.isEmpty()) action->setShortcut(shortcut);
  QObject::connect(action, &QAction::triggered, context, f);
  return action;
}

}  // namespace

TMainWindow::TMainWindow(std::shared_ptr<TSettingsStore> store, QWidget* parent)
    : QMainWindow(parent),
      store_(store),
      messages_(std::make_unique<TMessageBoxes>(this)),
      previousMessages_(SetUserMessages(messages_.get())),
      host_(std::make_unique<TWindowRunHost>()),
      run_(std::make_unique<TProcessingRun>(*host_, store)),
      settings_(run_->Settings()) {
  InitGuiResources();
  setObjectName("mainWindow");
  host_->SetRun(run_.get());
  metric_ = QLocale().measurementSystem() == QLocale::MetricSystem;
  gamma_ = settings_.Gamma();
  settings_.LimitColourMapIndex(static_cast<int>(run_->ColourMaps().size()));
  const TRunOptions& o = run_->Options();
  southBound_ = o.southBound;
  illumination_ = o.illumination;

  BuildControls();
  BuildActions();
  BuildStatusBar();
  ConnectHost();
  RefreshControls();
  setAcceptDrops(true);
  setWindowTitle(caption_);
  setWindowIcon(QIcon(":/vivurozed.svg"));
  resize(1100, 720);

  gammaTimer_.setSingleShot(true);
  gammaTimer_.setInterval(kGammaDelayMs);
  connect(&gammaTimer_, &QTimer::timeout, this, &TMainWindow::DisplayOptionChanged);
  auto* esc = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(esc, &QShortcut::activated, this, &TMainWindow::StopRun);
}

TMainWindow::~TMainWindow() {
  // The worker may be waiting for an answer or still streaming: it is
  // answered, stopped and joined before the run it works on goes.
  messages_->Close();
  host_.reset();
  run_.reset();
  if (&UserMessages() == messages_.get()) SetUserMessages(previousMessages_);
  while (busyCursors_ > 0) {
    QApplication::restoreOverrideCursor();
    --busyCursors_;
  }
}

// ---------------------------------------------------------------- layout

void TMainWindow::BuildControls() {
  auto* bar = new QToolBar("Controls", this);
  bar->setObjectName("controls");
  bar->setMovable(false);
  addToolBar(Qt::TopToolBarArea, bar);

  openButton_ = new QPushButton("Open...", bar);
  openButton_->setObjectName("openButton");
  openButton_->setMinimumWidth(openButton_->fontMetrics().horizontalAdvance("Esc stops") + 32);
  connect(openButton_, &QPushButton::clicked, this, &TMainWindow::OpenCommand);
  bar->addWidget(openButton_);

  processButton_ = new QPushButton("Process", bar);
  processButton_->setObjectName("processButton");
  processButton_->setToolTip("Apply the picture options to the decoded picture");
  connect(processButton_, &QPushButton::clicked, this, &TMainWindow::ProcessCommand);
  // Hidden and shown through its action, as a toolbar hides its widgets.
  processAction_ = bar->addWidget(processButton_);
  bar->addSeparator();

  bar->addWidget(new QLabel(" Gamma ", bar));
  gammaBox_ = new QDoubleSpinBox(bar);
  gammaBox_->setObjectName("gamma");
  gammaBox_->setRange(1.0, 3.5);
  gammaBox_->setSingleStep(0.1);
  gammaBox_->setDecimals(1);
  gammaBox_->setToolTip("Gamma of the picture; applied 0.8 s after the last step");
  connect(gammaBox_, &QDoubleSpinBox::valueChanged, this, &TMainWindow::GammaStepped);
  bar->addWidget(gammaBox_);
  bar->addSeparator();

  bar->addWidget(new QLabel(" Sensor ", bar));
  sensorBox_ = new QComboBox(bar);
  sensorBox_->setObjectName("sensor");
  for (const char* name : kSensorNames) sensorBox_->addItem(name);
  sensorBox_->setToolTip("NOAA satellite whose calibration applies");
  connect(sensorBox_, &QComboBox::activated, this,
          [this](int index) { SetSensorChoice(index, true); });
  bar->addWidget(sensorBox_);

  tabs_ = new QTabWidget(this);
  tabs_->setObjectName("tabs");
  tabs_->setDocumentMode(true);
  for (const char* name : kTabNames) {
    auto* view = new TPictureView(tabs_);
    view->setObjectName(name);
    tabs_->addTab(view, name);
    views_.push_back(view);
    connect(view, &TPictureView::CursorMoved, this,
            [this, view](QPoint p) { CursorMoved(view, p); });
    connect(view, &TPictureView::CursorLeft, this, [this] {
      lineLabel_->clear();
      valueLabel_->clear();
    });
    connect(view, &TPictureView::Measuring, this,
            [this, view](QPoint a, QPoint b) { Measuring(view, a, b); });
    connect(view, &TPictureView::MeasureEnded, this, [this] { positionLabel_->clear(); });
  }
  views_[0]->SetPlaceholder(
      "Open a recording or a saved picture (Ctrl+O), or drop one here.\n\n"
      "Ctrl+wheel, + and - zoom; F fits the picture, 1 shows it pixel for pixel.");
  for (int i = 1; i < tabs_->count(); ++i) tabs_->setTabVisible(i, false);
  connect(tabs_, &QTabWidget::currentChanged, this, &TMainWindow::ClearReadouts);
  setCentralWidget(tabs_);
}

void TMainWindow::BuildStatusBar() {
  auto make = [this](const char* name, int chars) {
    auto* label = new QLabel(this);
    label->setObjectName(name);
    label->setMinimumWidth(label->fontMetrics().averageCharWidth() * chars);
    statusBar()->addPermanentWidget(label);
    return label;
  };
  positionLabel_ = make("position", 22);
  lineLabel_ = make("line", 22);
  valueLabel_ = make("value", 12);
  progress_ = new QProgressBar(this);
  progress_->setObjectName("progress");
  progress_->setRange(0, 100);
  progress_->setMaximumWidth(260);
  progress_->setVisible(false);
  statusBar()->addPermanentWidget(progress_);
}

void TMainWindow::BuildActions() {
  menus_ = std::make_unique<TSettingsMenus>(
      [this](TSettingsMenus::TEffect effect, const std::string& name) {
        OptionChanged(effect, name);
      });
  BuildFileMenu();
  BuildOptionsMenu();
  BuildViewAndHelpMenus();
}

void TMainWindow::BuildFileMenu() {
  using M = TSettingsMenus;
  fileMenu_ = menuBar()->addMenu("&File");
  Command(fileMenu_, "&Open...", this, &TMainWindow::OpenCommand, QKeySequence::Open);
  recentMenu_ = fileMenu_->addMenu("Recent &files");
  recentMenu_->setObjectName("recentFiles");
  connect(fileMenu_, &QMenu::aboutToShow, this, &TMainWindow::UpdateRecentFiles);
  reprocessAction_ = Command(fileMenu_, "&Reprocess file", this, &TMainWindow::ReprocessCommand,
                             QKeySequence(Qt::Key_F5));
  reprocessAction_->setStatusTip("Read the current recording again with the present options");
  fileMenu_->addSeparator();
  saveAction_ = Command(
      fileMenu_, "&Save", this, [this] { Save(); }, QKeySequence::Save);
  saveAsAction_ =
      Command(fileMenu_, "Save &as...", this, &TMainWindow::SaveAs, QKeySequence::SaveAs);
  saveColourAction_ =
      Command(fileMenu_, "Save false &colour as...", this, &TMainWindow::SaveColourAs);
  fileMenu_->addSeparator();
  menus_->Radio(fileMenu_->addMenu("Picture &format"), settings_.OutputFormat,
                {{"BMP", 0}, {"JPEG", 1}, {"PNG", 2}}, M::efNone);
  menus_->Radio(fileMenu_->addMenu("&NOAA channel pictures"), settings_.NoaaJpegOutput,
                {{"None", -1}, {"BMP", 0}, {"JPEG", 1}, {"JPEG, high quality", 2}}, M::efNone);
  menus_->Check(fileMenu_, "Crop NOAA &borders when saving", settings_.NoaaCropBorders, M::efNone);
  menus_->Check(fileMenu_, "Save NOAA &telemetry (telem.dat)", settings_.NoaaSaveStats, M::efNone);
  QMenu* folder = fileMenu_->addMenu("Picture f&older");
  besideRecordingAction_ = folder->addAction("Beside the recording");
  besideRecordingAction_->setCheckable(true);
  connect(besideRecordingAction_, &QAction::triggered, this, [this] {
    settings_.ImageFolder.SetValue("");
    RefreshControls();
  });
  Command(folder, "Choose folder...", this, &TMainWindow::ChooseImageFolder);
  fileMenu_->addSeparator();
  Command(fileMenu_, "E&xit", this, &QWidget::close, QKeySequence::Quit);
}

void TMainWindow::BuildOptionsMenu() {
  using M = TSettingsMenus;
  optionsMenu_ = menuBar()->addMenu("&Options");
  TMainSettings& s = settings_;

  QMenu* picture = optionsMenu_->addMenu("&Picture");
  menus_->Check(picture, "Auto &black level", s.AutoBlack, M::efDisplay);
  menus_->Check(picture, "&Crop noisy lines", s.CropNoise, M::efDisplay);
  menus_->Check(picture, "&Equalise histogram", s.EqualiseHistogram, M::efDisplay);
  menus_->Check(picture, "&Large image", s.LargeImage, M::efDisplay);
  menus_->Radio(picture->addMenu("&Sharpen"), s.Sharpen,
                {{"None", 0}, {"Sharpen", 1}, {"Sharpen more", 2}}, M::efDisplayWhenChanged);
  menus_->Radio(picture->addMenu("&Gamma"), s.GammaCorrect,
                {{"None (1.0)", 0},
                 {"Weak (1.3)", 1},
                 {"Medium (1.7)", 2},
                 {"Strong (2.2)", 3},
                 {"Very strong (2.8)", 4}},
                M::efDisplay, {}, [this] {
                  gamma_ = settings_.Gamma();
                  gammaTimer_.stop();
                  RefreshControls();
                });

  QMenu* noaa = optionsMenu_->addMenu("&NOAA");
  QMenu* sensor = noaa->addMenu("&Sensor");
  auto* sensorGroup = new QActionGroup(sensor);
  for (int i = 0; i < 6; ++i) {
    QAction* a = sensor->addAction(kSensorNames[i]);
    a->setObjectName(
        QString("SatelliteModel=%1").arg(i == kQuorumChoice ? "quorum" : QString::number(i + 1)));
    a->setCheckable(true);
    sensorGroup->addAction(a);
    sensorActions_.push_back(a);
    connect(a, &QAction::triggered, this, [this, i] { SetSensorChoice(i, false); });
  }
  QMenu* colour = noaa->addMenu("&Colour model");
  TSettingsMenus::TChoices maps;
  for (std::size_t i = 0; i < run_->ColourMaps().size(); ++i) {
    maps.emplace_back(Text(run_->ColourMaps()[i]->Name()), static_cast<int>(i));
  }
  menus_->Radio(colour, s.NoaaColourMapIndex, maps, M::efDisplay, {}, [this] {
    if (colourMap_ && colourMap_->isVisible()) ShowColourMap();
  });
  Command(noaa, "Show colour &map...", this, &TMainWindow::ShowColourMap);
  menus_->Check(noaa, "&Green vegetation", s.GreenVeg, M::efDisplay);
  menus_->Check(noaa, "&Luminance from IR", s.NoaaLumChanB, M::efDisplay);
  QMenu* illumination = noaa->addMenu("&Illumination");
  auto* illuminationGroup = new QActionGroup(illumination);
  for (int i = 0; i < 3; ++i) {
    static const char* const names[] = {"None", "Slight", "More"};
    QAction* a = illumination->addAction(names[i]);
    a->setObjectName(QString("Illumination=%1").arg(i));
    a->setCheckable(true);
    illuminationGroup->addAction(a);
    illuminationActions_.push_back(a);
    connect(a, &QAction::triggered, this, [this, i] {
      const bool changed = illumination_ != i;
      illumination_ = i;
      if (changed) DisplayOptionChanged();
    });
  }
  QMenu* direction = noaa->addMenu("Pass &direction");
  auto* directionGroup = new QActionGroup(direction);
  for (int south = 0; south < 2; ++south) {
    QAction* a = direction->addAction(south ? "South-bound" : "North-bound");
    a->setObjectName(south ? "Direction=S" : "Direction=N");
    a->setCheckable(true);
    directionGroup->addAction(a);
    directionActions_.push_back(a);
    connect(a, &QAction::triggered, this, [this, south] {
      southBound_ = south != 0;
      DisplayOptionChanged();
    });
  }

  QMenu* input = optionsMenu_->addMenu("&Input");
  menus_->Radio(input->addMenu("Input &filter"), s.InputFilter,
                {{"Narrow", 1}, {"Normal", 0}, {"Wide", 2}}, M::efReload, "input filter");
  QMenu* rate = input->addMenu("&Sampling rate");
  TSettingsMenus::TChoices rates;
  for (int r = 10990; r <= 11060; r += 5) rates.emplace_back(QString("%1 Hz").arg(r), r);
  menus_->Radio(rate, s.SampleRate, rates, M::efReload, "sampling rate",
                [this] { RefreshControls(); });
  rate->addSeparator();
  otherRateAction_ = Command(rate, "Other...", this, &TMainWindow::ChooseSampleRate);
  otherRateAction_->setObjectName("SampleRate=other");
  otherRateAction_->setCheckable(true);
  menus_->Check(input, "&Tape input", s.TapeInput, M::efReload, "tape source");
  menus_->Check(input, "Attempt &re-sync", s.ReSync, M::efReload, "attempt re-sync value");
  menus_->Check(input, "&Despeckle", s.Despeckle, M::efReload, "despeckle value");
  menus_->Radio(input->addMenu("&Geostationary"), s.Geostationary,
                {{"None", 0}, {"GMS", 1}, {"GOES", 2}, {"Meteosat", 3}}, M::efReload,
                "forced geostationary setting");

  optionsMenu_->addSeparator();
  menus_->Check(optionsMenu_, "&Auto update", s.AutoUpdate, M::efNone, {},
                [this] { RefreshControls(); });
  menus_->Check(optionsMenu_, "Low &priority while decoding", s.LowPriority, M::efNone);
  optionsMenu_->addSeparator();
  Command(optionsMenu_, "View &Diagnostics...", this, &TMainWindow::ShowDiagnostics)
      ->setObjectName("viewDiagnostics");
}

void TMainWindow::BuildViewAndHelpMenus() {
  QMenu* view = menuBar()->addMenu("&View");
  auto onView = [this](void (TPictureView::*zoom)()) {
    return [this, zoom] {
      if (TPictureView* v = CurrentView()) (v->*zoom)();
    };
  };
  Command(view, "Zoom &in", this, onView(&TPictureView::ZoomIn), QKeySequence::ZoomIn);
  Command(view, "Zoom &out", this, onView(&TPictureView::ZoomOut), QKeySequence::ZoomOut);
  Command(view, "&Actual size", this, onView(&TPictureView::ZoomActual),
          QKeySequence(Qt::CTRL | Qt::Key_0));
  Command(view, "&Fit to window", this, onView(&TPictureView::ZoomToFit),
          QKeySequence(Qt::CTRL | Qt::Key_9));

  QMenu* help = menuBar()->addMenu("&Help");
  Command(help, "&Command line...", this, [this] {
    QMessageBox box(QMessageBox::NoIcon, "Vivurozed - command line", CommandLineUsage(),
                    QMessageBox::Close, this);
    box.setTextFormat(Qt::PlainText);
    box.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    box.exec();
  });
  Command(help, "&About Vivurozed...", this, [this] { ShowAboutBox(this); });
  Command(help, "About &Qt...", qApp, &QApplication::aboutQt);
}

void TMainWindow::ConnectHost() {
  TWindowRunHost* h = host_.get();
  connect(h, &TWindowRunHost::ProgressBegan, this, [this](const QString& text) {
    progress_->setFormat(text + "  %p%");
    progress_->setValue(0);
    progress_->setVisible(true);
  });
  connect(h, &TWindowRunHost::Progressed, this, [this](const QString& text, int percent) {
    progress_->setFormat(text + "  %p%");
    progress_->setValue(std::clamp(percent, 0, 100));
    progress_->setVisible(true);
    SetTitle(percent);
  });
  connect(h, &TWindowRunHost::ProgressEnded, this, [this] {
    progress_->setVisible(false);
    SetTitle(-1);
  });
  connect(h, &TWindowRunHost::StatusChanged, this, [this](const QString& text) {
    if (text.isEmpty()) {
      statusBar()->clearMessage();
    } else {
      statusBar()->showMessage(text);
    }
  });
  connect(h, &TWindowRunHost::CaptionChanged, this, [this](const QString& caption) {
    caption_ = caption;
    SetTitle(-1);
  });
  connect(h, &TWindowRunHost::BusyChanged, this, [this](bool busy) {
    // The command line's "K" keeps the normal cursor.
    if (batch_ && keepWindow_) return;
    if (busy) {
      QApplication::setOverrideCursor(Qt::BusyCursor);
      ++busyCursors_;
    } else if (busyCursors_ > 0) {
      QApplication::restoreOverrideCursor();
      --busyCursors_;
    }
  });
  connect(h, &TWindowRunHost::PicturesShown, this, &TMainWindow::ShowPictures);
  connect(h, &TWindowRunHost::JobFinished, this, &TMainWindow::JobFinished);
  connect(h, &TWindowRunHost::LogLine, this, [this](const QString& line) {
    if (diagnostics_) diagnostics_->AddLine(line);
  });
  run_->Log().SetListener([h](const std::string& line) { emit h->LogLine(Text(line)); });
}

// ---------------------------------------------------------------- commands

void TMainWindow::OpenCommand() {
  if (Running()) {
    StopRun();
    return;
  }
  OfferSaveBeforeOpen();
  // The filter of the last file's kind comes first.
  const QStringList filters = {"Wave files (*.wav)", "MAXISAT files (*.max)",
                               "Bitmap images (*.bmp *.jpg *.png)", "Timestep (*.noa)",
                               "All files (*)"};
  const std::string& last = settings_.LastExtension.Value();
  const std::size_t dot = last.find('.');
  const char kind = dot != std::string::npos && dot + 1 < last.size()
                        ? static_cast<char>(std::toupper(static_cast<unsigned char>(last[dot + 1])))
                        : 'W';
  int preselected = 0;
  if (kind == 'B' || kind == 'J' || kind == 'P') preselected = 2;
  if (kind == 'M') preselected = 1;
  if (kind == 'N') preselected = 3;
  QString selected = filters[preselected];
  const QString name = QFileDialog::getOpenFileName(
      this, "Open", Text(settings_.SourceFolder.Value()), filters.join(";;"), &selected);
  if (name.isEmpty()) return;
  const fs::path path(Utf8(name));
  settings_.LastExtension.SetValue("*" + path.extension().string());
  settings_.SourceFolder.SetValue(path.parent_path().string());
  RestoreFromHistory(path.string());
  OpenFile(name);
}

void TMainWindow::OpenFile(const QString& fileName) {
  if (Running()) {
    StopRun();
    return;
  }
  StartDispatch(Utf8(fileName));
}

void TMainWindow::StopRun() {
  if (!Running()) return;
  // The flag reaches the run through its progress; the source's own flag
  // ends a stream that is already going after its current block.
  host_->RequestStop();
  run_->Stop();
}

void TMainWindow::ReprocessCommand() {
  if (Running()) {
    StopRun();
    return;
  }
  if (!run_->FileName().empty()) StartDispatch(run_->FileName());
}

void TMainWindow::ProcessCommand() {
  if (Running() || !StartReprocess()) return;
  // Hidden while it works; shown again when the job is done.
  processing_ = true;
  RefreshControls();
}

void TMainWindow::OfferSaveBeforeOpen() {
  if (!run_->PicturesChanged()) return;
  if (UserMessages().AskYesNo("The image data has changed.  Do you want to save it?",
                              "Unsaved image?", maYes) == maYes) {
    Save();
  }
  run_->ClearPicturesChanged();
}

void TMainWindow::RestoreFromHistory(const std::string& fileName) {
  TRunHistory::TEntry entry;
  if (!run_->History().Find(fs::path(fileName).filename().string(), entry)) return;
  southBound_ = entry.southBound;
  if (entry.noaa && entry.model != smUnknown) {
    settings_.SatelliteModel.SetValue(entry.model);
    quorum_ = false;
  }
  RefreshControls();
}

void TMainWindow::UpdateRecentFiles() {
  recentMenu_->clear();
  if (Running()) {
    recentMenu_->setEnabled(false);
    return;
  }
  // The run history keeps file names only; those found in the folder files
  // were last opened from, or in the current file's, are offered, newest
  // first.
  std::vector<fs::path> folders{fs::path(settings_.SourceFolder.Value())};
  if (!run_->FileName().empty()) folders.push_back(fs::path(run_->FileName()).parent_path());
  const std::map<std::string, fs::path> files = FilesByHistoryName(folders);
  const auto& entries = run_->History().Entries();
  int shown = 0;
  for (auto it = entries.rbegin(); it != entries.rend() && shown < kRecentFiles; ++it) {
    const std::size_t blank = it->find(' ');
    const auto found = files.find(it->substr(0, blank));
    if (found == files.end()) continue;
    const fs::path& file = found->second;
    // "N NOAA15" reads "north-bound, NOAA15".
    QString detail = blank == std::string::npos ? QString() : Text(it->substr(blank + 1));
    if (detail.startsWith("N ")) detail.replace(0, 2, "north-bound, ");
    if (detail.startsWith("S ")) detail.replace(0, 2, "south-bound, ");
    QAction* a = recentMenu_->addAction(
        QString("&%1  %2   (%3)").arg(++shown).arg(Text(file.filename().string()), detail));
    const QString path = Text(file.string());
    connect(a, &QAction::triggered, this, [this, path] {
      OfferSaveBeforeOpen();
      RestoreFromHistory(Utf8(path));
      OpenFile(path);
    });
  }
  recentMenu_->setEnabled(shown > 0);
}

bool TMainWindow::Save() {
  if (Running() || IsEmpty(run_->Pictures().main)) return false;
  // Format choices made since the run count.
  const TRunOptions fresh = OptionsFromSettings(settings_, run_->Options());
  TRunOptions& o = run_->Options();
  o.outputFormat = fresh.outputFormat;
  o.noaaOutput = fresh.noaaOutput;
  o.cropBorders = fresh.cropBorders;
  const bool ok = run_->SaveAll(run_->OutputName(), true, false);
  QStringList names;
  for (const auto& f : run_->Saver().Written()) names << Text(fs::path(f).filename().string());
  if (!names.isEmpty()) statusBar()->showMessage("Saved " + names.join(", "), 8000);
  return ok;
}

void TMainWindow::SaveAs() {
  if (Running() || IsEmpty(run_->Pictures().main)) return;
  const QStringList filters = {"Bitmap (*.bmp)", "JPEG (*.jpg)", "PNG (*.png)"};
  const int format = std::clamp(settings_.OutputFormat.Value(), 0, 2);
  static const char* const suffixes[] = {"bmp", "jpg", "png"};
  QString folder = Text(settings_.ImageFolder.Value());
  if (folder.isEmpty()) folder = QFileInfo(Text(run_->OutputName())).absolutePath();
  QFileDialog dialog(this, "Save image(s) as...", folder, filters.join(";;"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.selectNameFilter(filters[format]);
  dialog.setDefaultSuffix(suffixes[format]);
  dialog.selectFile(Text(fs::path(run_->OutputName()).stem().string()));
  connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, filters](const QString& f) {
    dialog.setDefaultSuffix(suffixes[std::max<qsizetype>(0, filters.indexOf(f))]);
  });
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  const std::string name = Utf8(dialog.selectedFiles().front());
  const std::string ext = LowerExtension(name);
  if (ext != ".bmp" && ext != ".jpg" && ext != ".png") {
    UserMessages().Show("Unfortunately, Vivurozed does not know how to save a file with the " +
                            UpperExtension(name) + " extension.",
                        "");
    return;
  }
  settings_.ImageFolder.SetValue(fs::path(name).parent_path().string());
  RefreshControls();
  const TRunOptions fresh = OptionsFromSettings(settings_, run_->Options());
  run_->Options().noaaOutput = fresh.noaaOutput;
  run_->Options().cropBorders = fresh.cropBorders;
  run_->SaveAll(name, true, false);
}

void TMainWindow::SaveColourAs() {
  if (Running() || IsEmpty(run_->Pictures().falseColour)) return;
  const int noaaOutput = settings_.NoaaJpegOutput.Value();
  const bool jpeg = noaaOutput >= 1;
  QString folder = Text(settings_.ImageFolder.Value());
  if (folder.isEmpty()) folder = QFileInfo(Text(run_->OutputName())).absolutePath();
  QFileDialog dialog(this, "Save false colour image as ... -C suffix will be appended!", folder,
                     "JPEG (*.jpg);;Bitmap (*.bmp)");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.selectNameFilter(jpeg ? "JPEG (*.jpg)" : "Bitmap (*.bmp)");
  dialog.setDefaultSuffix(jpeg ? "jpg" : "bmp");
  dialog.selectFile(Text(fs::path(run_->OutputName()).stem().string()));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  std::string name = Utf8(dialog.selectedFiles().front());
  const std::string ext = LowerExtension(name);
  if (ext != ".bmp" && ext != ".jpg") {
    UserMessages().Show(
        "Unfortunately, Vivurozed does not know how to save a false colour file with the " +
            UpperExtension(name) + " extension.",
        "");
    return;
  }
  settings_.ImageFolder.SetValue(fs::path(name).parent_path().string());
  RefreshControls();
  // The chosen extension decides the format, also when the NOAA pictures
  // are otherwise not written at all.
  TRunOptions& o = run_->Options();
  const int kept = o.noaaOutput;
  o.noaaOutput = ext == ".bmp" ? 0 : (noaaOutput == 2 ? 2 : 1);
  run_->SaveAll(name, false, true);
  o.noaaOutput = kept;
}

void TMainWindow::ChooseImageFolder() {
  const QString folder = QFileDialog::getExistingDirectory(this, "Folder for the saved pictures",
                                                           Text(settings_.ImageFolder.Value()));
  if (folder.isEmpty()) return;
  settings_.ImageFolder.SetValue(Utf8(folder));
  RefreshControls();
}

void TMainWindow::ChooseSampleRate() {
  bool ok = false;
  const int old = settings_.SampleRate.Value();
  const int rate = QInputDialog::getInt(this, "Sampling rate", "Receiver sampling rate (Hz):", old,
                                        10925, 11125, 1, &ok);
  if (ok && rate != old) {
    settings_.SampleRate.SetValue(rate);
    ReloadOptionChanged("sampling rate");
  }
  RefreshControls();
}

void TMainWindow::ShowDiagnostics() {
  if (!diagnostics_) {
    diagnostics_ = new TDiagnosticsView(this);
  }
  if (!Running()) diagnostics_->SetLines(run_->Log().Lines());
  diagnostics_->show();
  diagnostics_->raise();
  diagnostics_->activateWindow();
}

void TMainWindow::ShowColourMap() {
  const auto& maps = run_->ColourMaps();
  if (maps.empty()) return;
  if (!colourMap_) colourMap_ = new TColourMapWindow(this);
  const int last = static_cast<int>(maps.size()) - 1;
  const auto& map = maps[std::clamp(settings_.NoaaColourMapIndex.Value(), 0, last)];
  colourMap_->SetMap(ToQImage(map->Lookup()), Text(map->Name()), metric_);
  colourMap_->show();
  colourMap_->raise();
}

// ---------------------------------------------------------------- options

void TMainWindow::OptionChanged(int effect, const std::string& reloadName) {
  if (effect == TSettingsMenus::efReload) {
    ReloadOptionChanged(reloadName);
  } else {
    DisplayOptionChanged();
  }
}

void TMainWindow::DisplayOptionChanged() {
  RefreshControls();
  if (!settings_.AutoUpdate.Value() || run_->FileName().empty()) return;
  if (Running()) {
    // The run took its options when it started; the pictures are made
    // again once it ends.
    reprocessPending_ = true;
    return;
  }
  StartReprocess();
}

void TMainWindow::ReloadOptionChanged(const std::string& name) {
  RefreshControls();
  if (Running() || run_->FileName().empty()) return;
  if (UserMessages().AskYesNo("Changing the " + name +
                                  " requires you to process the whole source file again.  "
                                  "Would you like reload the present wave file now?",
                              "Vivurozed - reload required", maNo) == maYes) {
    StartDispatch(run_->FileName());
  }
}

void TMainWindow::SetSensorChoice(int index, bool always) {
  if (index < 0 || index > kQuorumChoice) return;
  const int model = index == kQuorumChoice ? 2 : index + 1;
  const bool quorum = index == kQuorumChoice;
  const bool changed = model != settings_.SatelliteModel.Value() || quorum != quorum_;
  settings_.SatelliteModel.SetValue(model);
  quorum_ = quorum;
  if (changed || always) {
    DisplayOptionChanged();
  } else {
    RefreshControls();
  }
}

void TMainWindow::GammaStepped(double gamma) {
  gamma_ = gamma;
  gammaTimer_.start();
}

void TMainWindow::RefreshControls() {
  menus_->Refresh();
  {
    const QSignalBlocker block(gammaBox_);
    gammaBox_->setValue(gamma_);
  }
  const int model = settings_.SatelliteModel.Value();
  const int choice = quorum_ ? kQuorumChoice : (model >= 1 && model <= 5 ? model - 1 : -1);
  sensorBox_->setCurrentIndex(choice);
  for (int i = 0; i < static_cast<int>(sensorActions_.size()); ++i) {
    sensorActions_[static_cast<std::size_t>(i)]->setChecked(i == choice);
  }
  for (int i = 0; i < static_cast<int>(illuminationActions_.size()); ++i) {
    illuminationActions_[static_cast<std::size_t>(i)]->setChecked(i == illumination_);
  }
  directionActions_[0]->setChecked(!southBound_);
  directionActions_[1]->setChecked(southBound_);
  const int rate = settings_.SampleRate.Value();
  const bool preset = rate >= 10990 && rate <= 11060 && rate % 5 == 0;
  otherRateAction_->setChecked(!preset);
  otherRateAction_->setText(preset ? "Other..." : QString("Other (%1 Hz)...").arg(rate));
  besideRecordingAction_->setChecked(settings_.ImageFolder.Value().empty());
  // The Process button exists exactly while changes are not applied at once.
  const bool idle = !Running();
  processAction_->setVisible(!settings_.AutoUpdate.Value() && !processing_);
  processButton_->setEnabled(idle);
  const bool pictures = !views_[0]->Picture().isNull();
  saveAction_->setEnabled(idle && pictures);
  saveAsAction_->setEnabled(idle && pictures);
  saveColourAction_->setEnabled(idle && !views_[3]->Picture().isNull());
  reprocessAction_->setEnabled(!run_->FileName().empty());
  menus_->SetRunning(!idle);
  otherRateAction_->setEnabled(idle);
  // An unattended run takes every option when it starts; they wait.
  optionsMenu_->setEnabled(!(batch_ && !idle));
  fileMenu_->setEnabled(!(batch_ && !idle));
  gammaBox_->setEnabled(!(batch_ && !idle));
  sensorBox_->setEnabled(!(batch_ && !idle));
}

// ---------------------------------------------------------------- runs

TRunOptions TMainWindow::JobOptions() {
  TRunOptions o = OptionsFromSettings(settings_, run_->Options());
  o.southBound = southBound_;
  o.illumination = illumination_;
  o.quorum = quorum_;
  o.gamma = static_cast<float>(gamma_);
  return o;
}

bool TMainWindow::StartDispatch(const std::string& fileName) {
  if (Running()) return false;
  // Set while the worker is idle; the run reads them from its own thread.
  run_->Options() = JobOptions();
  host_->SetLowPriority(settings_.LowPriority.Value());
  if (!host_->Start(rjDispatch,
                    [run = run_.get(), fileName] { return run->Dispatch(fileName) ? 1 : 0; })) {
    return false;
  }
  JobStarted(rjDispatch);
  return true;
}

bool TMainWindow::StartReprocess() {
  if (Running() || run_->FileName().empty()) return false;
  const TRunOptions options = JobOptions();
  if (!host_->Start(rjReprocess,
                    [run = run_.get(), options] { return run->Reprocess(options) ? 1 : 0; })) {
    return false;
  }
  JobStarted(rjReprocess);
  return true;
}

void TMainWindow::StartBatch(const TBatchOptions& batch,
                             const std::vector<std::string>& commandLine) {
  if (Running()) return;
  batch_ = true;
  keepWindow_ = batch.keepWindow;
  batchHasOutput_ = !batch.output.empty() && !batch.interactiveDirectionOnly;
  exitCode_ = 1;
  batchClock_.start();
  host_->SetLowPriority(settings_.LowPriority.Value());
  host_->Start(rjBatch, [run = run_.get(), batch, commandLine] {
    return run->RunBatch(batch, commandLine);
  });
  JobStarted(rjBatch);
}

void TMainWindow::JobStarted(TRunJob kind) {
  reprocessPending_ = false;
  openButton_->setText("Esc stops");
  if (kind != rjReprocess) {
    // A new file: its pictures replace the last one's.
    ClearReadouts();
    statusBar()->clearMessage();
    for (TPictureView* v : views_) v->SetPicture({});
    for (int i = 1; i < tabs_->count(); ++i) tabs_->setTabVisible(i, false);
    readouts_.reset();
    if (diagnostics_) diagnostics_->SetLines({});
  }
  RefreshControls();
}

void TMainWindow::JobFinished(int kind, int result) {
  openButton_->setText("Open...");
  progress_->setVisible(false);
  SetTitle(-1);
  // The run may have changed choices: the pass direction from the command
  // line, the sampling rate the user accepted.
  southBound_ = run_->Options().southBound;
  illumination_ = run_->Options().illumination;
  if (diagnostics_) diagnostics_->SetLines(run_->Log().Lines());
  if (kind == rjBatch) {
    batch_ = false;
    FinishBatch(result);
  }
  processing_ = false;
  RefreshControls();
  if (closePending_) {
    close();
    return;
  }
  if (reprocessPending_ && StartReprocess()) return;
  emit Idle();
}

void TMainWindow::FinishBatch(int result) {
  exitCode_ = result;
  if (!batchHasOutput_ || keepWindow_) return;
  // The window stays up a moment so the pictures can be seen.
  const int wait = IsGeostationary(run_->DecodeType()) ? 1500 : 5500;
  const int left = std::max<qint64>(0, wait - batchClock_.elapsed());
  QTimer::singleShot(left, this, [this] {
    closeWithoutAsking_ = true;
    close();
  });
}

void TMainWindow::ShowPictures(const TShownPictures& p) {
  const QImage* images[] = {&p.main, &p.channelA, &p.channelB, &p.falseColour};
  for (std::size_t i = 0; i < views_.size(); ++i) {
    views_[i]->SetPicture(*images[i]);
    if (i > 0) tabs_->setTabVisible(static_cast<int>(i), !images[i]->isNull());
  }
  if (!tabs_->isTabVisible(tabs_->currentIndex())) tabs_->setCurrentIndex(0);
  readouts_ = p.readouts;
  RefreshControls();
}

void TMainWindow::SetTitle(int percent) {
  setWindowTitle(percent >= 0 ? QString("%1% - %2").arg(percent).arg(caption_) : caption_);
}

// ---------------------------------------------------------------- readouts

TPictureView* TMainWindow::CurrentView() const {
  return qobject_cast<TPictureView*>(tabs_->currentWidget());
}

void TMainWindow::ClearReadouts() {
  positionLabel_->clear();
  lineLabel_->clear();
  valueLabel_->clear();
}

void TMainWindow::CursorMoved(TPictureView* view, QPoint p) {
  if (batch_) return;
  const QImage& picture = view->Picture();
  QString value;
  if (picture.format() == QImage::Format_Indexed8) {
    value = QString::number(picture.pixelIndex(p));
  } else {
    const QRgb c = picture.pixel(p);
    value = QString("%1,%2,%3").arg(qRed(c)).arg(qGreen(c)).arg(qBlue(c));
  }
  lineLabel_->setText(QString("Line %1  Pixel %2: %3").arg(p.y()).arg(p.x()).arg(value));
  valueLabel_->setText(readouts_ ? Text(ValueReadout(*readouts_, picture.width(), picture.height(),
                                                     p.x(), p.y(), metric_))
                                 : QString());
}

void TMainWindow::Measuring(TPictureView* view, QPoint start, QPoint end) {
  if (batch_) return;
  const QPoint d = end - start;
  positionLabel_->setText(Text(DistanceText(d.x(), d.y(), view->Picture().width(), metric_)));
}

// ---------------------------------------------------------------- window

void TMainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TMainWindow::dropEvent(QDropEvent* event) {
  event->acceptProposedAction();
  if (Running()) {
    StopRun();
    return;
  }
  QStringList files;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) files << url.toLocalFile();
  }
  if (files.isEmpty()) return;
  if (files.size() > 1) {
    UserMessages().Show("Please drop only one file.", "");
    return;
  }
  settings_.SourceFolder.SetValue(fs::path(Utf8(files.front())).parent_path().string());
  OpenFile(files.front());
}

void TMainWindow::closeEvent(QCloseEvent* event) {
  if (Running()) {
    // The run is stopped and finishes on its own thread; the window
    // closes when it has.
    closePending_ = true;
    StopRun();
    event->ignore();
    return;
  }
  closePending_ = false;
  if (!closeWithoutAsking_ && run_->PicturesChanged()) {
    const TMessageAnswer answer = UserMessages().AskYesNoCancel(
        "Image data has changed - do you want to save it?\n\n"
        "- to save the image data, press Yes\n"
        "- to exit without saving, press No\n"
        "- to continue running Vivurozed, press Cancel\n",
        "Vivurozed - unsaved image data", maCancel);
    if (answer == maCancel || (answer == maYes && !Save())) {
      event->ignore();
      return;
    }
  }
  if (formInfo_) formInfo_->Update(Placement());
  if (diagnostics_) diagnostics_->close();
  if (colourMap_) colourMap_->close();
  event->accept();
}

void TMainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (formInfo_) return;
  formInfo_ = std::make_unique<TRegistryFormInfo>(store_, Placement());
  TFormPlacement stored = Placement();
  formInfo_->ApplyTo(stored);
  ApplyPlacement(stored);
}

TFormPlacement TMainWindow::Placement() const {
  TFormPlacement p;
  p.state = isMaximized() ? 2 : isMinimized() ? 1 : 0;
  const QRect client = p.state == 0 ? geometry() : normalGeometry();
  const QRect frame = frameGeometry();
  p.left = p.state == 0 ? frame.left() : client.left();
  p.top = p.state == 0 ? frame.top() : client.top();
  p.width = frame.width();
  p.height = frame.height();
  p.clientWidth = client.width();
  p.clientHeight = client.height();
  return p;
}

void TMainWindow::ApplyPlacement(const TFormPlacement& p) {
  if (p.clientWidth >= 320 && p.clientHeight >= 200) resize(p.clientWidth, p.clientHeight);
  // A place on no screen (one since unplugged) is not taken.
  for (const QScreen* screen : QGuiApplication::screens()) {
    if (screen->availableGeometry().contains(QPoint(p.left + 40, p.top + 20))) {
      move(p.left, p.top);
      break;
    }
  }
  // A window that last closed minimised opens normally.
  if (p.state == 2) showMaximized();
}

}  // namespace vivurozed
