#include "gui/MainMenus.h"

#include <QActionGroup>
#include <QApplication>
#include <QKeySequence>

#include "noaa/Thermal.h"

namespace vivurozed {

namespace {

// A menu entry for a command.
QAction* Command(QMenu* menu, const QString& text, const std::function<void()>& command,
                 const QKeySequence& shortcut = {}) {
  QAction* action = menu->addAction(text);
  if (!shortcut.isEmpty()) action->setShortcut(shortcut);
  QObject::connect(action, &QAction::triggered, menu, [command] {
    if (command) command();
  });
  return action;
}

}  // namespace

TMainMenus::TMainMenus(QMenuBar* bar, TMainSettings& settings,
                       const std::vector<std::string>& colourModels, TCommands commands)
    : bar_(bar),
      settings_(settings),
      commands_(std::move(commands)),
      bound_(std::make_unique<TSettingsMenus>(commands_.optionChanged)) {
  BuildFile();
  BuildOptions(colourModels);
  BuildViewAndHelp();
}

std::vector<QAction*> TMainMenus::Choices(QMenu* menu, const QStringList& texts,
                                          const QString& prefix, std::function<void(int)> chosen) {
  auto* group = new QActionGroup(menu);
  std::vector<QAction*> actions;
  for (int i = 0; i < texts.size(); ++i) {
    QAction* a = menu->addAction(texts[i]);
    a->setObjectName(prefix + "=" + QString::number(i));
    a->setCheckable(true);
    group->addAction(a);
    actions.push_back(a);
    QObject::connect(a, &QAction::triggered, menu, [chosen, i] {
      if (chosen) chosen(i);
    });
  }
  return actions;
}

void TMainMenus::BuildFile() {
  using M = TSettingsMenus;
  file_ = bar_->addMenu("&File");
  Command(file_, "&Open...", commands_.open, QKeySequence::Open);
  record_ = Command(file_, "Record and &decode...", commands_.record);
  record_->setObjectName("recordAndDecode");
  record_->setStatusTip("Decode a pass from the sound card as it is received");
  recent_ = file_->addMenu("Recent &files");
  recent_->setObjectName("recentFiles");
  QObject::connect(file_, &QMenu::aboutToShow, file_, [this] {
    if (commands_.updateRecent) commands_.updateRecent();
  });
  reprocess_ = Command(file_, "&Reprocess file", commands_.reprocess, QKeySequence(Qt::Key_F5));
  reprocess_->setStatusTip("Read the current recording again with the present options");
  file_->addSeparator();
  save_ = Command(file_, "&Save", commands_.save, QKeySequence::Save);
  saveAs_ = Command(file_, "Save &as...", commands_.saveAs, QKeySequence::SaveAs);
  saveColour_ = Command(file_, "Save false &colour as...", commands_.saveColourAs);
  saveLocation_ = Command(file_, "Save &location data", commands_.saveLocation);
  saveLocation_->setObjectName("saveLocation");
  saveLocation_->setStatusTip("The latitude and longitude across every line (.lcn)");
  saveOverlayOnly_ = Command(file_, "Save overlay &only", commands_.saveOverlayOnly);
  saveOverlayOnly_->setObjectName("saveOverlayOnly");
  saveOverlayOnly_->setStatusTip("The overlay alone on black (_ovl_only.bmp)");
  file_->addSeparator();
  print_ = Command(file_, "&Print...", commands_.print, QKeySequence::Print);
  print_->setObjectName("print");
  print_->setStatusTip("Print the picture of the current tab, fitted to the page");
  printPreview_ = Command(file_, "Print pre&view...", commands_.printPreview);
  printPreview_->setObjectName("printPreview");
  file_->addSeparator();
  bound_->Radio(file_->addMenu("Picture &format"), settings_.OutputFormat,
                {{"BMP", 0}, {"JPEG", 1}, {"PNG", 2}}, M::efNone);
  bound_->Radio(file_->addMenu("&NOAA channel pictures"), settings_.NoaaJpegOutput,
                {{"None", -1}, {"BMP", 0}, {"JPEG", 1}, {"JPEG, high quality", 2}}, M::efNone);
  bound_->Check(file_, "Crop NOAA &borders when saving", settings_.NoaaCropBorders, M::efNone);
  bound_->Check(file_, "Save NOAA &telemetry (telem.dat)", settings_.NoaaSaveStats, M::efNone);
  QMenu* folder = file_->addMenu("Picture f&older");
  besideRecording_ = Command(folder, "Beside the recording", commands_.imageBesideRecording);
  besideRecording_->setCheckable(true);
  Command(folder, "Choose folder...", commands_.imageFolder);
  file_->addSeparator();
  Command(file_, "E&xit", commands_.quit, QKeySequence::Quit);
}

void TMainMenus::BuildOptions(const std::vector<std::string>& colourModels) {
  using M = TSettingsMenus;
  options_ = bar_->addMenu("&Options");
  TMainSettings& s = settings_;

  QMenu* picture = options_->addMenu("&Picture");
  bound_->Check(picture, "Auto &black level", s.AutoBlack, M::efDisplay);
  bound_->Check(picture, "&Crop noisy lines", s.CropNoise, M::efDisplay);
  bound_->Check(picture, "&Equalise histogram", s.EqualiseHistogram, M::efDisplay);
  bound_->Check(picture, "&Large image", s.LargeImage, M::efDisplay);
  bound_->Radio(picture->addMenu("&Sharpen"), s.Sharpen,
                {{"None", 0}, {"Sharpen", 1}, {"Sharpen more", 2}}, M::efDisplayWhenChanged);
  bound_->Radio(picture->addMenu("&Gamma"), s.GammaCorrect,
                {{"None (1.0)", 0},
                 {"Weak (1.3)", 1},
                 {"Medium (1.7)", 2},
                 {"Strong (2.2)", 3},
                 {"Very strong (2.8)", 4}},
                M::efDisplay, {}, commands_.gamma);

  QMenu* noaa = options_->addMenu("&NOAA");
  QStringList sensors;
  for (const TSensorChoice& c : SensorChoices()) sensors << c.text;
  sensor_ = Choices(noaa->addMenu("&Sensor"), sensors, "Sensor", commands_.sensor);
  TSettingsMenus::TChoices maps;
  for (std::size_t i = 0; i < colourModels.size(); ++i) {
    maps.emplace_back(QString::fromStdString(colourModels[i]), static_cast<int>(i));
  }
  bound_->Radio(noaa->addMenu("&Colour model"), s.NoaaColourMapIndex, maps, M::efDisplay, {},
                commands_.colourModel);
  Command(noaa, "Show colour &map...", commands_.showColourMap);
  bound_->Check(noaa, "&Green vegetation", s.GreenVeg, M::efDisplay);
  bound_->Check(noaa, "&Luminance from IR", s.NoaaLumChanB, M::efDisplay);
  illumination_ = Choices(noaa->addMenu("&Illumination"), {"None", "Slight", "More"},
                          "Illumination", commands_.illumination);
  direction_ = Choices(noaa->addMenu("Pass &direction"), {"North-bound", "South-bound"},
                       "Direction", commands_.direction);

  QMenu* input = options_->addMenu("&Input");
  bound_->Radio(input->addMenu("Input &filter"), s.InputFilter,
                {{"Narrow", 1}, {"Normal", 0}, {"Wide", 2}}, M::efReload, "input filter");
  QMenu* rate = input->addMenu("&Sampling rate");
  TSettingsMenus::TChoices rates;
  for (int r = 10990; r <= 11060; r += 5) rates.emplace_back(QString("%1 Hz").arg(r), r);
  bound_->Radio(rate, s.SampleRate, rates, M::efReload, "sampling rate");
  rate->addSeparator();
  otherRate_ = Command(rate, "Other...", commands_.otherSampleRate);
  otherRate_->setObjectName("SampleRate=other");
  otherRate_->setCheckable(true);
  bound_->Check(input, "&Tape input", s.TapeInput, M::efReload, "tape source");
  bound_->Check(input, "Attempt &re-sync", s.ReSync, M::efReload, "attempt re-sync value");
  bound_->Check(input, "&Despeckle", s.Despeckle, M::efReload, "despeckle value");
  bound_->Radio(input->addMenu("&Geostationary"), s.Geostationary,
                {{"None", 0}, {"GMS", 1}, {"GOES", 2}, {"Meteosat", 3}}, M::efReload,
                "forced geostationary setting");

  overlayMenu_ = options_->addMenu("Overla&y");
  Command(overlayMenu_, "&ZeveDuruviz options...", commands_.zeveDuruviz)
      ->setObjectName("zeveDuruvizOptions");
  Command(overlayMenu_, "Caption and overlay &appearance...", commands_.overlayOptions)
      ->setObjectName("overlayOptions");

  options_->addSeparator();
  bound_->Check(options_, "&Auto update", s.AutoUpdate, M::efNone, {}, commands_.autoUpdate);
  bound_->Check(options_, "Low &priority while decoding", s.LowPriority, M::efNone);
  options_->addSeparator();
  Command(options_, "View &Diagnostics...", commands_.showDiagnostics)
      ->setObjectName("viewDiagnostics");
}

void TMainMenus::BuildViewAndHelp() {
  QMenu* view = bar_->addMenu("&View");
  Command(view, "Zoom &in", commands_.zoomIn, QKeySequence::ZoomIn);
  Command(view, "Zoom &out", commands_.zoomOut, QKeySequence::ZoomOut);
  Command(view, "&Actual size", commands_.zoomActual, QKeySequence(Qt::CTRL | Qt::Key_0));
  Command(view, "&Fit to window", commands_.zoomFit, QKeySequence(Qt::CTRL | Qt::Key_9));
  view->addSeparator();
  Command(view, "&Signal level", commands_.showSignalLevel)->setObjectName("viewSignalLevel");
  showOverlay_ = view->addAction("Show &overlay");
  showOverlay_->setObjectName("showOverlay");
  showOverlay_->setCheckable(true);
  showOverlay_->setChecked(true);
  showOverlay_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
  QObject::connect(showOverlay_, &QAction::toggled, view, [this](bool on) {
    if (commands_.showOverlay) commands_.showOverlay(on);
  });

  QMenu* help = bar_->addMenu("&Help");
  Command(help, "&Command line...", commands_.commandLine);
  Command(help, "&About Vivurozed...", commands_.about);
  Command(help, "About &Qt...", [] { QApplication::aboutQt(); });
}

void TMainMenus::Show(const TState& state) {
  bound_->Refresh();
  for (std::size_t i = 0; i < sensor_.size(); ++i) {
    sensor_[i]->setChecked(static_cast<int>(i) == state.sensor);
  }
  for (std::size_t i = 0; i < illumination_.size(); ++i) {
    illumination_[i]->setChecked(static_cast<int>(i) == state.illumination);
  }
  direction_[0]->setChecked(!state.southBound);
  direction_[1]->setChecked(state.southBound);
  const int rate = settings_.SampleRate.Value();
  const bool preset = rate >= 10990 && rate <= 11060 && rate % 5 == 0;
  otherRate_->setChecked(!preset);
  otherRate_->setText(preset ? "Other..." : QString("Other (%1 Hz)...").arg(rate));
  besideRecording_->setChecked(settings_.ImageFolder.Value().empty());

  save_->setEnabled(state.idle && state.pictures);
  saveAs_->setEnabled(state.idle && state.pictures);
  saveColour_->setEnabled(state.idle && state.falseColour);
  print_->setEnabled(state.idle && state.pictures);
  printPreview_->setEnabled(state.idle && state.pictures);
  reprocess_->setEnabled(state.fileCurrent);
  record_->setEnabled(state.idle);
  saveLocation_->setEnabled(state.idle && state.located);
  saveOverlayOnly_->setEnabled(state.idle && state.overlay && state.falseColour);
  overlayMenu_->setEnabled(state.idle);
  {
    const QSignalBlocker block(showOverlay_);
    showOverlay_->setChecked(state.showOverlay);
  }
  showOverlay_->setEnabled(state.overlay);
  // Options that need the recording read again wait while it is read.
  bound_->SetRunning(!state.idle);
  otherRate_->setEnabled(state.idle);
  // The command line's run takes every option when it starts; they wait.
  options_->setEnabled(!state.batch);
  file_->setEnabled(!state.batch);
}

}  // namespace vivurozed
