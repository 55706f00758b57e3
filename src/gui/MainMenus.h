// The menus of the main window: File, Options, View and Help. Every option
// of the settings catalogue the window offers is bound to its setting; the
// commands, and the choices of a run that are not settings, go to the
// window.
#pragma once

#include <QAction>
#include <QMenu>
#include <QMenuBar>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/RegistryVariables.h"
#include "gui/SettingsMenus.h"

namespace vivurozed {

class TMainMenus {
 public:
  struct TCommands {
    std::function<void()> open, updateRecent, reprocess, save, saveAs, saveColourAs;
    std::function<void()> imageFolder, imageBesideRecording, quit;
    std::function<void()> otherSampleRate, showColourMap, showDiagnostics;
    std::function<void()> zoomIn, zoomOut, zoomActual, zoomFit, commandLine, about;
    std::function<void()> saveLocation, saveOverlayOnly, zeveDuruviz, overlayOptions;
    std::function<void()> print, printPreview;
    std::function<void()> record, showSignalLevel;
    std::function<void(bool)> showOverlay;
    // A choice that is not a setting, by its index.
    std::function<void(int)> sensor, illumination, direction;
    // After these settings changed: gamma, "AutoUpdate", colour model.
    std::function<void()> gamma, autoUpdate, colourModel;
    TSettingsMenus::TChanged optionChanged;
  };

  // What the check marks and the enabled entries show.
  struct TState {
    int sensor = -1;  // index into SensorChoices(); -1 none
    int illumination = 0;
    bool southBound = false;
    bool idle = true;
    bool batch = false;  // the command line's run: its options wait
    bool pictures = false, falseColour = false, fileCurrent = false;
    bool overlay = false;  // the pictures have an overlay
    bool located = false;  // their lines are located on the earth
    bool showOverlay = true;
  };

  TMainMenus(QMenuBar* bar, TMainSettings& settings, const std::vector<std::string>& colourModels,
             TCommands commands);

  void Show(const TState& state);
  QMenu* Recent() const { return recent_; }

 private:
  void BuildFile();
  void BuildOptions(const std::vector<std::string>& colourModels);
  void BuildViewAndHelp();
  // An exclusive group of entries named prefix=index, which reports the index.
  std::vector<QAction*> Choices(QMenu* menu, const QStringList& texts, const QString& prefix,
                                std::function<void(int)> chosen);

  QMenuBar* bar_;
  TMainSettings& settings_;
  TCommands commands_;
  std::unique_ptr<TSettingsMenus> bound_;
  QMenu* file_ = nullptr;
  QMenu* options_ = nullptr;
  QMenu* recent_ = nullptr;
  QAction* save_ = nullptr;
  QAction* saveAs_ = nullptr;
  QAction* saveColour_ = nullptr;
  QAction* reprocess_ = nullptr;
  QAction* record_ = nullptr;
  QAction* saveLocation_ = nullptr;
  QAction* saveOverlayOnly_ = nullptr;
  QAction* print_ = nullptr;
  QAction* printPreview_ = nullptr;
  QAction* showOverlay_ = nullptr;
  QMenu* overlayMenu_ = nullptr;
  QAction* otherRate_ = nullptr;
  QAction* besideRecording_ = nullptr;
  std::vector<QAction*> sensor_, illumination_, direction_;
};

}  // namespace vivurozed
