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
#include <QMediaDevices>
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

#include "gui/AboutBox.h"
#include "gui/ColourMapWindow.h"
#include "gui/DiagnosticsView.h"
#include "gui/GrowingPicture.h"
#include "gui/MainMenus.h"
#include "gui/MessageBoxes.h"
#include "gui/OverlayCommands.h"
#include "gui/OverlayNudges.h"
#include "gui/PictureContextMenu.h"
#include "gui/PictureTabs.h"
#include "gui/PictureView.h"
#include "gui/PrintCommands.h"
#include "gui/RecentFiles.h"
#include "gui/SaveCommands.h"
#include "gui/SettingsMenus.h"
#include "gui/SignalLevelWindow.h"
#include "noaa/Thermal.h"

// The window's icon is among the library's resources.
static void InitGuiResources() {
  Q_INIT_RESOURCE(gui);
}

namespace vivurozed {

namespace {

namespace fs = std::filesystem;

constexpr int kGammaDelayMs = 800;
constexpr int kRecentFiles = 10;

std::string Utf8(const QString& s) {
  return s.toStdString();
}

QString Text(const std::string& s) {
  return QString::fromStdString(s);
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
  saves_ = std::make_unique<TSaveCommands>(this, *run_);
  overlays_ = std::make_unique<TOverlayCommands>(this, *run_);
  printing_ = std::make_unique<TPrintCommands>(this);
  metric_ = QLocale().measurementSystem() == QLocale::MetricSystem;
  gamma_ = settings_.Gamma();
  settings_.LimitColourMapIndex(static_cast<int>(run_->ColourMaps().size()));
  const TRunOptions& o = run_->Options();
  southBound_ = o.southBound;
  illumination_ = o.illumination;

  BuildStatusBar();  // before the tabs, which read out into its labels
  BuildControls();
  BuildMenus();
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
  for (const TSensorChoice& c : SensorChoices()) sensorBox_->addItem(c.text);
  sensorBox_->setToolTip("NOAA satellite whose calibration applies");
  connect(sensorBox_, &QComboBox::activated, this,
          [this](int index) { SetSensorChoice(index, true); });
  bar->addWidget(sensorBox_);
  bar->addSeparator();

  nudges_ = new TOverlayNudges(bar);
  connect(nudges_, &TOverlayNudges::Nudged, this, &TMainWindow::NudgeOverlay);
  connect(nudges_, &TOverlayNudges::ResetPressed, this, [this] {
    if (!Running() && overlays_->ResetNudge()) StartOverlayRender();
  });
  bar->addWidget(nudges_);

  tabs_ = new TPictureTabs(positionLabel_, lineLabel_, valueLabel_, this);
  tabs_->SetMetric(metric_);
  setCentralWidget(tabs_);
  TPictureContextMenu::TCommands menu;
  menu.remake = [this] {
    if (colourMap_ && colourMap_->isVisible()) ShowColourMap();
    return StartReprocess();
  };
  menu.status = [this](const QString& text) { statusBar()->showMessage(text, 8000); };
  menu.busy = [this] { return Running(); };
  pictureMenu_ = std::make_unique<TPictureContextMenu>(*run_, *tabs_, std::move(menu));
  connect(tabs_, &TPictureTabs::PictureMenuRequested, this, &TMainWindow::ShowPictureMenu);
  growing_ = new TGrowingPicture(*host_, *tabs_->findChild<TPictureView*>("Main Image"), this);
}

void TMainWindow::BuildStatusBar() {
  auto make = [this](const char* name, int chars) {
    auto* label = new QLabel(this);
    label->setObjectName(name);
    label->setMinimumWidth(label->fontMetrics().averageCharWidth() * chars);
    statusBar()->addPermanentWidget(label);
    return label;
  };
  positionLabel_ = make("position", 36);
  lineLabel_ = make("line", 22);
  valueLabel_ = make("value", 12);
  progress_ = new QProgressBar(this);
  progress_->setObjectName("progress");
  progress_->setRange(0, 100);
  progress_->setMaximumWidth(260);
  progress_->setVisible(false);
  statusBar()->addPermanentWidget(progress_);
}

void TMainWindow::BuildMenus() {
  TMainMenus::TCommands c;
  c.open = [this] { OpenCommand(); };
  c.updateRecent = [this] { UpdateRecentFiles(); };
  c.reprocess = [this] { ReprocessCommand(); };
  c.save = [this] { Save(); };
  c.saveAs = [this] {
    if (Running()) return;
    const int before = saves_->SaveCount();
    saves_->SaveAs();
    SaveDone(saves_->SaveCount() != before);
  };
  c.saveColourAs = [this] {
    if (Running()) return;
    const int before = saves_->SaveCount();
    saves_->SaveColourAs();
    SaveDone(saves_->SaveCount() != before);
  };
  c.imageFolder = [this] {
    saves_->ChooseImageFolder();
    RefreshControls();
  };
  c.imageBesideRecording = [this] {
    settings_.ImageFolder.SetValue("");
    RefreshControls();
  };
  c.quit = [this] { close(); };
  c.otherSampleRate = [this] { ChooseSampleRate(); };
  c.showColourMap = [this] { ShowColourMap(); };
  c.showDiagnostics = [this] { ShowDiagnostics(); };
  c.print = [this] { PrintPicture(false); };
  c.printPreview = [this] { PrintPicture(true); };
  c.record = [this] { RecordCommand(); };
  c.showSignalLevel = [this] { ShowSignalLevel(); };
  auto onView = [this](void (TPictureView::*zoom)()) {
    return [this, zoom] {
      if (TPictureView* v = tabs_->CurrentView()) (v->*zoom)();
    };
  };
  c.zoomIn = onView(&TPictureView::ZoomIn);
  c.zoomOut = onView(&TPictureView::ZoomOut);
  c.zoomActual = onView(&TPictureView::ZoomActual);
  c.zoomFit = onView(&TPictureView::ZoomToFit);
  c.commandLine = [this] {
    QMessageBox box(QMessageBox::NoIcon, "Vivurozed - command line", CommandLineUsage(),
                    QMessageBox::Close, this);
    box.setTextFormat(Qt::PlainText);
    box.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    box.exec();
  };
  c.about = [this] { ShowAboutBox(this); };
  c.saveLocation = [this] { SaveOverlayFile(true); };
  c.saveOverlayOnly = [this] { SaveOverlayFile(false); };
  c.zeveDuruviz = [this] {
    if (!Running()) OverlayChanged(overlays_->ZeveDuruvizOptions());
  };
  c.overlayOptions = [this] {
    if (!Running()) OverlayChanged(overlays_->AppearanceOptions());
  };
  c.showOverlay = [this](bool on) { tabs_->SetShowOverlay(on); };
  c.sensor = [this](int choice) { SetSensorChoice(choice, false); };
  c.illumination = [this](int choice) {
    const bool changed = illumination_ != choice;
    illumination_ = choice;
    if (changed) DisplayOptionChanged();
  };
  c.direction = [this](int choice) {
    southBound_ = choice == 1;
    DisplayOptionChanged();
  };
  c.gamma = [this] {
    gamma_ = settings_.Gamma();
    gammaTimer_.stop();
    RefreshControls();
  };
  c.autoUpdate = [this] { RefreshControls(); };
  c.colourModel = [this] {
    if (colourMap_ && colourMap_->isVisible()) ShowColourMap();
  };
  c.optionChanged = [this](TSettingsMenus::TEffect effect, const std::string& name) {
    if (effect == TSettingsMenus::efReload) {
      ReloadOptionChanged(name);
    } else {
      DisplayOptionChanged();
    }
  };
  std::vector<std::string> models;
  for (const auto& map : run_->ColourMaps()) models.push_back(map->Name());
  menus_ = std::make_unique<TMainMenus>(menuBar(), settings_, models, std::move(c));
}

void TMainWindow::ConnectHost() {
  TWindowRunHost* h = host_.get();
  connect(h, &TWindowRunHost::ProgressBegan, this, [this](const QString& text) {
    progress_->setFormat(text + "  %p%");
    progress_->setValue(0);
    progress_->setVisible(true);
  });
  connect(h, &TWindowRunHost::Progressed, this, [this](const QString& text, int percent) {
    // A live run does not know its length: its text says what has come.
    progress_->setFormat(percent < 0 ? text : text + "  %p%");
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
  // The run asks from its thread; the dialog comes up on this one.
  h->SetPassConfirmer([this](TPassPrediction& pass) { return overlays_->ConfirmPass(pass); });
  run_->Overlay().SetOnConfirmPass([h](TPassPrediction& pass) { return h->ConfirmPass(pass); });
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
  if (Running()) return;
  const int before = saves_->SaveCount();
  saves_->OfferSave();
  SaveDone(saves_->SaveCount() != before);
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
  menus_->Recent()->clear();
  if (Running()) {
    menus_->Recent()->setEnabled(false);
    return;
  }
  std::vector<fs::path> folders{fs::path(settings_.SourceFolder.Value())};
  if (!run_->FileName().empty()) folders.push_back(fs::path(run_->FileName()).parent_path());
  int shown = 0;
  for (const TRecentFile& r : RecentFiles(run_->History().Entries(), folders, kRecentFiles)) {
    QAction* a =
        menus_->Recent()->addAction(QString("&%1  %2   (%3)")
                                        .arg(++shown)
                                        .arg(Text(r.file.filename().string()), Text(r.detail)));
    const QString path = Text(r.file.string());
    connect(a, &QAction::triggered, this, [this, path] {
      OfferSaveBeforeOpen();
      RestoreFromHistory(Utf8(path));
      OpenFile(path);
    });
  }
  menus_->Recent()->setEnabled(shown > 0);
}

bool TMainWindow::Save() {
  if (Running()) return false;
  const int before = saves_->SaveCount();
  const bool ok = saves_->Save();
  SaveDone(saves_->SaveCount() != before);
  return ok;
}

void TMainWindow::SaveDone(bool saved) {
  // The saver reports through the run's host; its progress ends here.
  progress_->setVisible(false);
  SetTitle(-1);
  RefreshControls();
  if (!saved) return;
  QStringList names;
  for (const auto& f : run_->Saver().Written()) names << Text(fs::path(f).filename().string());
  if (names.isEmpty()) {
    statusBar()->clearMessage();
  } else {
    statusBar()->showMessage("Saved " + names.join(", "), 8000);
  }
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

void TMainWindow::OverlayChanged(int after) {
  if (after == TOverlayCommands::oaReload) {
    // The pass is predicted while the recording is read: worth it when an
    // overlay is wanted, or one shown must go.
    if (run_->FileName().empty() || (!settings_.ZeveDuruviz.Value() && !tabs_->HasOverlay()))
      return;
    ReloadOptionChanged("ZeveDuruviz settings");
  } else if (after == TOverlayCommands::oaRender) {
    StartOverlayRender();
  }
}

void TMainWindow::NudgeOverlay(int down, int right) {
  if (Running() || !tabs_->HasOverlay()) return;
  if (overlays_->Nudge(down, right, tabs_->CurrentTurned())) StartOverlayRender();
}

void TMainWindow::SaveOverlayFile(bool locations) {
  if (Running()) return;
  const std::string name = locations ? overlays_->SaveLocationData() : overlays_->SaveOverlayOnly();
  if (!name.empty())
    statusBar()->showMessage("Saved " + Text(fs::path(name).filename().string()), 8000);
}

void TMainWindow::ShowDiagnostics() {
  if (!diagnostics_) {
    diagnostics_ = new TDiagnosticsView(this);
  }
  if (!Running()) {
    diagnostics_->SetLines(run_->Log().Lines());
    diagnostics_->SetPlots(run_->Plots());
  }
  diagnostics_->show();
  diagnostics_->raise();
  diagnostics_->activateWindow();
}

void TMainWindow::PrintPicture(bool preview) {
  TPictureView* view = tabs_->CurrentView();
  if (Running() || !view || view->Picture().isNull()) return;
  const QString caption = PrintCaption(*run_, tabs_->tabText(tabs_->currentIndex()));
  if (preview) {
    printing_->Preview(view->Picture(), caption);
  } else if (printing_->Print(view->Picture(), caption)) {
    statusBar()->showMessage("Sent to the printer", 8000);
  }
}

void TMainWindow::ShowPictureMenu(int tab, QPoint point, QPoint globalPoint) {
  if (const auto menu = pictureMenu_->Menu(tab, point, this)) menu->exec(globalPoint);
}

void TMainWindow::RecordCommand() {
  if (Running()) return;
  // Where the console keeps a live run's audio.
  std::string folder = settings_.ImageFolder.Value();
  if (folder.empty()) folder = QDir::currentPath().toStdString();
  std::optional<TRecordStart> start =
      AskRecording(this, recordChoice_, QMediaDevices::audioInputs(),
                   QMediaDevices::defaultAudioInput(), folder);
  if (!start) return;
  // Asked only once the pass is about to start: a cancelled dialog or a
  // machine without a sound input leaves the pictures alone.
  OfferSaveBeforeOpen();
  if (start->model != smUnknown) {
    // As the command line's satellite letter: its calibration applies.
    settings_.SatelliteModel.SetValue(start->model);
    quorum_ = false;
    RefreshControls();
  }
  StartLive(std::move(start->input), start->live, start->type);
}

void TMainWindow::ShowSignalLevel() {
  if (!signalLevel_) {
    signalLevel_ = new TSignalLevelWindow(this);
    if (liveInput_) signalLevel_->SetSource([input = liveInput_] { return input->TakeLevels(); });
  }
  signalLevel_->show();
  signalLevel_->raise();
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
  const auto choices = SensorChoices();
  if (index < 0 || index >= static_cast<int>(choices.size())) return;
  const bool quorum = choices[std::size_t(index)].quorum;
  const int model = choices[std::size_t(index)].model;
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
  const bool idle = !Running();
  const int model = settings_.SatelliteModel.Value();
  TMainMenus::TState state;
  const auto choices = SensorChoices();
  for (std::size_t i = 0; i < choices.size(); ++i)
    if (choices[i].quorum == quorum_ && (quorum_ || choices[i].model == model))
      state.sensor = int(i);
  state.illumination = illumination_;
  state.southBound = southBound_;
  state.idle = idle;
  state.batch = batch_ && !idle;
  state.pictures = tabs_->HasPicture(ptMain);
  state.falseColour = tabs_->HasPicture(ptFalseColour);
  state.fileCurrent = !run_->FileName().empty();
  state.overlay = tabs_->HasOverlay();
  state.located = tabs_->Readouts() && tabs_->Readouts()->maker;
  state.showOverlay = tabs_->ShowOverlay();
  menus_->Show(state);
  {
    const QSignalBlocker block(gammaBox_);
    gammaBox_->setValue(gamma_);
  }
  sensorBox_->setCurrentIndex(state.sensor);
  // The Process button exists exactly while changes are not applied at once.
  processAction_->setVisible(!settings_.AutoUpdate.Value() && !processing_);
  processButton_->setEnabled(idle);
  gammaBox_->setEnabled(!state.batch);
  sensorBox_->setEnabled(!state.batch);
  nudges_->setEnabled(idle && state.overlay);
}

// ---------------------------------------------------------------- runs

TRunOptions TMainWindow::JobOptions() {
  TRunOptions o = OptionsFromSettings(settings_, run_->Options());
  o.southBound = southBound_;
  o.illumination = illumination_;
  o.quorum = quorum_;
  o.gamma = static_cast<float>(gamma_);
  o.forcedType.reset();  // only a live run is told its type
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

bool TMainWindow::StartLive(std::unique_ptr<TLiveInput> input, const TLiveRunOptions& live,
                            std::optional<TDecodeParameters> type) {
  if (Running() || !input) return false;
  run_->Options() = JobOptions();
  run_->Options().forcedType = type;
  host_->SetLowPriority(settings_.LowPriority.Value());
  std::shared_ptr<TLiveInput> shared = std::move(input);
  if (!host_->Start(rjDispatch, [run = run_.get(), shared, live] {
        return run->LiveRun(*shared, live) ? 1 : 0;
      })) {
    return false;
  }
  liveInput_ = shared;
  JobStarted(rjDispatch);
  growing_->Start();
  if (signalLevel_) signalLevel_->SetSource([shared] { return shared->TakeLevels(); });
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

bool TMainWindow::StartOverlayRender() {
  if (Running() || run_->FileName().empty()) return false;
  if (!host_->Start(rjReprocess,
                    [run = run_.get()] { return run->RenderOverlayAgain() ? 1 : 0; })) {
    return false;
  }
  JobStarted(rjReprocess);
  return true;
}

void TMainWindow::StartBatch(const TBatchOptions& batch,
                             const std::vector<std::string>& commandLine) {
  if (Running()) return;
  batch_ = true;
  tabs_->SetReadoutsOn(false);
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
    statusBar()->clearMessage();
    tabs_->Clear();
    if (diagnostics_) {
      diagnostics_->SetLines({});
      diagnostics_->SetPlots({});
    }
  }
  RefreshControls();
}

void TMainWindow::JobFinished(int kind, int result) {
  growing_->Stop();
  liveInput_.reset();
  if (signalLevel_) signalLevel_->SetSource({});
  openButton_->setText("Open...");
  progress_->setVisible(false);
  SetTitle(-1);
  // The run may have changed choices: the pass direction from the command
  // line, the sampling rate the user accepted.
  southBound_ = run_->Options().southBound;
  illumination_ = run_->Options().illumination;
  // The pass the overlay identified chose the satellite's calibration; the
  // pictures made again keep it.
  if (kind == rjDispatch && run_->Overlay().Pass() && run_->Options().sensorModel != smUnknown) {
    settings_.SatelliteModel.SetValue(run_->Options().sensorModel);
    quorum_ = false;
  }
  if (diagnostics_) {
    diagnostics_->SetLines(run_->Log().Lines());
    diagnostics_->SetPlots(run_->Plots());
  }
  if (kind == rjBatch) {
    batch_ = false;
    tabs_->SetReadoutsOn(true);
    FinishBatch(result);
  }
  processing_ = false;
  RefreshControls();
  if (closePending_) {
    close();
    if (!isVisible()) return;  // else the user chose to stay
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
  // A coarse timer (Qt's choice above 2 s) may fire up to 5 % early.
  QTimer::singleShot(left, Qt::PreciseTimer, this, [this] {
    closeWithoutAsking_ = true;
    close();
  });
}

void TMainWindow::ShowPictures(const TShownPictures& p) {
  growing_->Stop();  // the finished pictures take its place
  tabs_->Show(p);
  RefreshControls();
}

void TMainWindow::SetTitle(int percent) {
  setWindowTitle(percent >= 0 ? QString("%1% - %2").arg(percent).arg(caption_) : caption_);
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
  if (signalLevel_) signalLevel_->close();
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
