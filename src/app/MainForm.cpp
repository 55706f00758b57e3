#include "app/MainForm.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <stdexcept>

#include "analysis/SidebandNoise.h"
#include "analysis/SignalAnalysis.h"
#include "app/RunFailure.h"
#include "app/ZevuvidInfo.h"
#include "decode/NoaaStage.h"
#include "decode/SignalWEFAX.h"
#include "image/JPEG_IO.h"
#include "image/PngImage.h"
#include "noaa/FalseColour.h"
#include "noaa/Thermal.h"
#include "platform/FileReplace.h"
#include "platform/Folders.h"
#include "platform/UserMessages.h"
#include "platform/qt/QtCaptureDevice.h"
#include "signal/CaptureInput.h"
#include "signal/WaveCommon.h"

namespace vivurozed {

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

constexpr const char* kExpects =
    "Vivurozed expects an 11025 Hz sampling rate wave  file lasting at least 30 seconds.";
constexpr const char* kKeptAndDecoded = ".\nWhat arrived before is kept and decoded.";
// Where in a recording the analyser listens, in the order tried.
constexpr std::array<double, 3> kPositions = {0.5, 0.4, 0.6};

// The analyser's carrier against the 2400 Hz subcarrier: a receiver's clock
// moves it by a percent or so, an already demodulated envelope far more.
std::string CarrierFinding(float carrier) {
  if (carrier <= 0) return "no carrier was measured";
  if (std::abs(carrier - 2400.0f) > 100.0f)
    return Format("no 2400 Hz subcarrier: the carrier measured %.0f Hz", carrier);
  return Format("the carrier measured %.0f Hz", carrier);
}
constexpr int kLiveRate = 11025;

// The analyser's code for a decode type the user gave (the chain's filter
// choice reads it).
int ResultForType(TDecodeParameters type) {
  switch (type) {
    case dpMeteor35:
      return arMeteor35;
    case dpMeteor221:
      return arMeteor221;
    case dpResursO1N4:
      return arResurs;
    case dpOkean:
      return arOkean;
    case dpSich:
      return arSich;
    case dpSich6:
      return arSich600;
    case dpOkeanO:
    case dpOkeanO37:
      return arOkeanO;
    case dpMeteosat:
      return arMeteosat;
    case dpGMS:
    case dpGOES:
    case dpWEFAX:
      return arWEFAX;
    default:
      return arNOAA;
  }
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

TRunOptions OptionsFromSettings(TMainSettings& s, const TRunOptions& keep) {
  TRunOptions o;
  // Choices that are not settings (pass direction, illumination, colour map
  // by name) carry over.
  o.southBound = keep.southBound;
  o.illumination = keep.illumination;
  o.colourMapName = keep.colourMapName;
  o.quorum = keep.quorum;
  o.forcedType = keep.forcedType;
  o.outputFormat = s.OutputFormat.Value();
  o.noaaOutput = s.NoaaJpegOutput.Value();
  o.cropBorders = s.NoaaCropBorders.Value();
  o.largeImage = s.LargeImage.Value();
  o.equaliseHistogram = s.EqualiseHistogram.Value();
  o.cropNoise = s.CropNoise.Value();
  o.autoBlack = s.AutoBlack.Value();
  o.reSync = s.ReSync.Value();
  o.despeckle = s.Despeckle.Value();
  o.tapeInput = s.TapeInput.Value();
  o.lumChanB = s.NoaaLumChanB.Value();
  o.greenVeg = s.GreenVeg.Value();
  o.saveStats = s.NoaaSaveStats.Value();
  o.gamma = static_cast<float>(s.Gamma());
  o.sharpen = static_cast<TSharpen>(std::clamp(s.Sharpen.Value(), 0, 2));
  const int filter = s.InputFilter.Value();
  o.passband = filter == 1 ? pbNarrow : filter == 2 ? pbWide : pbNormal;
  o.sampleRate = s.SampleRate.Value();
  // A stored rate far from any sound card's (a damaged store) would leave the
  // decoder without a usable line length.
  if (o.sampleRate < 9000 || o.sampleRate > 13000) o.sampleRate = 11025;
  o.sensorModel =
      static_cast<TSensorModel>(std::clamp<int>(s.SatelliteModel.Value(), smUnknown, smNOAA19));
  o.colourMapIndex = s.NoaaColourMapIndex.Value();
  o.geostationary = std::clamp(s.Geostationary.Value(), 0, 3);
  o.imageFolder = s.ImageFolder.Value();
  return o;
}

void ApplyBatchOptions(TRunOptions& o, const TBatchOptions& b) {
  o.southBound = b.southBound;
  o.noaaOutput = b.noaaOutput;
  o.largeImage = b.largeImage;
  o.equaliseHistogram = b.equaliseHistogram;
  o.cropNoise = b.cropNoise;
  o.lumChanB = b.lumChanB;
  o.geostationary = b.geostationary;
  o.tapeInput = b.tapeInput;
  o.passband = b.passband;
  o.passbandChosen = b.passbandGiven;
  o.reSync = b.reSync;
  o.despeckle = b.despeckle;
  o.saveOnlyColour = b.saveOnlyColour;
  o.colourMapIndex = b.secondColourMap ? 1 : 0;
  if (b.colourMapName) o.colourMapName = *b.colourMapName;
  if (b.sensorModel) o.sensorModel = *b.sensorModel;
  if (b.sharpen) o.sharpen = *b.sharpen;
  if (b.illumination) o.illumination = *b.illumination;
  if (b.sampleRate) o.sampleRate = *b.sampleRate;
  if (b.gamma) o.gamma = *b.gamma;
  if (b.type) o.forcedType = *b.type;
}

TDecodeParameters DecodeTypeForResult(int result, int geostationary) {
  switch (result) {
    case arMeteor35:
      return dpMeteor35;
    case arMeteor221:
      return dpMeteor221;
    case arResurs:
      return dpResursO1N4;
    case arOkean:
      return dpOkean;
    case arSich:
      return dpSich;
    case arSich600:
      return dpSich6;
    case arOkeanO:
      return dpOkeanO;
    case arMeteosat:
      return dpMeteosat;
    case arWEFAX:
      return geostationary == 1   ? dpGMS
             : geostationary == 2 ? dpGOES
             : geostationary == 3 ? dpMeteosat
                                  : dpWEFAX;
    default:
      return dpNOAAapt;
  }
}

std::string CaptionSuffix(TDecodeParameters type, TSensorModel model) {
  switch (type) {
    case dpMeteor35:
      return " - Meteor 3-5";
    case dpMeteor221:
      return " - Meteor 2-21";
    case dpResursO1N4:
      return " - Resurs O1-N4";
    case dpNOAAapt:
      return std::string(" - ") + SensorModelName(model);
    case dpOkean:
      return " - OKEAN";
    case dpSich:
      return " - SICH";
    case dpSich6:
      return " - SICH (600)";
    case dpOkeanO:
      return " - OKEAN-O";
    case dpMeteosat:
      return " - Meteosat";
    case dpGMS:
      return " - GMS";
    case dpGOES:
      return " - GOES";
    default:
      return std::string(" - ") + DecodeParameterNames[type];
  }
}

TProcessingRun::TProcessingRun(TRunHost& host, std::shared_ptr<TSettingsStore> store)
    : host_(host),
      store_(std::move(store)),
      settings_(std::make_unique<TMainSettings>(store_)),
      overlay_(*settings_, log_),
      saver_([this](const std::string& text, int percent) {
        if (percent >= 0) {
          host_.Progress(text, percent);
        } else {
          host_.SetStatus(text);
        }
      }) {
  source_.Name = "Signal_source";
  decoder_.Name = "Video_decoder";
  demod1_.Name = "AM_demod1";
  demod2_.Name = "AM_demod2";
  syncDetector_.Name = "AM_sync_det";
  inputBpf_.Name = "Input_BPF";
  videoLpf_.Name = "Video_LPF";
  source_.SetAGC(false);
  source_.SetChannelSelect(chMonoToBoth);
  source_.SetBufferSamples(2048);
  demod2_.SetDataSink(&decoder_);
  syncDetector_.SetDataSink(&decoder_);
  source_.SetDataSink(&demod2_);
  decoder_.Log = &log_;
  decoder_.SetNoaaStage(NoaaStage());
  decoder_.SetOnProgress([this](TCustomVideoDecoder&, TProgressKind kind, const std::string& text,
                                int percent) { OnDecoderProgress(kind, text, percent); });
  decoder_.SetOnLine([this](int row) { OnLineStored(row); });
  options_ = OptionsFromSettings(*settings_);
  history_.Load(UserDataFolder() / TRunHistory::kFileName);
  SetPrescanSampleRateSource(
      [store = store_] { return store->ReadInteger("PrescanSampleRate").value_or(0); });
}

TProcessingRun::~TProcessingRun() {
  SetPrescanSampleRateSource({});
}

void TProcessingRun::OnDecoderProgress(TProgressKind kind, const std::string& text, int percent) {
  switch (kind) {
    case pkBegin:
      host_.ProgressBegin(text);
      // A stop asked for before the stream began ends it before its first block.
      if (host_.StopRequested()) source_.Stop();
      break;
    case pkProgress:
      if (live_) {
        // The length is not known: say how much has come.
        const int seconds = static_cast<int>(std::int64_t{source_.WaveIn().BufferNumber() + 1} *
                                             source_.BufferSamples() / kLiveRate);
        host_.Progress(Format("Live: %d:%02d received, %d lines", seconds / 60, seconds % 60,
                              decoder_.LineCount()),
                       -1);
      } else {
        host_.Progress(text, percent);
      }
      host_.LetInputThrough();
      if (host_.StopRequested()) source_.Stop();
      break;
    case pkEnd:
      host_.ProgressEnd();
      break;
  }
}

bool TProcessingRun::Fail(const std::string& reason) {
  failure_ = reason;
  UserMessages().Show(reason, "");
  return false;
}

bool TProcessingRun::Dispatch(const std::string& fileName) {
  failure_.clear();
  // An error that escapes a stage ends the run; the user is told what it was.
  try {
    return DispatchFile(fileName);
  } catch (const std::exception& e) {
    host_.ProgressEnd();
    failure_ = e.what();
    UserMessages().Show(e.what(), "Vivurozed");
    return false;
  }
}

bool TProcessingRun::DispatchFile(const std::string& fileName) {
  const std::string ext = Lower(fs::path(fileName).extension().string());
  if (ext == ".wav") {
    int rate = 0, frames = 0;
    if (!GetWaveFileInfo(fileName, rate, frames)) return Fail(WaveHeaderReason(fileName));
    return WaveRun(fileName);
  }
  if (ext == ".bmp" || ext == ".jpg" || ext == ".png" || ext == ".noa" || ext == ".max") {
    return PictureRun(fileName);
  }
  return Fail(NotAnInputReason(fileName));
}

void TProcessingRun::StartLog(const std::string& heading, const std::string& fileName) {
  log_.Clear();
  overlay_.Reset();
  // The plots show this run's data only.
  average_.SetPeriod(0);
  acfPlot_.clear();
  log_.Add(CreatorText() + " - run started at " + FormatDateTime("yyyy-mmm-dd hh:nn:ss", UtcNow()) +
           " UTC");
  log_.Add(heading);
  log_.Add("  " + fileName);
  if (!commandLine_.empty()) {
    std::string line;
    for (const auto& p : commandLine_) line += (line.empty() ? "" : " ") + p;
    log_.Add("Original command line was: ");
    log_.Add("  " + line);
  }
}

void TProcessingRun::NameOutput(const std::string& fileName) {
  fileName_ = fileName;
  const fs::path path(fileName);
  const fs::path folder =
      options_.imageFolder.empty() ? path.parent_path() : fs::path(options_.imageFolder);
  outputName_ = (folder / path.stem()).string() + ".";
  pictures_ = TRunPictures{};
}

// NOAA words come at 4160 a second, so the video reaches 2080 Hz either
// side of the carrier, and the normal filter's 1350 Hz blurs each word into
// its neighbours. The wide filter keeps that detail, but also the noise
// beside it: it pays while the outer sidebands hold at least half as much
// video as noise, (S + N) / N of 1.5 or more.
void TProcessingRun::ChooseInputFilter(const std::string& fileName) {
  options_.passband = pbNormal;
  if (type_ != dpNOAAapt) return;
  int rate = 0, frames = 0;
  GetWaveFileInfo(fileName, rate, frames);
  const std::optional<double> db = OuterSidebandRatioDb(fileName, frames);
  if (!db) {
    log_.Add("Input filter: normal (none chosen; nothing to measure the sidebands on)");
    return;
  }
  const bool wide = *db >= 10 * std::log10(1.5);
  if (wide) options_.passband = pbWide;
  log_.Add(Format("Input filter: %s (none chosen; outer video sidebands %.1f dB over the noise)",
                  wide ? "wide" : "normal", *db));
}

void TProcessingRun::ConfigureChain(TDecodeParameters type, int resultCode, int fileRate) {
  int taps = 21, bandwidth = 1350;
  if (options_.passband == pbNarrow) {
    taps = 47;
    bandwidth = resultCode >= arMeteor35 && resultCode <= arResurs ? 1250 : 1100;
  } else if (options_.passband == pbWide) {
    taps = 39;
    bandwidth = 2020;
  }
  for (TSignalHilbertBPF* d : {static_cast<TSignalHilbertBPF*>(&demod2_),
                               static_cast<TSignalHilbertBPF*>(&syncDetector_)}) {
    d->SetCarrierFrequency(2400);
  }
  syncDetector_.SetResonatorQ(72);
  TSignalHilbertBPF& active = options_.tapeInput ? static_cast<TSignalHilbertBPF&>(syncDetector_)
                                                 : static_cast<TSignalHilbertBPF&>(demod2_);
  active.SetSampleRate(fileRate);
  active.SetFilterTaps(taps);
  active.SetBandwidth(bandwidth);
  source_.SetDataSink(&active);
  decoder_.SetPassband(options_.passband);
  // The tape detector's output runs at four times the 2400 Hz carrier.
  decoder_.SetRXSampleRate(options_.tapeInput ? options_.sampleRate * 9600 / 11025
                           : type == dpGMS    ? 11025
                                              : options_.sampleRate);
  decoder_.SetDecodeParameters(type);  // after the rate: templates and resonator follow it
}

bool TProcessingRun::WaveRun(const std::string& fileName) {
  host_.SetBusy(true);
  StartLog("Process wave file", fileName);
  struct Idle {
    TRunHost& host;
    ~Idle() { host.SetBusy(false); }
  } idle{host_};

  int rate = 0, frames = 0;
  GetWaveFileInfo(fileName, rate, frames);
  const int duration = rate > 0 ? frames / rate : 0;
  if (rate != 11025 || duration < 30) {
    return Fail(Format("%s %s holds %d s at %d Hz; record the whole pass at 11025 Hz", kExpects,
                       fs::path(fileName).filename().string().c_str(), duration, rate));
  }
  host_.SetStatus("Processing " + fileName + " - press Esc to stop");
  host_.ProgressBegin("Analyse signal");

  float carrier = 0, analysisTime = 0;
  int result = arUnknown;
  try {
    result = AnalyseAtPositions(fileName, kPositions, carrier, analysisTime);
  } catch (const TAnalyserError& e) {
    return Fail(e.what());
  }
  carrier_ = carrier;
  if (!ConcludeAnalysis(fileName, rate, frames, duration, carrier, analysisTime, result))
    return false;

  PrepareDecode(fileName, result, rate);
  try {
    source_.ReadFile(fileName);
  } catch (const std::exception& e) {
    // The closing steps run whatever happened: the picture so far is kept.
    log_.Add(std::string("Error while reading the wave file: ") + e.what());
    decoder_.EndData();
  }
  if (decoder_.Full())
    log_.Add(Format("The recording is longer than a picture holds: stopped at %d lines",
                    decoder_.MaxLines()));
  FinishWaveRun(fileName);
  return true;
}

int TProcessingRun::AnalyseAtPositions(const std::string& fileName,
                                       std::span<const double> positions, float& carrier,
                                       float& analysisTime) {
  const bool forceWefax = options_.geostationary != 0;
  int syncTone = 0, result = arUnknown;
  for (double position : positions) {
    result = AnalyseFile(fileName, forceWefax, &log_, carrier, analysisTime, &average_, syncTone,
                         position);
    if (result != arUnknown) break;
  }
  return result;
}

void TProcessingRun::IdentifyPass(const std::string& fileName, double duration) {
  if (!overlay_.Enabled() || !overlay_.IdentifyPass(fileName, duration)) return;
  const TPassPrediction& pass = *overlay_.Pass();
  options_.southBound = pass.southBound;
  if (const TSensorModel model = SensorModelOfSatellite(pass.satellite); model != smUnknown)
    options_.sensorModel = model;
}

bool TProcessingRun::ConcludeAnalysis(const std::string& fileName, int rate, int frames,
                                      int duration, float carrier, float analysisTime,
                                      int& result) {
  const bool noaa = options_.forcedType ? *options_.forcedType == dpNOAAapt : result == arNOAA;
  if (noaa && duration > 0) IdentifyPass(fileName, double(frames) / rate);
  if (carrier > 0) {
    const int suggestion = static_cast<int>(std::nearbyint(26460000.0 / carrier - 2));
    if (result == arNOAA && !batch_ && std::abs(suggestion - options_.sampleRate) > 5 &&
        duration > 450) {
      const TMessageAnswer a = UserMessages().AskYesNo(
          "Your system would best match this signal with a sampling frequency setting of " +
              std::to_string(suggestion) + " Hz.\n\nDo you want to use that sampling frequency?",
          "Vivurozed - suggested sampling frequency", maNo);
      if (a == maYes) {
        settings_->SampleRate.SetValue(suggestion);
        options_.sampleRate = suggestion;
      }
    }
  }
  log_.Add(Format("Net signal analysis time: %.0f msec", analysisTime * 1000.0));
  {
    bool doubleSpeed = false;
    float acfTime = 0;
    std::vector<float> acf;
    CheckAutocorrelation(fileName, doubleSpeed, &acf, nullptr, 0, rate, frames, acfTime, 0.5);
    acfPlot_.assign(static_cast<std::size_t>(rate), TSample{});
    for (std::size_t i = 0; i < acf.size() && i < acfPlot_.size(); ++i) acfPlot_[i] = acf[i];
    log_.Add(Format("ACF (for plot) analysis time: %.0f msec.", acfTime * 1000.0));
  }
  if (result == arUnknown && !options_.forcedType) {
    if (batch_)
      return Fail(
          Format("no satellite signal recognised in %s: none of the satellites' tones "
                 "was found (%s); record the receiver's audio output, or give the type "
                 "with --type NAME",
                 fs::path(fileName).filename().string().c_str(), CarrierFinding(carrier).c_str()));
    const TMessageAnswer a = UserMessages().AskYesNo(
        "The wave file you are processing did not produce a definite satellite type when it was "
        "analysed.  As far as I can determine, this file is more likely to be NOAA than "
        "Meteor/Resurs.  If the file is not a NOAA one, you could try editing any noise or "
        "interference from the beginning of the file and opening the file again.  \n\nFor more "
        "information on what happened during analysis, please see the  Options -> View "
        "Diagnostics...  menu where the tone values found are listed compared to the required "
        "levels for each satellite. \n\nContinue processing as a NOAA satellite?",
        "Vivurozed cannot determine satellite type", maNo);
    if (a != maYes) return Fail("the satellite type was not determined; nothing was decoded");
    result = arNOAA;
  }
  return true;
}

void TProcessingRun::PrepareDecode(const std::string& fileName, int result, int rate) {
  NameOutput(fileName);
  fromPictureFile_ = false;
  type_ = options_.forcedType ? *options_.forcedType
                              : DecodeTypeForResult(result, options_.geostationary);
  if (options_.forcedType) result = ResultForType(type_);
  decoder_.SetSensorModel(options_.sensorModel);
  caption_ = fs::path(fileName).filename().string() + CaptionSuffix(type_, options_.sensorModel);
  host_.SetCaption(caption_);
  if (!options_.passbandChosen) ChooseInputFilter(fileName);
  ConfigureChain(type_, result, rate);
  decoder_.AttemptReSync = options_.reSync;
  for (TSignalProcessor* p = &source_; p != nullptr; p = p->DataSink()) {
    p->ResetProcessingTime();
    if (p->DataSink() == p) break;
  }
}

void TProcessingRun::FinishWaveRun(const std::string& fileName) {
  log_.Add("Wave file processing time: " + std::to_string(decoder_.Elapsed().count()) +
           " millisecs (elapsed)");
  for (TSignalProcessor* p = &source_; p != nullptr; p = p->DataSink()) {
    log_.Add(Format("  %s    %.0f ms", p->Name.c_str(),
                    std::chrono::duration<double, std::milli>(p->ProcessingTime()).count()));
    if (p->DataSink() == p) break;
  }
  host_.SetStatus("");
  if (type_ == dpNOAAapt && overlay_.Pass()) {
    try {
      overlay_.Make(decoder_.LineCount(), decoder_.FirstLineSeconds());
    } catch (const std::exception& e) {
      // The overlay never costs the run its pictures.
      log_.Add(std::string("Overlay: ") + e.what() + "; the pictures are made without an overlay");
      overlay_.Reset();
    }
  }
  PostProcess();
  RecordHistory(fileName);
}

bool TProcessingRun::LiveRun(TLiveInput& input, const TLiveRunOptions& live) {
  // As for a file: an error that escapes a stage ends the run with a message.
  try {
    return ReceiveLive(input, live);
  } catch (const std::exception& e) {
    live_ = false;
    CloseLiveInput(input);
    host_.ProgressEnd();
    UserMessages().Show(e.what(), "Vivurozed");
    return false;
  }
}

bool TProcessingRun::ReceiveLive(TLiveInput& input, const TLiveRunOptions& live) {
  host_.SetBusy(true);
  StartLog("Process live input", input.Name());
  inputFailureShown_ = false;
  struct Done {
    TProcessingRun& run;
    TLiveInput& input;
    ~Done() {
      run.live_ = false;
      run.CloseLiveInput(input);
      run.host_.SetBusy(false);
    }
  } done{*this, input};
  stopAsked_ = false;

  std::string folder = live.recordingFolder.empty() ? options_.imageFolder : live.recordingFolder;
  const int zone = settings_->TimezoneNaming.Value() ? SystemTimeZoneMinutes() : 0;
  try {
    input.Start(RecordingPath(folder, UtcNow(), zone, live.satellite));
  } catch (const EWaveInError& e) {
    UserMessages().Show(e.what(), "");
    return false;
  }
  host_.SetStatus("Receiving " + input.Name() + " - press Esc to stop");
  TReplayInput replay(input);
  int result = arUnknown;
  if (!Listen(replay, live, result)) return false;
  const std::string recording = input.RecordingFile();
  log_.Add("Audio kept in " + recording);

  PrepareDecode(recording, result, static_cast<int>(replay.Format().SamplesPerSec));
  replay.Replay();
  live_ = true;
  // A stop while listening closed the input already: what was heard is
  // decoded to its end.
  const bool stopWanted = !input.Ended() && !StopAsked();
  const int limit = live.maxSeconds * kLiveRate;
  try {
    source_.ReadLive(replay, limit, [&] {
      host_.LetInputThrough();
      const std::int64_t read =
          std::int64_t{source_.WaveIn().BufferNumber() + 1} * source_.BufferSamples();
      if (stopWanted && StopAsked()) {
        source_.Stop();
      } else if (read >= limit) {
        log_.Add(Format("The live input was ended after %d minutes", live.maxSeconds / 60));
        source_.Stop();
      }
    });
  } catch (const std::exception& e) {
    // A lost device or a cut stream: what arrived before it is decoded.
    log_.Add(std::string("Live input: ") + e.what());
    UserMessages().Show(e.what() + std::string(kKeptAndDecoded), "");
    decoder_.EndData();
    inputFailureShown_ = true;
  }
  live_ = false;
  CloseLiveInput(input);
  if (const std::string failure = input.Failure(); !failure.empty() && !inputFailureShown_) {
    // It failed just as the user stopped it: still say why.
    log_.Add("Live input: " + failure);
    UserMessages().Show(failure + kKeptAndDecoded, "");
  }

  int rate = 0, frames = 0;
  GetWaveFileInfo(recording, rate, frames);
  const int duration = rate > 0 ? frames / rate : 0;
  log_.Add(Format("Live input: %d seconds received", duration));
  if (duration < 30) {
    UserMessages().Show(kExpects, "");
    return false;
  }
  if (type_ == dpNOAAapt) {
    IdentifyPass(recording, duration);
    caption_ = fs::path(recording).filename().string() + CaptionSuffix(type_, options_.sensorModel);
    host_.SetCaption(caption_);
  }
  FinishWaveRun(recording);
  return true;
}

bool TProcessingRun::Listen(TReplayInput& input, const TLiveRunOptions& live, int& result) {
  host_.ProgressBegin(options_.forcedType ? "Wait for the signal" : "Listen to the signal");
  std::vector<std::int16_t> chunk(2 * 4096);
  double nextTry = std::max(live.listenSeconds, 10);
  bool stopped = false, failed = false;
  for (;;) {
    std::size_t n = 0;
    try {
      n = input.Read(chunk, std::chrono::milliseconds(100));
    } catch (const EWaveInError& e) {
      // Whatever was heard before the input failed is still decoded.
      log_.Add(std::string("Live input: ") + e.what());
      UserMessages().Show(e.what() + std::string(input.KeptFrames() > 0 ? kKeptAndDecoded : ""),
                          "");
      failed = true;
      inputFailureShown_ = true;
      break;
    }
    const auto rate = static_cast<int>(input.Format().SamplesPerSec);
    if (rate != 0 && rate != kLiveRate) {
      UserMessages().Show(kExpects, "");
      return false;
    }
    host_.LetInputThrough();
    if (StopAsked()) {
      stopped = true;
      break;
    }
    if (n == 0 && input.Ended()) break;
    if (rate == 0) continue;
    if (options_.forcedType) return true;
    const double heard = static_cast<double>(input.KeptFrames()) / rate;
    host_.Progress(Format("Listen to the signal: %.0f s", heard), -1);
    if (heard < nextTry) continue;
    float carrier = 0, time = 0;
    int found = arUnknown;
    try {
      found = AnalyseAtPositions(input.RecordingFile(), kPositions, carrier, time);
    } catch (const TAnalyserError& e) {
      log_.Add(e.what());
    }
    if (found != arUnknown) {
      int frames = 0, fileRate = 0;
      GetWaveFileInfo(input.RecordingFile(), fileRate, frames);
      result = found;
      return ConcludeAnalysis(input.RecordingFile(), rate, frames, 0, carrier, time, result);
    }
    nextTry += std::max(live.retrySeconds, 1);
  }
  // The input ended or was stopped before a type was found: what arrived is
  // analysed as a file would be.
  CloseLiveInput(input);
  if (input.Format().SamplesPerSec == 0) {
    if (!failed) UserMessages().Show(input.Name() + " sent no audio", "");
    return false;
  }
  int rate = 0, frames = 0;
  GetWaveFileInfo(input.RecordingFile(), rate, frames);
  if (options_.forcedType) return true;
  if (frames / std::max(rate, 1) < 30) {
    UserMessages().Show(kExpects, "");
    return false;
  }
  if (stopped) log_.Add("Stopped while listening: what was heard is decoded");
  float carrier = 0, time = 0;
  try {
    result = AnalyseAtPositions(input.RecordingFile(), kPositions, carrier, time);
  } catch (const TAnalyserError& e) {
    UserMessages().Show(e.what(), "");
    return false;
  }
  return ConcludeAnalysis(input.RecordingFile(), rate, frames, 0, carrier, time, result);
}

void TProcessingRun::CloseLiveInput(TLiveInput& input) {
  try {
    input.Close();
  } catch (const EWaveInError& e) {
    // The audio is on disk; only its header still says "length unknown".
    log_.Add(e.what());
    UserMessages().Show(e.what(), "");
  }
}

bool TProcessingRun::StopAsked() {
  return stopAsked_ || host_.StopRequested();
}

void TProcessingRun::OnLineStored(int row) {
  // A full picture has nowhere to put the rest of the recording.
  if (decoder_.Full()) source_.Stop();
  const TIplImage* image = decoder_.Image();
  if (!host_.ShowsLines() || image == nullptr || row < 0 || row >= image->Height()) return;
  const int width = std::min(decoder_.LineLength(), image->Width());
  const std::vector<std::uint8_t> pixels =
      PreviewRow(std::span(image->Row16(row), static_cast<std::size_t>(std::max(width, 0))),
                 decoder_.PixelsPerLine(), decoder_.LowestPixel(), decoder_.HighestPixel());
  host_.LineDecoded(row, pixels);
}

bool TProcessingRun::PictureRun(const std::string& fileName) {
  host_.SetBusy(true);
  StartLog("Process image file", fileName);
  struct Idle {
    TRunHost& host;
    ~Idle() { host.SetBusy(false); }
  } idle{host_};
  NameOutput(fileName);
  type_ = dpNOAAapt;
  decoder_.SetSensorModel(options_.sensorModel);
  caption_ = fs::path(fileName).filename().string() + " - " + SensorModelName(options_.sensorModel);
  host_.SetCaption(caption_);
  decoder_.SetDecodeParameters(type_);

  const std::string ext = Lower(fs::path(fileName).extension().string());
  bool loaded = false;
  const std::string what = fs::path(fileName).filename().string();
  if (ext == ".noa" || ext == ".max") {
    loaded = decoder_.LoadFromRawFile(fileName);
    if (!loaded) {
      std::error_code ec;
      const auto size = fs::file_size(fileName, ec);
      return Fail(ec ? "cannot read " + fileName + ": " + ec.message()
                     : Format("%s is not a line file: it holds %llu lines of 1024 bytes where "
                              "701 to %d are read; give the file as it was saved",
                              what.c_str(), static_cast<unsigned long long>(size / 1024),
                              decoder_.MaxLines() + 1));
    }
  } else {
    TExtBitmap picture;
    try {
      std::string error;
      if (ext == ".bmp") {
        picture.LoadFromFile(fileName);
      } else if (ext == ".png") {
        LoadPNGIntoBitmap(picture, fileName, false);
      } else if (!LoadJPEGIntoBitmap(picture, fileName, true, 0, &error)) {
        throw std::runtime_error(error.empty() ? "not a readable JPEG file" : error);
      }
    } catch (const std::exception& e) {
      return Fail("Error reading picture file " + fileName + ": " + e.what());
    }
    if (picture.PixelFormat() != pf8bit) {
      return Fail("Warning: file " + fileName + " is not an 8-bit greyscale file.  " +
                  "Vivurozed cannot process this file further.");
    }
    if (picture.Height() > decoder_.MaxLines()) {
      return Fail(
          Format("picture too tall: %s has %d lines, at most %d (an hour of signal) are "
                 "re-processed; crop it into parts",
                 what.c_str(), picture.Height(), decoder_.MaxLines()));
    }
    loaded = decoder_.LoadFromBitmap(picture);
    fromPictureFile_ = true;
  }
  if (!loaded) return Fail("Vivurozed cannot process the file " + fileName);
  host_.Progress("Loaded", 100);
  overlay_.LoadCompanionFiles(fileName, options_.largeImage);
  PostProcess();
  log_.Add("Minute marker at line: " + std::to_string(decoder_.MinuteMarkerPhase()));
  RecordHistory(fileName);
  return true;
}

void TProcessingRun::RenderOverlay() {
  const auto begun = Clock::now();
  pictures_.overlay = pictures_.channelBOverlay = pictures_.falseColourOverlay = TExtBitmap();
  try {
    const TColourMapping* lookup = ColourLookup();
    // The decoded lines the pictures show, once noisy ends are cut.
    const int first = std::max(decoder_.FirstCleanLine(), 0);
    const int last =
        decoder_.LastCleanLine() > 0 ? decoder_.LastCleanLine() : decoder_.LineCount() - 1;
    overlay_.Render(pictures_, decoder_.MinuteMarkerPhase(), decoder_.Rotate180,
                    options_.largeImage, options_.cropBorders, options_.sensorModel,
                    lookup ? &lookup->Lookup() : nullptr, lookup && lookup->Cloudtop(), first,
                    last - first + 1);
  } catch (const std::exception& e) {
    log_.Add(std::string("Overlay: ") + e.what() + "; the pictures are saved without it");
    pictures_.overlay = pictures_.channelBOverlay = pictures_.falseColourOverlay = TExtBitmap();
  }
  log_.Add(Format("Overlay rendering time: %.0f millisecs", MillisecondsSince(begun)));
}

bool TProcessingRun::RenderOverlayAgain() {
  if (!overlay_.HasOverlay() || IsEmpty(pictures_.main)) return false;
  RenderOverlay();
  picturesChanged_ = true;
  host_.PicturesReady();
  return true;
}

void TProcessingRun::PostProcess() {
  const auto start = Clock::now();
  BuildPictures();
  if (overlay_.HasOverlay()) RenderOverlay();
  log_.Add(
      Format("Video post-processing time: %.0f millisecs (elapsed)", MillisecondsSince(start)));
  if (options_.saveStats && !fromPictureFile_) SaveTelemetry();
  picturesChanged_ = !IsEmpty(pictures_.main);
  host_.PicturesReady();
}

bool TProcessingRun::Reprocess() {
  return Reprocess(OptionsFromSettings(*settings_, options_));
}

bool TProcessingRun::Reprocess(const TRunOptions& options) {
  if (fileName_.empty() || decoder_.Image() == nullptr) return false;
  options_ = options;
  PostProcess();
  return true;
}

TRunPlots TProcessingRun::Plots() const {
  // The autocorrelation buffer holds one second of lags.
  const int rate = acfPlot_.empty() ? 11025 : static_cast<int>(acfPlot_.size());
  return MakeRunPlots(decoder_, average_, acfPlot_, rate);
}

TReadoutData TProcessingRun::ReadoutData() const {
  TReadoutData d;
  d.infrared = infrared_;
  d.celsius = celsius_;
  d.spaceBDeviation.reserve(decoder_.NoaaLineStats().size());
  for (const TNoaaLineStats& s : decoder_.NoaaLineStats())
    d.spaceBDeviation.push_back(s.spaceBDeviation);
  if (auto maker = overlay_.SharedMaker(); maker && maker->LineCount() > 0) {
    d.maker = std::move(maker);
    d.placements = overlay_.Placements();
  }
  return d;
}

bool TProcessingRun::SaveTelemetry() {
  const auto& stats = decoder_.NoaaLineStats();
  if (stats.empty()) return false;
  std::string text;
  for (const TNoaaLineStats& s : stats) {
    text += Format("%d %d %d %d\n", s.spaceA, s.telemetryA, s.spaceB, s.telemetryB);
  }
  // Beside the companion's results when it keeps them, else beside the pictures.
  std::string name = outputName_ + "telem.dat";
  if (const std::string results = overlay_.ResultsFolder(); !results.empty()) {
    name = (fs::path(results) / (fs::path(outputName_).filename().string() + "telem.dat")).string();
  }
  std::string error;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
  if (!ReplaceFileContents(name, std::span(bytes, text.size()), &error)) {
    log_.Add("Cannot write " + name + ": " + error);
    return false;
  }
  return true;
}

bool TProcessingRun::BuildPictures() {
  decoder_.SetAutoBlack(options_.autoBlack);
  decoder_.SetCropNoise(options_.cropNoise);
  decoder_.SetEqualiseHistogram(options_.equaliseHistogram);
  decoder_.SetGamma(options_.gamma);
  decoder_.SetLargeImage(options_.largeImage);
  decoder_.SetSharpen(options_.sharpen);
  decoder_.SetSensorModel(options_.sensorModel);
  decoder_.Despeckle = options_.despeckle;
  // Northbound passes arrive south first: turned, they show north up.
  decoder_.Rotate180 = !options_.southBound;
  decoder_.Illumination = options_.illumination;
  pictures_ = TRunPictures{};
  // A run that makes no infrared picture must not leave the last one's.
  infrared_ = TExtBitmap(0, 0, pf8bit);
  decoder_.SetTempToColourLookup(ColourLookup());
  TNoaaPictures noaa;
  noaa.channelA = &pictures_.channelA;
  noaa.channelB = &pictures_.channelB;
  noaa.infrared = &infrared_;
  noaa.falseColour = &pictures_.falseColour;
  noaa.celsius = &celsius_;
  noaa.luminanceFromIR = options_.lumChanB;
  noaa.greenVegetation = options_.greenVeg;
  // The overlay for the pass is made here, before the pictures it is drawn
  // over; its pictures go to pictures_.overlay and the "-ovl" versions.
  std::string header;
  TExtBitmap main(0, 0, pf8bit);
  const bool filled = decoder_.MakeImage(&main, noaa, options_.tapeInput, &header);
  if (filled && options_.quorum && type_ == dpNOAAapt) RotateQuorumPicture(main);
  if (filled) pictures_.main = std::move(main);
  if (!header.empty() && IsGeostationary(type_)) {
    outputName_ = MakePictureName(outputName_, header, !batch_);  // the header names the picture
  }
  return filled;
}

const std::vector<std::unique_ptr<TColourMapping>>& TProcessingRun::ColourMaps() {
  if (lookups_.empty()) {
    MakeBuiltInLookups(UserDataFolder());
    std::vector<fs::path> folders{UserDataFolder()};
    for (const auto& f : ShippedDataFolders()) folders.push_back(f);
    lookups_ = LoadLookups(folders);
  }
  return lookups_;
}

const TColourMapping* TProcessingRun::ColourLookup() {
  if (ColourMaps().empty()) return nullptr;
  if (!options_.colourMapName.empty()) {
    for (const auto& m : lookups_) {
      std::string upper = m->Name();
      for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      // "USER": the first map that is not one of the built-in four.
      const bool user = options_.colourMapName == "USER" &&
                        std::find(BuiltInLookupNames.begin(), BuiltInLookupNames.end(),
                                  m->Name()) == BuiltInLookupNames.end();
      if (upper == options_.colourMapName || user) return m.get();
    }
  }
  const int last = static_cast<int>(lookups_.size()) - 1;
  return lookups_[static_cast<std::size_t>(std::clamp(options_.colourMapIndex, 0, last))].get();
}

void TProcessingRun::RecordHistory(const std::string& fileName) {
  const std::string satellite =
      type_ == dpNOAAapt ? SensorModelName(options_.sensorModel) : DecodeParameterNames[type_];
  history_.Record(fs::path(fileName).filename().string(), options_.southBound, satellite);
  history_.Save(UserDataFolder() / TRunHistory::kFileName);
}

TSaveOptions TProcessingRun::SaveOptions() const {
  TSaveOptions s;
  s.outputFormat = options_.outputFormat;
  s.noaaOutput = options_.noaaOutput;
  s.cropBorders = options_.cropBorders;
  s.southBound = options_.southBound;
  if (fromPictureFile_) s.sourcePicture = fileName_;
  s.passDescription = caption_;
  s.creator = CreatorText();
  s.preferOverlay = !IsEmpty(pictures_.channelBOverlay) || !IsEmpty(pictures_.falseColourOverlay);
  return s;
}

bool TProcessingRun::SaveAll(const std::string& name, bool saveMain, bool announce) {
  const bool ok = saver_.SaveAll(name, pictures_, SaveOptions(), saveMain, announce);
  picturesChanged_ = false;
  return ok;
}

bool TProcessingRun::DispatchLive(const TBatchOptions& batch) {
  std::unique_ptr<TLiveInput> input;
  if (batch.capture) {
    auto device = std::make_unique<TQtCaptureDevice>(TQtCaptureDevice::FindInput(*batch.capture));
    const std::string description = device->Description();
    const std::string name = "sound card" + (description.empty() ? "" : " " + description);
    input = std::make_unique<TCaptureInput>(std::move(device), name);
  } else if (batch.standardInput) {
    input = std::make_unique<TWaveStreamInput>(STDIN_FILENO, "standard input",
                                               batch.rawRate.value_or(0));
  } else {
    const auto quiet =
        std::chrono::milliseconds(std::llround(batch.followQuiet.value_or(5) * 1000));
    input = std::make_unique<TGrowingWaveInput>(batch.input, quiet);
  }
  TLiveRunOptions live;
  if (!batch.output.empty()) {
    live.recordingFolder =
        batch.outputIsFolder ? batch.output : fs::path(batch.output).parent_path().string();
  }
  if (options_.sensorModel != smUnknown && batch.sensorModel)
    live.satellite = SensorModelName(options_.sensorModel);
  return LiveRun(*input, live);
}

int TProcessingRun::RunBatch(const TBatchOptions& batch,
                             const std::vector<std::string>& commandLine) {
  commandLine_ = commandLine;
  options_ = OptionsFromSettings(*settings_);
  {
    TOverlayRequest request;
    request.enable = batch.overlay;
    request.elements = batch.elements;
    request.homeLatitude = batch.homeLatitude;
    request.homeLongitude = batch.homeLongitude;
    request.start = batch.start;
    request.batch = !batch.interactiveDirectionOnly;
    // An explicit request without letters draws the map itself.
    request.batchElements =
        batch.overlay && batch.overlayElements.empty() ? "ABG" : batch.overlayElements;
    overlay_.SetRequest(std::move(request));
  }
  // What the command line asked of the overlay is for its own run only.
  struct RequestOff {
    TRunOverlay& overlay;
    ~RequestOff() { overlay.SetRequest({}); }
  } requestOff{overlay_};
  const bool live = batch.standardInput || batch.followQuiet || batch.capture;
  if (batch.interactiveDirectionOnly && !live) {
    options_.southBound = batch.southBound;
    return Dispatch(batch.input) ? 0 : 1;
  }
  batch_ = true;
  ApplyBatchOptions(options_, batch);
  struct BatchOff {
    bool& flag;
    ~BatchOff() { flag = false; }
  } off{batch_};

  // A live run's pictures are named after the recording it kept.
  std::string source = batch.input;
  failure_.clear();
  if (live) {
    if (!DispatchLive(batch)) return 1;
    source = fileName_;
  } else if (!Dispatch(batch.input)) {
    return 1;
  }
  if (IsEmpty(pictures_.main)) {
    const std::string what = fs::path(source).filename().string();
    const int lines = decoder_.LineCount();
    Fail(lines > 0 ? Format("only %d lines were decoded from %s, too few for a picture (at least "
                            "60); give a longer recording, or let the run go on",
                            lines, what.c_str())
         : fromPictureFile_ || type_ != dpNOAAapt || carrier_ <= 0
             ? "no picture was made from " + what + ": no line sync was found"
             : Format("no picture was decoded from %s: no line sync was found (%s); record the "
                      "receiver's audio output, not a demodulated envelope, or give the type "
                      "with --type NAME",
                      what.c_str(), CarrierFinding(carrier_).c_str()));
    return 1;
  }
  if (batch.output.empty()) return 0;
  std::string name = batch.output;
  if (batch.outputIsFolder) {
    name = (fs::path(batch.output) / fs::path(source).stem()).string() + ".";
  }
  if (IsGeostationary(type_) && fs::path(outputName_).stem() != fs::path(source).stem()) {
    // The header named the picture: keep that name, in the folder asked for.
    const fs::path folder =
        batch.outputIsFolder ? fs::path(batch.output) : fs::path(batch.output).parent_path();
    name = (folder / fs::path(outputName_).filename()).string();
  }
  host_.SetCaption("Vivurozed - saving files...");
  const bool ok = SaveAll(name, !options_.saveOnlyColour, false);
  if (ok && overlay_.HasOverlay() &&
      !overlay_.SaveLocationData(fs::path(name).replace_extension(".lcn").string())) {
    // The pictures stand without it; the last line still says what is missing.
    const auto& lines = log_.Lines();
    const std::string why = lines.size() >= 2 ? lines[lines.size() - 2] : "";
    failure_ = fs::path(name).replace_extension(".lcn").filename().string() +
               " (earth locations) was not saved: " + why + "; " + AdviceForError(why);
  }
  if (!ok || saver_.Written().empty()) {
    failure_ = SaveFailureReason(saver_.Failures(), saver_.Written());
  } else if (saver_.MainDeclined()) {
    failure_ = name + " already exists and was kept; give another output name";
  }
  return ok && !saver_.MainDeclined() && !saver_.Written().empty() ? 0 : 1;
}

}  // namespace vivurozed
