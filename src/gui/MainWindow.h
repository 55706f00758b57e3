// The main window of the desktop program: the picture tabs, the menus of
// every option, open and save, and the run of each file on a worker thread
// (one at a time; Esc, Open or closing the window stop it).
#pragma once

#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/MainForm.h"
#include "gui/RecordDialog.h"
#include "gui/WindowRunHost.h"
#include "platform/UserMessages.h"

class QComboBox;

namespace vivurozed {

class TColourMapWindow;
class TDiagnosticsView;
class TGrowingPicture;
class TMainMenus;
class TMessageBoxes;
class TOverlayCommands;
class TOverlayNudges;
class TPictureContextMenu;
class TPictureTabs;
class TPrintCommands;
class TSaveCommands;
class TSignalLevelWindow;

class TMainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit TMainWindow(std::shared_ptr<TSettingsStore> store, QWidget* parent = nullptr);
  ~TMainWindow() override;

  // A file to process (chosen in the open dialog, dropped, recent, or
  // given on the command line); while a run goes on, stops it instead.
  void OpenFile(const QString& fileName);
  // The command line with the window shown: decodes, saves when an output
  // was given and then closes the window, unless "K" keeps it.
  void StartBatch(const TBatchOptions& batch, const std::vector<std::string>& commandLine);
  int ExitCode() const { return exitCode_; }
  bool Running() const { return host_->Busy(); }
  // Ends a running stream after the current block (Esc, Open, a drop).
  void StopRun();
  // Decodes a live input as it arrives (the sound card), the picture
  // growing on the main tab; decodes as `type` when given. False while
  // another run goes on.
  bool StartLive(std::unique_ptr<TLiveInput> input, const TLiveRunOptions& live,
                 std::optional<TDecodeParameters> type);

 signals:
  // Every job has finished and none follows.
  void Idle();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  void BuildMenus();
  void BuildControls();
  void BuildStatusBar();
  void ConnectHost();

  // Commands.
  void OpenCommand();
  void ReprocessCommand();
  void ProcessCommand();
  bool Save();
  // After a save command: its progress ends; the names written show.
  void SaveDone(bool saved);
  void ChooseSampleRate();
  // The overlay's commands.
  void OverlayChanged(int after);
  void NudgeOverlay(int down, int right);
  void SaveOverlayFile(bool locations);
  void ShowDiagnostics();
  // Print or preview the current tab's picture.
  void PrintPicture(bool preview);
  void ShowPictureMenu(int tab, QPoint point, QPoint globalPoint);
  void RecordCommand();
  void ShowSignalLevel();
  void ShowColourMap();
  void UpdateRecentFiles();
  // The unsaved-picture question before another file replaces the pictures.
  void OfferSaveBeforeOpen();
  // The pass direction and sensor last used for the file.
  void RestoreFromHistory(const std::string& fileName);

  // Option changes.
  void DisplayOptionChanged();
  void ReloadOptionChanged(const std::string& name);
  void SetSensorChoice(int index, bool always);
  void GammaStepped(double gamma);
  void RefreshControls();

  // Runs.
  TRunOptions JobOptions();
  bool StartDispatch(const std::string& fileName);
  bool StartReprocess();
  bool StartOverlayRender();
  void JobStarted(TRunJob kind);
  void JobFinished(int kind, int result);
  void FinishBatch(int result);
  void ShowPictures(const TShownPictures& pictures);
  void SetTitle(int percent);

  // Window placement from and to the "Form..." settings.
  TFormPlacement Placement() const;
  void ApplyPlacement(const TFormPlacement& placement);

  std::shared_ptr<TSettingsStore> store_;
  std::unique_ptr<TMessageBoxes> messages_;
  TUserMessages* previousMessages_ = nullptr;
  std::unique_ptr<TWindowRunHost> host_;
  std::unique_ptr<TProcessingRun> run_;
  std::unique_ptr<TMainMenus> menus_;
  std::unique_ptr<TSaveCommands> saves_;
  std::unique_ptr<TOverlayCommands> overlays_;
  std::unique_ptr<TRegistryFormInfo> formInfo_;
  std::unique_ptr<TPrintCommands> printing_;
  std::unique_ptr<TPictureContextMenu> pictureMenu_;
  TMainSettings& settings_;

  TPictureTabs* tabs_ = nullptr;
  QPushButton* openButton_ = nullptr;
  QPushButton* processButton_ = nullptr;
  QAction* processAction_ = nullptr;
  QDoubleSpinBox* gammaBox_ = nullptr;
  QComboBox* sensorBox_ = nullptr;
  TOverlayNudges* nudges_ = nullptr;
  QLabel* positionLabel_ = nullptr;
  QLabel* lineLabel_ = nullptr;
  QLabel* valueLabel_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QTimer gammaTimer_;
  TDiagnosticsView* diagnostics_ = nullptr;
  TColourMapWindow* colourMap_ = nullptr;
  TSignalLevelWindow* signalLevel_ = nullptr;
  TGrowingPicture* growing_ = nullptr;
  // The input of the live run going on; the level window reads it.
  std::shared_ptr<TLiveInput> liveInput_;
  TRecordChoice recordChoice_;

  // Choices of the run that are not settings.
  bool southBound_ = false;
  bool quorum_ = false;
  int illumination_ = 0;
  double gamma_ = 1.3;

  QString caption_ = "Vivurozed";
  bool metric_ = true;
  bool reprocessPending_ = false;
  bool processing_ = false;  // the Process button's post-processing
  bool closePending_ = false;
  bool closeWithoutAsking_ = false;
  bool batch_ = false;
  bool keepWindow_ = false;
  bool batchHasOutput_ = false;
  int exitCode_ = 0;
  int busyCursors_ = 0;
  QElapsedTimer batchClock_;
};

}  // namespace vivurozed
