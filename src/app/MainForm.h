// The processing run: owns the signal chain and drives one run per input
// file. It recognises a recording's satellite type, decodes it through the
// chain, post-processes the picture and saves the results; or re-processes
// a saved picture. Its host (the command line or the main window) sees it
// only through TRunHost and the user-message service.
#pragma once

#include <atomic>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/LiveRun.h"
#include "app/OutputSaving.h"
#include "app/PictureEdits.h"
#include "app/PictureReadouts.h"
#include "app/RegistryVariables.h"
#include "app/RunHistory.h"
#include "app/RunHost.h"
#include "app/RunOverlay.h"
#include "decode/SignalVideoDecode.h"
#include "noaa/FalseColour.h"
#include "platform/Diagnostics.h"
#include "signal/LiveInput.h"
#include "signal/SignalDetectors.h"
#include "signal/SignalFilters.h"
#include "signal/SignalHilbert.h"

namespace vivurozed {

// The options a run works with: read from the settings at the start of each
// run, then, in an unattended run, overridden by the command line (which
// never writes them back).
struct TRunOptions {
  int outputFormat = 1, noaaOutput = 1;
  bool cropBorders = false, largeImage = true, equaliseHistogram = false, cropNoise = true;
  bool autoBlack = true, reSync = false, despeckle = false, tapeInput = false;
  bool lumChanB = false, greenVeg = false, saveStats = false, saveOnlyColour = false;
  float gamma = 1.3f;
  TSharpen sharpen = shSharpen;
  TPassband passband = pbNormal;
  bool passbandChosen = true;  // false: the run picks the input filter
  int sampleRate = 11025;
  TSensorModel sensorModel = smNOAA14;
  int colourMapIndex = 1;
  std::string colourMapName;  // upper case; chosen over the index when set
  int geostationary = 0;      // 0 none, 1 GMS, 2 GOES, 3 Meteosat
  int illumination = 0;
  bool southBound = false;
  bool quorum = false;  // the "NOAA14 - Quorum" receiver: the picture is turned as it records
  std::string imageFolder;
  // Decode as this type whatever the analyser finds; a live run then starts
  // decoding at once instead of listening first.
  std::optional<TDecodeParameters> forcedType;
};

TRunOptions OptionsFromSettings(TMainSettings& settings, const TRunOptions& keep = {});
void ApplyBatchOptions(TRunOptions& options, const TBatchOptions& batch);

// Analyser result code (0 .. 10) to decode type; geostationary: the
// expected service (0 none, 1 GMS, 2 GOES, 3 Meteosat) for code 10.
TDecodeParameters DecodeTypeForResult(int result, int geostationary);
// " - Meteor 3-5" and the like; NOAA names its sensor model.
std::string CaptionSuffix(TDecodeParameters type, TSensorModel model);

class TProcessingRun {
 public:
  TProcessingRun(TRunHost& host, std::shared_ptr<TSettingsStore> store);
  ~TProcessingRun();

  // Runs the right kind of run for the file's extension; false when no run
  // took place.
  bool Dispatch(const std::string& fileName);
  // The command-line mode: returns the exit code (0 only when the outputs
  // were written).
  int RunBatch(const TBatchOptions& batch, const std::vector<std::string>& commandLine);
  // Decodes audio while it arrives (a pipe, a file being written, the sound
  // card): listens to the first seconds to name the satellite type unless
  // one is forced, then shows each line as it is decoded (TRunHost::
  // LineDecoded) and makes the pictures when the input ends or the host asks
  // to stop. What arrives is kept in a WAV file named for the pass (see
  // RecordingPath). False when no pictures were made.
  bool LiveRun(TLiveInput& input, const TLiveRunOptions& live);
  // Ends a running stream after the current block; a live run that is
  // still listening decodes what it has heard. Any thread may call it.
  void Stop() {
    stopAsked_ = true;
    source_.Stop();
  }

  // Post-processes the decoded picture again with the current settings (the
  // display options), without reading the recording again. False when there
  // is nothing decoded.
  bool Reprocess();
  // The same with options chosen by the caller (the window, which keeps
  // choices that are not settings).
  bool Reprocess(const TRunOptions& options);
  // Draws the overlay over the pictures again (after a change of its
  // position or appearance), without making them again. False when there
  // is no overlay.
  bool RenderOverlayAgain();

  // Writes the run's pictures (the save command).
  bool SaveAll(const std::string& name, bool saveMain, bool announce);

  // The temperature lookups of the false colour, loaded on first use; the
  // current one follows Options().
  const std::vector<std::unique_ptr<TColourMapping>>& ColourMaps();
  // The lookup the false colour uses now; null when there is none.
  const TColourMapping* ColourLookup();
  // What the cursor readouts need of the last post-processing.
  TReadoutData ReadoutData() const;
  // What the diagnostics view plots of the last run.
  TRunPlots Plots() const;

  // Set by every post-processing that made a picture; cleared by a save or
  // when the user declined to save.
  bool PicturesChanged() const { return picturesChanged_; }
  void ClearPicturesChanged() { picturesChanged_ = false; }

  TDiagnostics& Log() { return log_; }
  const TRunPictures& Pictures() const { return pictures_; }
  TRunOptions& Options() { return options_; }
  TSatelliteVideoDecoder& Decoder() { return decoder_; }
  TMainSettings& Settings() { return *settings_; }
  const std::string& OutputName() const { return outputName_; }
  // The file of the last run; empty before the first.
  const std::string& FileName() const { return fileName_; }
  TDecodeParameters DecodeType() const { return type_; }
  const TRunHistory& History() const { return history_; }
  const std::string& Caption() const { return caption_; }
  bool Batch() const { return batch_; }
  const TOutputSaver& Saver() const { return saver_; }
  // Why the last run or batch saved nothing, in one line: what was wrong and
  // what to try; empty when nothing went wrong.
  const std::string& Failure() const { return failure_; }
  TRunOverlay& Overlay() { return overlay_; }

 private:
  // Tells the user why the run ends here and keeps it as Failure(); false.
  bool Fail(const std::string& reason);
  bool DispatchFile(const std::string& fileName);
  bool WaveRun(const std::string& fileName);
  bool ReceiveLive(TLiveInput& input, const TLiveRunOptions& live);
  // The live input the command line names (standard input, a followed file).
  bool DispatchLive(const TBatchOptions& batch);
  // Listens to a live input until the analyser names a type or the input
  // ends; false when the run cannot go on.
  bool Listen(TReplayInput& input, const TLiveRunOptions& live, int& result);
  // The analyser at the positions a run tries, in order.
  int AnalyseAtPositions(const std::string& fileName, std::span<const double> positions,
                         float& carrier, float& analysisTime);
  // The analysis's closing steps: pass identification (when duration > 0),
  // the sample-rate suggestion, the plot, and the question when no type was
  // found. False when the run ends there.
  bool ConcludeAnalysis(const std::string& fileName, int rate, int frames, int duration,
                        float carrier, float analysisTime, int& result);
  void IdentifyPass(const std::string& fileName, double duration);
  void PrepareDecode(const std::string& fileName, int result, int rate);
  void FinishWaveRun(const std::string& fileName);
  void OnLineStored(int row);
  // Finishes the live input's recording; a failure is told, not thrown.
  void CloseLiveInput(TLiveInput& input);
  bool StopAsked();
  bool PictureRun(const std::string& fileName);
  void StartLog(const std::string& heading, const std::string& fileName);
  void NameOutput(const std::string& fileName);
  void ChooseInputFilter(const std::string& fileName);
  void ConfigureChain(TDecodeParameters type, int resultCode, int fileRate);
  void PostProcess();
  void RenderOverlay();
  bool BuildPictures();
  void RecordHistory(const std::string& fileName);
  // One line of four integers per picture line, beside the pictures.
  bool SaveTelemetry();
  void OnDecoderProgress(TProgressKind kind, const std::string& text, int percent);
  TSaveOptions SaveOptions() const;

  TRunHost& host_;
  std::shared_ptr<TSettingsStore> store_;
  std::unique_ptr<TMainSettings> settings_;
  TRunOptions options_;
  TDiagnostics log_;
  TRunOverlay overlay_;

  // The chain; only source -> one Hilbert detector -> decoder is connected.
  TSignalSource source_;
  TSatelliteVideoDecoder decoder_;
  TSignalSyncDemod demod1_;
  TSignalHilbertAMDetectorQ demod2_;
  TSignalHilbertSyncAMDetector syncDetector_;
  TSignalIIRFilter12pole inputBpf_;
  TSignalIIRFilter6pole videoLpf_;
  TSignalAverage average_;

  TRunPictures pictures_;
  TExtBitmap infrared_;
  std::vector<std::unique_ptr<TColourMapping>> lookups_;
  std::array<double, 256> celsius_{};
  TOutputSaver saver_;
  TRunHistory history_;
  std::string fileName_, outputName_, caption_;
  std::string failure_;
  float carrier_ = 0;  // the analyser's, of the last recording
  std::vector<std::string> commandLine_;
  TDecodeParameters type_ = dpNOAAapt;
  bool fromPictureFile_ = false;
  bool batch_ = false;
  bool picturesChanged_ = false;
  bool live_ = false;  // progress tells what has arrived, not a percentage
  bool inputFailureShown_ = false;
  std::atomic<bool> stopAsked_ = false;
  std::vector<TSample> acfPlot_;
};

}  // namespace vivurozed
