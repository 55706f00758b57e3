// The video decoder at the end of the chain: finds the line sync of the
// selected satellite type in the demodulated envelope, cuts the stream into
// lines and stores each, at sample resolution, as a row of a 16-bit image.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "decode/LineClock.h"
#include "decode/SignalVideoParamDefs.h"
#include "image/BMPExtImage.h"
#include "noaa/Thermal.h"
#include "platform/Diagnostics.h"
#include "platform/ImageLib.h"
#include "signal/SignalFilters.h"
#include "signal/SignalProcessing.h"

namespace vivurozed {

enum TDecoderState : std::uint8_t {
  dsSkip = 0,
  dsSearch = 1,
  dsRefine = 2,
  dsCollect = 3,
  dsLineEnd = 4,
  dsResearch = 5,
  dsGeoStart1 = 6,
  dsGeoStart2 = 7,
  dsGeoStart3 = 8,
  dsGeoStart4 = 9
};

// One line's telemetry measurements, written by the NOAA stage.
struct TNoaaLineStats {
  std::int32_t spaceA = 0, telemetryA = 0, spaceB = 0, telemetryB = 0;  // means
  std::int32_t spaceADeviation = 0, telemetryADeviation = 0, spaceBDeviation = 0,
               telemetryBDeviation = 0;
  std::int32_t black = 0;  // from the fit across the pass
  float gain = 0.0f;
};

class TColourMapping;  // the temperature-to-colour lookup of the NOAA stage

// The pictures and tables MakeImage passes through to the NOAA stage; any
// may be absent.
struct TNoaaPictures {
  TExtBitmap* channelA = nullptr;
  TExtBitmap* channelB = nullptr;
  TExtBitmap* infrared = nullptr;
  TExtBitmap* falseColour = nullptr;
  std::array<double, 256>* celsius = nullptr;
  bool luminanceFromIR = false;
  bool greenVegetation = true;
};

// Everything the NOAA channel and telemetry stage reads and writes.
struct TNoaaStageRequest {
  const TIplImage& image;  // the decoder's working image, rows at sample resolution
  // Out: when set, replaces the working image for the steps after the stage.
  std::unique_ptr<TIplImage> replacement;
  TNoaaPictures pictures;
  TDiagnostics* log;
  int& firstCleanLine;  // in/out; 0: to be found
  int& lastCleanLine;
  int& minuteMarkerPhase;                  // out
  std::vector<TNoaaLineStats>& lineStats;  // out, one per line
  const TColourMapping* tempToColourLookup;
  std::function<void(const std::string& text, int percent)> progress;
  float gamma;
  TSharpen sharpen;
  bool largeImage, equaliseHistogram, cropNoise;
  int illumination;  // 0 none, 1 slight, 2 more
  bool rotate180, frameMarkers;
  TSensor& sensor;
};
// True when the picture was processed as NOAA, false when left alone.
using TNoaaStage = std::function<bool(TNoaaStageRequest& request)>;

// Kinds of progress call: a run begins, goes on, ends.
enum TProgressKind : std::uint8_t { pkBegin = 0, pkProgress = 1, pkEnd = 2 };

class TCustomVideoDecoder : public TSignalProcessor {
 public:
  using TProgressEvent = std::function<void(TCustomVideoDecoder& sender, TProgressKind kind,
                                            const std::string& text, int percent)>;
  using TTickSource = std::function<std::int64_t()>;  // milliseconds

  TCustomVideoDecoder();

  int LineCount() const { return lineCount_; }
  int RXSampleRate() const { return rxSampleRate_; }
  void SetRXSampleRate(int rate);
  void SetOnProgress(TProgressEvent e) { onProgress_ = std::move(e); }
  // The clock that throttles progress calls; steady time unless a test sets one.
  void SetTickSource(TTickSource ticks) { ticks_ = std::move(ticks); }

  int PercentDone() const { return percentDone_; }
  float HighestLevel() const { return highestLevel_; }
  float LowestLevel() const { return lowestLevel_; }
  int HighestPixel() const { return highestPixel_; }
  int LowestPixel() const { return lowestPixel_; }
  TDecoderState State() const { return state_; }
  int SyncTemplateLength() const { return static_cast<int>(template_.size()); }
  const std::vector<float>& SyncTemplate() const { return template_; }
  int LineLength() const { return lineLength_; }
  // The stored image; null before a run and after a run that stored nothing.
  const TIplImage* Image() const { return image_.get(); }
  TIplImage* Image() { return image_.get(); }

  TSensor& Sensor() { return *sensor_; }
  TSensorModel SensorModel() const { return sensor_->Model(); }
  void SetSensorModel(TSensorModel m) { sensor_->SetModel(m); }
  TPassband Passband() const { return passband_; }
  void SetPassband(TPassband p) { passband_ = p; }
  float Gamma() const { return gamma_; }

  virtual void AllocateBuffers();

 protected:
  void Process(SampleBlock block) override;
  // Decodes the first `count` pairs of `pairs`; at least twice the template
  // length of further pairs follow them, so every pair can be correlated.
  virtual void DecodeBlock(std::span<TSample> pairs, int count) = 0;
  void Progress(TProgressKind kind, const std::string& text);

  // Buffers.
  std::vector<TSample> sampleBuffer_;
  std::vector<float> sliced_;  // the pairs' second components, contiguous
  int sampleHeld_ = 0;
  int overlap_ = 0;
  std::vector<float> template_;
  int lineLength_ = 0;  // N
  int missing_ = 0;     // R
  std::vector<float> line_, previousLine_;
  int writeIndex_ = 0;   // J
  float best_ = -1e10f;  // B
  int rises_ = 0;        // K
  int lowestPixel_ = 100000, highestPixel_ = 0;
  std::unique_ptr<TIplImage> image_;
  float gamma_ = 2.2f;
  std::int64_t toCome_ = 0;
  int percentDone_ = 0;
  int lineCount_ = 0;
  int syncCycles_ = 1, syncHz_ = 256, rxSampleRate_ = 0, linesPerSecond_ = 2;
  int extraSamples_ = 0;
  std::unique_ptr<TSensor> sensor_;
  float highestLevel_ = -100000.0f, lowestLevel_ = 100000.0f;
  float toneThreshold_ = 0.0f;
  TPassband passband_ = pbNormal;
  float slicerWeights_[2] = {0.5f, 0.5f};
  bool slicerOn_ = true;
  int skipCounter_ = 0;
  TDecoderState state_ = dsSkip;

 private:
  void Receive(std::span<TSample> block);
  TProgressEvent onProgress_;
  TTickSource ticks_;
  std::int64_t lastProgressTick_ = 0;
  bool progressDelivered_ = false;
};

class TSatelliteVideoDecoder : public TCustomVideoDecoder {
 public:
  TSatelliteVideoDecoder();

  bool AutoBlack() const { return autoBlack_; }
  void SetAutoBlack(bool v) { autoBlack_ = v; }
  bool CropNoise() const { return cropNoise_; }
  void SetCropNoise(bool v) { cropNoise_ = v; }
  TDecodeParameters DecodeParameters() const { return decodeParameters_; }
  void SetDecodeParameters(TDecodeParameters type);
  bool EqualiseHistogram() const { return equaliseHistogram_; }
  void SetEqualiseHistogram(bool v) { equaliseHistogram_ = v; }
  void SetGamma(float g);
  bool LargeImage() const { return largeImage_; }
  void SetLargeImage(bool v) { largeImage_ = v; }
  TSharpen Sharpen() const { return sharpen_; }
  void SetSharpen(TSharpen s) { sharpen_ = s; }
  bool Use832HzSync() const { return use832_; }
  // Takes effect at the next setting of DecodeParameters.
  void SetUse832HzSync(bool v) { use832_ = v; }
  bool WideSyncWindow() const { return wideSyncWindow_; }
  void SetWideSyncWindow(bool v) { wideSyncWindow_ = v; }
  float SyncBoost() const { return syncBoost_; }
  void SetSyncBoost(float b) { syncBoost_ = b; }

  // At most an hour of signal becomes picture (about 24 kB per second, so
  // under 100 MB of stored lines); a longer recording stops there.
  static constexpr int kMaxPictureSeconds = 3600;
  // Lines a picture may hold: MaxLines() when set above 0, else an hour's.
  int MaxLines() const;
  void SetMaxLines(int lines) { maxLines_ = lines; }
  // The last line the cap allows is stored and more signal came: the rest
  // of the recording has nowhere to go.
  bool Full() const { return full_; }

  int PixelsPerLine() const { return pixelsPerLine_; }
  int WidestLine() const { return widestLine_; }
  int SyncWindow() const { return syncWindow_; }
  float SyncThreshold() const { return syncThreshold_; }
  double MeasuredSampleRate() const { return measuredSampleRate_; }
  const std::vector<float>& ColumnSums() const { return columnSums_; }
  const std::array<int, 32768>& Histogram() const { return histogram_; }
  int SkipCounter() const { return skipCounter_; }
  bool FromImageFile() const { return fromImageFile_; }
  std::chrono::milliseconds Elapsed() const { return elapsed_; }
  std::chrono::milliseconds PostElapsed() const { return postElapsed_; }  // of MakeImage

  void AllocateBuffers() override;
  void BeginData() override;
  void EndData() override;

  // Re-processing of saved pictures: each 8-bit pixel is stored as value x 64.
  // False, with nothing changed, for unsuitable input.
  bool LoadFromPixels(int width, int height, std::span<const std::uint8_t> pixels, int rowStride);
  bool LoadFromRawFile(const std::string& fileName);
  // The bytes of a ".noa" or ".max" file: 1024-byte records, the first a
  // header, at most MaxLines() + 1 of them.
  bool LoadFromRawBytes(std::span<const std::uint8_t> bytes);
  // An 8-bit picture with a width and more than 59 rows; false otherwise.
  bool LoadFromBitmap(const TExtBitmap& bitmap);

  // Turns the stored image into the display picture (8-bit, grey). bitmap
  // may be null, as may any of the NOAA pictures; tapeInput lets the
  // Meteor and Resurs gain follow the peak level; wefaxHeader receives the
  // decoded geostationary header. True when the bitmap was filled.
  bool MakeImage(TExtBitmap* bitmap, const TNoaaPictures& noaa = {}, bool tapeInput = false,
                 std::string* wefaxHeader = nullptr);

  // Told the image row just written, as each line is stored, so that a host
  // can show the picture growing.
  void SetOnLine(std::function<void(int row)> e) { onLine_ = std::move(e); }

  // The NOAA channel and telemetry stage; without one a NOAA picture is
  // post-processed like any other.
  void SetNoaaStage(TNoaaStage stage) { noaaStage_ = std::move(stage); }
  const TColourMapping* TempToColourLookup() const { return tempToColourLookup_; }
  void SetTempToColourLookup(const TColourMapping* lookup) { tempToColourLookup_ = lookup; }
  int FirstCleanLine() const { return firstCleanLine_; }
  void SetFirstCleanLine(int v) { firstCleanLine_ = v; }
  int LastCleanLine() const { return lastCleanLine_; }
  void SetLastCleanLine(int v) { lastCleanLine_ = v; }
  int MinuteMarkerPhase() const { return minuteMarkerPhase_; }
  // Seconds into the stream at which the first stored line began; negative
  // before any line was stored.
  double FirstLineSeconds() const;
  const std::vector<TNoaaLineStats>& NoaaLineStats() const { return noaaLineStats_; }
  // Left edge of the last geostationary framing, in stored columns.
  int WefaxLeftEdge() const { return wefaxLeftEdge_; }

  // Set by the run before BeginData and MakeImage.
  bool AttemptReSync = false;
  bool Despeckle = false;
  TDiagnostics* Log = nullptr;
  // The pass-direction flag: set, the picture is turned by half a turn.
  bool Rotate180 = false;
  // Read only by the NOAA stage.
  int Illumination = 0;  // 0 none, 1 slight, 2 more
  bool FrameMarkers = false;

 protected:
  void DecodeBlock(std::span<TSample> pairs, int count) override;

 private:
  float Correlation(const TSample* at) const;
  bool SearchCandidate(std::span<TSample> pairs, int k, int count, float theta);
  int LineEndPeak(const TSample* from);
  float PeakFraction(const TSample* peak) const;
  void EndLine(float value, float correlation, float theta);
  void StoreLine(int fillCount);
  void PlainStore(std::span<const float> line, const TRowOrigin& origin = {});
  void AllocateImage(int width, int height);
  void PostProgress(const std::string& text, int percent);
  std::unique_ptr<TIplImage> RunNoaaStage(const TNoaaPictures& noaa);
  bool BuildPicture(TExtBitmap* bitmap, const TNoaaPictures& noaa, bool tapeInput,
                    std::string* wefaxHeader);
  void AddLog(std::string line) {
    if (Log) Log->Add(std::move(line));
  }

  bool autoBlack_ = false, cropNoise_ = false, equaliseHistogram_ = false;
  bool largeImage_ = true, use832_ = false, wideSyncWindow_ = false;
  TDecodeParameters decodeParameters_ = dpMeteor35;
  TSharpen sharpen_ = shSharpen;
  float syncBoost_ = 1.0f;

  int syncWindow_ = 10;  // W_s
  float syncThreshold_ = 0.6f;
  bool absoluteCorrelation_ = false;
  std::string searchText_, lossText_;
  std::int64_t sampleIndex_ = 0;  // n
  std::int64_t geoLine2Index_ = 0, lossIndex_ = 0;
  std::int64_t firstLineEnd_ = -1;
  int fillCount_ = 0;  // F
  double measuredSampleRate_ = 0.0;
  std::chrono::steady_clock::time_point started_;
  std::chrono::milliseconds elapsed_{};
  int pixelsPerLine_ = 0, widestLine_ = 0;
  std::vector<float> columnSums_, carry_;
  int splitOffset_ = 0;
  bool carryValid_ = false;
  std::array<int, 32768> histogram_{};
  int zeroCrossings_ = 0;  // Z
  bool positive_ = false;
  bool fromImageFile_ = false;
  int maxLines_ = 0;
  bool capped_ = false, full_ = false;
  bool wefaxHeaderDone_ = false;
  TResonatorDesign resonator_;
  TResonatorState resonatorState_;
  float toneLevel_ = 0.0f;  // u
  int lineEndOpen_ = 1;     // the write index at which the line-end window opens
  int lineEndCountdown_ = 0;
  std::int64_t storedLines_ = 0;  // rows written this run, overwrites included
  // Where each stored row began in the stream; the line being collected
  // began at lineStream_, its sync peak lineFraction_ of a sample off it.
  std::vector<TRowOrigin> rowOrigins_;
  std::int64_t lineStream_ = 0;
  float lineFraction_ = 0.0f, peakFraction_ = 0.0f;

  TNoaaStage noaaStage_;
  std::function<void(int row)> onLine_;
  const TColourMapping* tempToColourLookup_ = nullptr;
  int firstCleanLine_ = 0, lastCleanLine_ = 0, minuteMarkerPhase_ = 0;
  std::vector<TNoaaLineStats> noaaLineStats_;
  int wefaxLeftEdge_ = 0;
  // The column sums no longer describe the stored image (it was framed).
  bool profileStale_ = false;
  std::chrono::milliseconds postElapsed_{};
};

}  // namespace vivurozed
