#include "decode/SignalVideoDecode.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "decode/SignalVideoPost.h"
#include "decode/SignalWEFAX.h"
#include "platform/VectorLib.h"

namespace vivurozed {

namespace {

constexpr char kEndMarker[] = "DATASTREAM ";
constexpr int kEndMarkerLength = 11;
constexpr float kNoBest = -1e10f;

std::int64_t SteadyMilliseconds() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The count a block's end marker gives, or -1 when it carries none.
int MarkedLength(std::span<const TSample> block) {
  const int count = static_cast<int>(block.size());
  if (count < kEndMarkerLength + 1) return -1;
  for (int i = 0; i < kEndMarkerLength; ++i) {
    const float v = block[static_cast<std::size_t>(count - 1 - i)].real();
    if (!(v >= 0.0f && v < 256.0f) || static_cast<int>(v) != kEndMarker[i]) return -1;
  }
  const float n = block[static_cast<std::size_t>(count - kEndMarkerLength - 1)].real();
  // A marker whose count is out of range cannot be trusted to cut anything.
  if (!(n >= 0.0f && n <= static_cast<float>(count - kEndMarkerLength - 1))) return -1;
  return static_cast<int>(n);
}

// The extremes of s <- (7 s + x) / 8 over the block, s starting at `start`.
// Four steps are taken at once from the same s, so the chain of dependent
// operations is a quarter as long as a plain loop's.
void SmoothedExtremes(std::span<const TSample> block, float start, float& smallest,
                      float& largest) {
  constexpr float a = 0.875f, b = 0.125f;
  constexpr float a2 = a * a, a3 = a2 * a, a4 = a3 * a;
  float s = start;
  std::size_t i = 0;
  for (; i + 4 <= block.size(); i += 4) {
    const float x1 = b * block[i].real(), x2 = b * block[i + 1].real();
    const float x3 = b * block[i + 2].real(), x4 = b * block[i + 3].real();
    const float s1 = a * s + x1;
    const float s2 = a2 * s + (a * x1 + x2);
    const float s3 = a3 * s + (a2 * x1 + a * x2 + x3);
    const float s4 = a4 * s + (a3 * x1 + a2 * x2 + a * x3 + x4);
    smallest = std::min({smallest, s1, s2, s3, s4});
    largest = std::max({largest, s1, s2, s3, s4});
    s = s4;
  }
  for (; i < block.size(); ++i) {
    s = a * s + b * block[i].real();
    smallest = std::min(smallest, s);
    largest = std::max(largest, s);
  }
}

}  // namespace

// --- TCustomVideoDecoder -----------------------------------------------------

TCustomVideoDecoder::TCustomVideoDecoder() : sensor_(std::make_unique<TSensor>()) {
  syncHz_ = 256;
  linesPerSecond_ = 2;
  SetRXSampleRate(11025);
}

void TCustomVideoDecoder::SetRXSampleRate(int rate) {
  rxSampleRate_ = std::max(rate, 1);
  AllocateBuffers();
}

void TCustomVideoDecoder::AllocateBuffers() {
  const int rate = rxSampleRate_;
  template_ =
      BuildSyncTemplate(syncCycles_ > 1 ? dpNOAAapt : dpWEFAX, rate, syncHz_, syncCycles_, 0.0f)
          .samples;
  overlap_ = 2 * static_cast<int>(template_.size());
  // 1.2 s of pairs, and always room for the overlap and a fair piece beyond it.
  const int capacity = std::max(rate * 2 * 3 / 5, overlap_ + 4096);
  sampleBuffer_.assign(static_cast<std::size_t>(capacity), TSample{});
  sliced_.assign(static_cast<std::size_t>(capacity), 0.0f);
  sampleHeld_ = 0;
  lineLength_ = rate / std::max(linesPerSecond_, 1) + extraSamples_;
  line_.assign(static_cast<std::size_t>(lineLength_), 0.0f);
  previousLine_.assign(static_cast<std::size_t>(lineLength_), 0.0f);
  highestLevel_ = -100000.0f;
  lowestLevel_ = 100000.0f;
}

void TCustomVideoDecoder::Progress(TProgressKind kind, const std::string& text) {
  if (!onProgress_) return;
  const std::int64_t now = ticks_ ? ticks_() : SteadyMilliseconds();
  if (kind == pkProgress && progressDelivered_ && now - lastProgressTick_ < 100) return;
  lastProgressTick_ = now;
  progressDelivered_ = true;
  onProgress_(*this, kind, text, percentDone_);
}

void TCustomVideoDecoder::Process(SampleBlock block) {
  TimedScope timer(*this);
  if (sampleBuffer_.empty()) AllocateBuffers();
  const int marked = MarkedLength(block);
  if (marked >= 0) block = block.first(static_cast<std::size_t>(marked));

  if (slicerOn_ && !block.empty()) {
    // Eight running sums instead of one: the additions no longer wait on
    // each other, and the sum is no less exact.
    float sums[8] = {};
    std::size_t i = 0;
    for (; i + 8 <= block.size(); i += 8)
      for (std::size_t j = 0; j < 8; ++j) sums[j] += block[i + j].real();
    for (; i < block.size(); ++i) sums[i % 8] += block[i].real();
    float mean = 0.0f;
    for (float v : sums) mean += v;
    mean /= static_cast<float>(block.size());
    float smallest = mean, largest = mean;
    SmoothedExtremes(block, mean, smallest, largest);
    const float level = slicerWeights_[0] * smallest + slicerWeights_[1] * largest;
    highestLevel_ = std::max(highestLevel_, largest);
    lowestLevel_ = std::min(lowestLevel_, smallest);
    for (TSample& p : block) p.imag(p.real() - level > 0 ? 1.0f : -1.0f);
  }

  // A block longer than the buffer can take is decoded in pieces.
  const int room = static_cast<int>(sampleBuffer_.size()) - overlap_;
  for (std::size_t done = 0; done < block.size();) {
    const int take = static_cast<int>(
        std::min<std::size_t>(block.size() - done, static_cast<std::size_t>(room)));
    const int space = static_cast<int>(sampleBuffer_.size()) - sampleHeld_;
    const int n = std::min(take, space);
    std::copy_n(block.begin() + static_cast<std::ptrdiff_t>(done), n,
                sampleBuffer_.begin() + sampleHeld_);
    for (int i = 0; i < n; ++i) {
      sliced_[static_cast<std::size_t>(sampleHeld_ + i)] =
          block[done + static_cast<std::size_t>(i)].imag();
    }
    sampleHeld_ += n;
    done += static_cast<std::size_t>(n);
    Receive(std::span(sampleBuffer_).first(static_cast<std::size_t>(sampleHeld_)));
  }

  toCome_ -= static_cast<std::int64_t>(block.size());
  const int total = TotalSamples();
  percentDone_ =
      total > 0 ? static_cast<int>(100 - 100 * std::max<std::int64_t>(toCome_, 0) / total) : 0;
}

void TCustomVideoDecoder::Receive(std::span<TSample> held) {
  if (sampleHeld_ <= overlap_) return;
  DecodeBlock(held, sampleHeld_ - overlap_);
  std::copy(held.end() - overlap_, held.end(), sampleBuffer_.begin());
  std::copy_n(sliced_.begin() + (sampleHeld_ - overlap_), overlap_, sliced_.begin());
  sampleHeld_ = overlap_;
}

// --- TSatelliteVideoDecoder ----------------------------------------------------

TSatelliteVideoDecoder::TSatelliteVideoDecoder() {
  gamma_ = 2.2f;
  SetDecodeParameters(dpMeteor35);
}

void TSatelliteVideoDecoder::SetGamma(float g) {
  gamma_ = std::clamp(g, 0.2f, 5.0f);
}

void TSatelliteVideoDecoder::SetDecodeParameters(TDecodeParameters type) {
  decodeParameters_ = type;
  absoluteCorrelation_ = false;
  const TDecodeTypeRow row = DecodeTypeRow(type, use832_);
  linesPerSecond_ = row.linesPerSecond;
  syncHz_ = row.syncHz;
  syncCycles_ = row.cycles;
  pixelsPerLine_ = row.pixels;
  syncThreshold_ = row.threshold;
  absoluteCorrelation_ = row.absoluteCorrelation;
  if (IsGeostationary(type)) {
    resonator_ = DesignResonator(2400.0, 36.0, rxSampleRate_);
    resonatorState_.Clear();
  }
  AllocateBuffers();
}

void TSatelliteVideoDecoder::AllocateBuffers() {
  extraSamples_ = 0;
  TCustomVideoDecoder::AllocateBuffers();
  const TDecodeParameters type = decodeParameters_;
  if (type == dpSich6 || type == dpSich || type == dpOkeanO37) {
    const TSyncTemplate t =
        BuildSyncTemplate(type, rxSampleRate_, syncHz_, syncCycles_, syncThreshold_);
    template_ = t.samples;
    syncThreshold_ = t.threshold;
    overlap_ = 2 * static_cast<int>(template_.size());
  }
  if (type == dpMeteor35 || type == dpMeteor221) extraSamples_ = 9;
  if (type == dpResursO1N4) extraSamples_ = 7;
  lineLength_ = rxSampleRate_ / std::max(linesPerSecond_, 1) + extraSamples_;
  line_.assign(static_cast<std::size_t>(lineLength_), 0.0f);
  previousLine_.assign(static_cast<std::size_t>(lineLength_), 0.0f);
  sampleHeld_ = 0;
}

void TSatelliteVideoDecoder::AllocateImage(int width, int height) {
  image_ = width > 0 && height > 0 ? iplCreateImage(width, height, idDepth16u) : nullptr;
}

void TSatelliteVideoDecoder::BeginData() {
  const int rate = rxSampleRate_;
  if (IsSingleCycle(decodeParameters_)) {
    syncWindow_ = 10;
  } else {
    syncWindow_ = rate / ((wideSyncWindow_ ? 2 : 3) * syncHz_);
  }
  // A line starts two pairs after a sync peak, so the next peak is due two
  // pairs before a nominal line length.
  lineEndOpen_ = std::max(rate / linesPerSecond_ - 2 - syncWindow_, 1);
  percentDone_ = 0;
  toCome_ = TotalSamples();
  sampleIndex_ = 0;
  firstLineEnd_ = -1;
  const int width = static_cast<int>(std::nearbyint(1.1 * rate / linesPerSecond_));
  std::int64_t lines = std::int64_t{linesPerSecond_} * TotalSamples() / std::max(rate, 1);
  capped_ = lines > MaxLines();
  full_ = false;
  int height = static_cast<int>(std::min<std::int64_t>(lines, MaxLines()));
  height -= height & 1;
  AllocateImage(width, height);
  rowOrigins_.assign(static_cast<std::size_t>(std::max(height, 0)), TRowOrigin{});
  lineStream_ = 0;
  lineFraction_ = peakFraction_ = 0.0f;
  firstCleanLine_ = lastCleanLine_ = 0;  // a new picture finds its own
  lineCount_ = 0;
  storedLines_ = 0;
  profileStale_ = false;
  widestLine_ = 0;
  columnSums_.assign(static_cast<std::size_t>(std::max(width, 0)), 0.0f);
  carry_.assign(static_cast<std::size_t>(std::max(width, lineLength_)), 0.0f);
  const int templateLength = static_cast<int>(template_.size());
  splitOffset_ = (syncCycles_ - 1) * templateLength / std::max(syncCycles_, 1);
  carryValid_ = false;
  lowestPixel_ = 100000;
  highestPixel_ = 0;
  wefaxHeaderDone_ = false;
  slicerOn_ = true;
  sampleHeld_ = 0;
  missing_ = lineLength_;
  writeIndex_ = 0;
  best_ = kNoBest;
  rises_ = 0;
  fillCount_ = 0;
  zeroCrossings_ = 0;
  std::fill(line_.begin(), line_.end(), 0.0f);

  searchText_ = IsSingleCycle(decodeParameters_)
                    ? Format("Find %.0f ms sync", 1000.0 / syncHz_)
                    : Format("Find %d cycles %d Hz sync", syncCycles_, syncHz_);
  Progress(pkBegin, searchText_);

  if (skipCounter_ > 0) {
    skipCounter_ -= syncCycles_ * 9 * rate / (4 * syncHz_);
    skipCounter_ %= rate / linesPerSecond_;
    if (decodeParameters_ == dpOkean || skipCounter_ < 0) skipCounter_ = 0;
  }
  histogram_.fill(0);
  TSignalProcessor::BeginData();
  started_ = std::chrono::steady_clock::now();
  state_ = dsSkip;
}

void TSatelliteVideoDecoder::EndData() {
  elapsed_ = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - started_);
  // The profile is the mean of the lines stored, however many that was.
  if (storedLines_ > 0) {
    for (float& s : columnSums_) s /= static_cast<float>(storedLines_);
  }
  if (lineCount_ & 1) --lineCount_;
  if (image_) {
    const int rows = lineCount_, columns = std::min(widestLine_, image_->Width());
    if (rows > 0 && columns > 0) {
      image_->Crop(columns, rows);
      if (decodeParameters_ == dpOkeanO37) iplMirror(*image_, *image_, maLeftRight);
    } else {
      image_.reset();
    }
  }
  rowOrigins_.resize(image_ ? static_cast<std::size_t>(image_->Height()) : 0);
  if (Log) {
    std::int64_t total = 0;
    for (int c : histogram_) total += c;
    const std::int64_t target = total - total / 1000;
    int value = 32767;
    while (total > target && value > 0) {
      total -= histogram_[static_cast<std::size_t>(value)];
      --value;
    }
    AddLog(value <= 28500 ? "Signal level is OK"
                          : "## Warning, signal level too high and may be clipping ##");
  }
  fromImageFile_ = false;
  TSignalProcessor::EndData();
}

float TSatelliteVideoDecoder::Correlation(const TSample* at) const {
  // The second components are kept contiguous beside the pairs, so that
  // this product, run at every sample of a search, vectorises.
  const float* second = sliced_.data() + (at - sampleBuffer_.data());
  const float* t = template_.data();
  const std::size_t n = template_.size();
  // Two four-lane partial sums: one running sum would wait on itself at
  // every step.
  using Lanes = float __attribute__((vector_size(16)));
  Lanes a = {0, 0, 0, 0}, b = {0, 0, 0, 0};
  std::size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    Lanes x0, x1, t0, t1;
    std::memcpy(&x0, second + i, sizeof x0);
    std::memcpy(&x1, second + i + 4, sizeof x1);
    std::memcpy(&t0, t + i, sizeof t0);
    std::memcpy(&t1, t + i + 4, sizeof t1);
    a += x0 * t0;
    b += x1 * t1;
  }
  const Lanes c = a + b;
  float sum = (c[0] + c[1]) + (c[2] + c[3]);
  for (; i < n; ++i) sum += second[i] * t[i];
  return n ? sum / static_cast<float>(n) : 0.0f;
}

bool TSatelliteVideoDecoder::SearchCandidate(std::span<TSample> pairs, int k, int count,
                                             float theta) {
  const TSample* p = pairs.data() + k;
  const float c = Correlation(p);
  if (!(c > theta)) return false;
  const int length = static_cast<int>(template_.size());
  if (syncCycles_ > 10) {
    // Entered mid-burst: a cycle later the match is better, so move on.
    const int h = static_cast<int>(std::nearbyint(static_cast<double>(rxSampleRate_) / syncHz_));
    if (length + h < 2 * length && Correlation(p + h) > c) {
      skipCounter_ = h / 2;
      state_ = dsSkip;
      return false;
    }
  }
  if (decodeParameters_ == dpSich) {
    if (count - k < 5 * length / 3) return false;
    const int offsets[] = {length / 6 - 2, 3 * length / 6 - 2, 5 * length / 6 - 2,
                           7 * length / 6 - 2, 9 * length / 6 - 2};
    const bool wantPositive[] = {false, false, true, false, false};
    for (int i = 0; i < 5; ++i) {
      if ((p[offsets[i]].imag() > 0) != wantPositive[i]) return false;
    }
  }
  fillCount_ = 0;
  if (state_ == dsResearch) {
    const double gap = static_cast<double>(sampleIndex_ - lossIndex_) / rxSampleRate_;
    fillCount_ = static_cast<int>(std::trunc(linesPerSecond_ * gap + 0.5));
    AddLog(lossText_ + Format("relock after %.3f seconds", gap));
  }
  state_ = dsRefine;
  best_ = c;
  Progress(pkProgress, "Refine sync");
  return true;
}

void TSatelliteVideoDecoder::DecodeBlock(std::span<TSample> pairs, int count) {
  if (!slicerOn_) {
    for (int k = 0; k < count; ++k) {
      TSample& p = pairs[static_cast<std::size_t>(k)];
      p.imag(static_cast<float>(resonatorState_.Step(resonator_, p.imag())));
      sliced_[static_cast<std::size_t>(k)] = p.imag();
    }
  }
  if (state_ == dsSearch || state_ == dsResearch) Progress(pkProgress, searchText_);
  const float theta = syncBoost_ != 0.0f ? syncThreshold_ / syncBoost_ : syncThreshold_;
  const bool geostationary = IsGeostationary(decodeParameters_);

  for (int k = 0; k < count; ++k, ++sampleIndex_) {
    if (state_ == dsCollect && !geostationary) {
      // Most of every line: store samples up to the line-end window in one
      // go. Only the geostationary line clock counts zero crossings.
      const int m = std::min(count - k, std::max(lineEndOpen_ - writeIndex_, 1));
      const int stored = std::clamp(lineLength_ - writeIndex_, 0, m);
      for (int i = 0; i < stored; ++i) {
        line_[static_cast<std::size_t>(writeIndex_ + i)] =
            pairs[static_cast<std::size_t>(k + i)].real();
      }
      writeIndex_ += m;
      missing_ -= m;
      k += m - 1;
      sampleIndex_ += m - 1;
      if (writeIndex_ >= lineEndOpen_) {
        state_ = dsLineEnd;
        lineEndCountdown_ = LineEndPeak(pairs.data() + k + 1) + 2;
      }
      continue;
    }
    TSample& p = pairs[static_cast<std::size_t>(k)];
    const float v = p.real();
    if ((p.imag() > 0) != positive_) {
      positive_ = p.imag() > 0;
      ++zeroCrossings_;
    }
    switch (state_) {
      case dsSkip:
        if (skipCounter_ >= 1) {
          --skipCounter_;
        } else {
          state_ = dsSearch;
        }
        break;
      case dsSearch:
      case dsResearch:
        SearchCandidate(pairs, k, count, theta);
        break;
      case dsRefine: {
        const float c = Correlation(&p);
        if (c >= best_) {
          best_ = c;
          break;
        }
        missing_ = lineLength_;
        writeIndex_ = 0;
        best_ = kNoBest;
        rises_ = 0;
        state_ = dsCollect;
        lineStream_ = sampleIndex_ + 1;
        lineFraction_ = 0.0f;
        if (geostationary) {
          state_ = dsGeoStart1;
          toneThreshold_ = 0.6f * highestLevel_;
          zeroCrossings_ = 0;
          toneLevel_ = 0.0f;
          slicerOn_ = false;
        }
        break;
      }
      case dsCollect:
        if (writeIndex_ < lineLength_) line_[static_cast<std::size_t>(writeIndex_)] = v;
        ++writeIndex_;
        --missing_;
        if (!geostationary) {
          if (writeIndex_ >= lineEndOpen_) {
            state_ = dsLineEnd;
            lineEndCountdown_ = LineEndPeak(&p + 1) + 2;
          }
        } else if (writeIndex_ > 100 && zeroCrossings_ % 1200 == 0) {
          EndLine(v, 0.0f, theta);
        }
        break;
      case dsLineEnd: {
        if (missing_ > 0) {
          line_[static_cast<std::size_t>(writeIndex_)] = v;
          ++writeIndex_;
          --missing_;
        }
        if (--lineEndCountdown_ > 0) break;
        float c = Correlation(&p);
        if (absoluteCorrelation_) c = std::fabs(c);
        EndLine(v, c, theta);
        break;
      }
      case dsGeoStart1:
      case dsGeoStart2:
      case dsGeoStart3:
      case dsGeoStart4: {
        toneLevel_ = (7 * toneLevel_ + v) / 8;
        const bool high = state_ == dsGeoStart1 || state_ == dsGeoStart3;
        const bool reached = high ? toneLevel_ > toneThreshold_ : toneLevel_ < toneThreshold_;
        if (!reached || zeroCrossings_ <= (high ? 50 : 1100)) break;
        if (state_ == dsGeoStart4) {
          zeroCrossings_ = 1195;
          state_ = dsCollect;
          break;
        }
        static constexpr float kNext[] = {0.4f, 0.7f, 0.33f};
        toneThreshold_ = kNext[state_ - dsGeoStart1] * highestLevel_;
        zeroCrossings_ = 0;
        state_ = static_cast<TDecoderState>(state_ + 1);
        break;
      }
    }
  }
}

// The line ends just after the correlation peak nearest the nominal line
// end, found within W_s either side of it (a third of a sync cycle, so no
// neighbouring or inverted cycle can be taken for it). The window reaches
// before the nominal end as well as after: a recorder clock a few hundred
// ppm fast puts the next sync a sample or two early, and a window that only
// opened at the nominal end would miss it and let the picture drift. The
// pairs ahead are already in the buffer, so the peak is found by looking
// ahead rather than by waiting for the correlation to fall.
int TSatelliteVideoDecoder::LineEndPeak(const TSample* from) {
  const int span = std::min(2 * syncWindow_, static_cast<int>(template_.size()) - 2);
  int peak = 0;
  float best = kNoBest;
  for (int d = 0; d <= span; ++d) {
    float c = Correlation(from + d);
    if (absoluteCorrelation_) c = std::fabs(c);
    if (c > best) {
      best = c;
      peak = d;
    }
  }
  rises_ = peak;
  peakFraction_ = PeakFraction(from + peak);
  return peak;
}

// Where between its neighbours the correlation peak lies, from a parabola
// through the three: a fraction of a sample, -0.5 .. 0.5.
float TSatelliteVideoDecoder::PeakFraction(const TSample* peak) const {
  float before = Correlation(peak - 1), at = Correlation(peak), after = Correlation(peak + 1);
  if (absoluteCorrelation_) {
    before = std::fabs(before);
    at = std::fabs(at);
    after = std::fabs(after);
  }
  const float curvature = before - 2 * at + after;
  if (!(curvature < 0)) return 0.0f;
  return std::clamp(0.5f * (before - after) / curvature, -0.5f, 0.5f);
}

void TSatelliteVideoDecoder::EndLine(float value, float correlation, float theta) {
  std::fill(line_.begin() + std::min(writeIndex_, lineLength_), line_.end(), value);
  StoreLine(fillCount_);
  fillCount_ = 0;
  lineStream_ = sampleIndex_ + 1;
  lineFraction_ = peakFraction_;
  peakFraction_ = 0.0f;
  if (rises_ < 2 * syncWindow_) previousLine_ = line_;  // the peak was inside the window
  Progress(pkProgress, "Process wave file");
  std::fill(line_.begin(), line_.end(), 0.0f);
  // The geostationary line clock computes no correlation, so it has no loss test.
  if (AttemptReSync && !IsGeostationary(decodeParameters_) && correlation < 0.33f * theta) {
    state_ = dsResearch;
    lossIndex_ = sampleIndex_;
    lossText_ = Format("NOAA sync loss at line %d, ", lineCount_);
  } else {
    state_ = dsCollect;
  }
  missing_ = lineLength_;
  writeIndex_ = 0;
  best_ = kNoBest;
  rises_ = 0;
  if (IsGeostationary(decodeParameters_)) {
    if (lineCount_ == 2) geoLine2Index_ = sampleIndex_;
    if (lineCount_ == 18) {
      measuredSampleRate_ = static_cast<double>(sampleIndex_ - geoLine2Index_) / 4.0;
      AddLog(Format("GOES/GMS measured sample rate: %.1f", measuredSampleRate_));
    }
  }
}

void TSatelliteVideoDecoder::StoreLine(int fillCount) {
  if (firstLineEnd_ < 0) firstLineEnd_ = sampleIndex_;
  if (fillCount > 0) {
    for (std::size_t i = 0; i < previousLine_.size(); ++i) {
      previousLine_[i] = (previousLine_[i] + line_[i]) / 2;
    }
    for (int i = 0; i < fillCount; ++i) PlainStore(previousLine_);
  }
  if (decodeParameters_ != dpMeteor35) {
    const int received = std::min(writeIndex_, lineLength_);
    PlainStore(line_, {lineStream_, received, static_cast<double>(lineStream_) + lineFraction_});
    return;
  }
  // The sync sits mid-line: store from one sync to the next.
  const std::size_t n = line_.size();
  const std::size_t p = std::min(static_cast<std::size_t>(splitOffset_), n);
  if (carryValid_) {
    std::copy_n(line_.begin(), p, carry_.begin() + static_cast<std::ptrdiff_t>(n - p));
    PlainStore(std::span(carry_).first(n));
    std::copy(line_.begin() + static_cast<std::ptrdiff_t>(p), line_.end(), carry_.begin());
  } else {
    std::copy(line_.begin() + static_cast<std::ptrdiff_t>(p), line_.end(), carry_.begin());
    carryValid_ = true;
  }
}

void TSatelliteVideoDecoder::PlainStore(std::span<const float> line, const TRowOrigin& origin) {
  if (!image_) return;
  if (static_cast<std::size_t>(lineCount_) < rowOrigins_.size()) rowOrigins_[lineCount_] = origin;
  const int n = std::min(static_cast<int>(line.size()), image_->Width());
  widestLine_ = std::max(widestLine_, n);
  std::uint16_t* row = image_->Row16(lineCount_);
  vec::FloatToWords(line.first(static_cast<std::size_t>(n)),
                    std::span(row, static_cast<std::size_t>(n)));
  // Extremes and histogram read the words as signed, as the level checks expect.
  const std::span<const std::int16_t> words(reinterpret_cast<const std::int16_t*>(row),
                                            static_cast<std::size_t>(n));
  highestPixel_ = std::max<int>(highestPixel_, vec::Max(words));
  lowestPixel_ = std::min<int>(lowestPixel_, vec::Min(words));
  if (lineCount_ % 4 == 0) {
    for (std::int16_t w : words) {
      if (w >= 0) ++histogram_[static_cast<std::size_t>(w)];
    }
  }
  vec::Add(line.first(static_cast<std::size_t>(n)),
           std::span(columnSums_).first(static_cast<std::size_t>(n)));
  ++storedLines_;
  const int written = lineCount_;
  if (lineCount_ < image_->Height() - 1)
    ++lineCount_;
  else if (capped_)
    full_ = true;
  if (onLine_) onLine_(written);
}

double TSatelliteVideoDecoder::FirstLineSeconds() const {
  if (firstLineEnd_ < 0 || rxSampleRate_ <= 0) return -1;
  return std::max(0.0, double(firstLineEnd_) / rxSampleRate_ - 1.0 / linesPerSecond_);
}

bool TSatelliteVideoDecoder::LoadFromPixels(int width, int height,
                                            std::span<const std::uint8_t> pixels, int rowStride) {
  if (width <= 0 || height <= 59 || height > MaxLines() || rowStride < width ||
      pixels.size() < static_cast<std::size_t>(rowStride) * (height - 1) + width) {
    return false;
  }
  height -= height & 1;
  SetDecodeParameters(decodeParameters_);
  auto image = iplCreateImage(width, height, idDepth16u);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* src = pixels.data() + static_cast<std::size_t>(y) * rowStride;
    std::uint16_t* dst = image->Row16(y);
    for (int x = 0; x < width; ++x) dst[x] = static_cast<std::uint16_t>(src[x] * 64);
  }
  // The profile of the picture loaded, not of whatever was decoded before.
  columnSums_ = ColumnMeans(*image);
  profileStale_ = false;
  image_ = std::move(image);
  firstCleanLine_ = lastCleanLine_ = 0;
  lineCount_ = height;
  widestLine_ = width;
  wefaxHeaderDone_ = false;
  highestLevel_ = 16320.0f;
  lowestLevel_ = 0.0f;
  fromImageFile_ = true;
  rowOrigins_.clear();  // a picture brings no line timing
  return true;
}

int TSatelliteVideoDecoder::MaxLines() const {
  return maxLines_ > 0 ? maxLines_ : std::max(linesPerSecond_, 1) * kMaxPictureSeconds;
}

namespace {
constexpr std::size_t kRecord = 1024;
}

bool TSatelliteVideoDecoder::LoadFromRawFile(const std::string& fileName) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(fileName, ec)) return false;
  const auto size = std::filesystem::file_size(fileName, ec);
  // More lines than a picture may hold is not a line file, and would be read
  // whole into memory.
  if (ec || size / kRecord > static_cast<std::uintmax_t>(MaxLines()) + 1) return false;
  std::ifstream in(fileName, std::ios::binary);
  std::vector<std::uint8_t> data(static_cast<std::size_t>(size / kRecord) * kRecord);
  if (!in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()))) {
    return false;
  }
  return LoadFromRawBytes(data);
}

bool TSatelliteVideoDecoder::LoadFromRawBytes(std::span<const std::uint8_t> bytes) {
  const std::size_t records = bytes.size() / kRecord;
  if (records <= 700 || records > static_cast<std::size_t>(MaxLines()) + 1) return false;
  const std::span<const std::uint8_t> data = bytes.first(records * kRecord);
  int height = static_cast<int>(records) - 1;  // the first record is a header
  height -= height & 1;
  auto image = iplCreateImage(static_cast<int>(kRecord), height, idDepth16u);
  columnSums_.assign(kRecord, 0.0f);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* src = data.data() + static_cast<std::size_t>(y + 1) * kRecord;
    std::uint16_t* dst = image->Row16(y);
    for (std::size_t x = 0; x < kRecord; ++x) {
      dst[x] = static_cast<std::uint16_t>(src[x] * 64);
      columnSums_[x] += static_cast<float>(dst[x]);
    }
  }
  for (float& s : columnSums_) s /= static_cast<float>(height);
  profileStale_ = false;
  image_ = std::move(image);
  firstCleanLine_ = lastCleanLine_ = 0;
  lineCount_ = height;
  widestLine_ = static_cast<int>(kRecord);
  return true;
}

}  // namespace vivurozed

namespace vivurozed {

// --- Post-processing -----------------------------------------------------------

bool TSatelliteVideoDecoder::LoadFromBitmap(const TExtBitmap& bitmap) {
  if (bitmap.PixelFormat() != pf8bit || bitmap.Width() <= 0 || bitmap.Height() <= 59) return false;
  const int w = bitmap.Width(), h = bitmap.Height();
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(w) * h);
  for (int y = 0; y < h; ++y) {
    std::copy_n(bitmap.ScanLine(y), w, pixels.begin() + static_cast<std::ptrdiff_t>(y) * w);
  }
  return LoadFromPixels(w, h, pixels, w);
}

void TSatelliteVideoDecoder::PostProgress(const std::string& text, int percent) {
  percentDone_ = percent;
  Progress(pkProgress, text);
}

std::unique_ptr<TIplImage> TSatelliteVideoDecoder::RunNoaaStage(const TNoaaPictures& noaa) {
  TNoaaStageRequest request{
      *image_,
      nullptr,
      noaa,
      Log,
      firstCleanLine_,
      lastCleanLine_,
      minuteMarkerPhase_,
      noaaLineStats_,
      tempToColourLookup_,
      [this](const std::string& text, int percent) { PostProgress(text, percent); },
      gamma_,
      sharpen_,
      largeImage_,
      equaliseHistogram_,
      cropNoise_,
      Illumination,
      Rotate180,
      FrameMarkers,
      *sensor_};
  noaaStage_(request);
  return std::move(request.replacement);
}

bool TSatelliteVideoDecoder::MakeImage(TExtBitmap* bitmap, const TNoaaPictures& noaa,
                                       bool tapeInput, std::string* wefaxHeader) {
  const auto started = std::chrono::steady_clock::now();
  const bool filled = image_ && BuildPicture(bitmap, noaa, tapeInput, wefaxHeader);
  postElapsed_ = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - started);
  percentDone_ = 100;
  Progress(pkEnd, "");
  return filled;
}

bool TSatelliteVideoDecoder::BuildPicture(TExtBitmap* bitmap, const TNoaaPictures& noaa,
                                          bool tapeInput, std::string* wefaxHeader) {
  const TDecodeParameters type = decodeParameters_;
  const bool meteorOrResurs = type == dpMeteor35 || type == dpMeteor221 || type == dpResursO1N4;
  const bool geostationary = IsGeostationary(type);

  if (Despeckle) {
    const float spread = (highestLevel_ - lowestLevel_) / (fromImageFile_ ? 6.0f : 8.0f);
    DespeckleImage(*image_, static_cast<int>(std::nearbyint(spread)), type);
  }

  // The NOAA stage may hand back a resampled picture for the steps below;
  // the stored image stays as decoded.
  std::unique_ptr<TIplImage> noaaPicture;
  if (type == dpNOAAapt && image_->Height() >= 60 && noaaStage_) noaaPicture = RunNoaaStage(noaa);

  std::optional<int> frameBlack, frameWhite;
  if (geostationary && !wefaxHeaderDone_) {
    wefaxHeaderDone_ = true;
    const TGeoFrame frame = FrameGeostationary(image_, type, measuredSampleRate_);
    if (frame.cropped) profileStale_ = true;
    frameBlack = frame.black;
    frameWhite = frame.white;
    wefaxLeftEdge_ = frame.leftEdge;
    if (wefaxHeader) *wefaxHeader = frame.header;
    AddLog("WEFAX digital header:" + frame.header);
  }

  const TIplImage& source = noaaPicture ? *noaaPicture : *image_;
  if (!bitmap || source.Height() < 60) return false;
  if (bitmap->PixelFormat() != pf8bit) bitmap->SetPixelFormat(pf8bit);
  bitmap->SetSize(0, 0);
  // The NOAA stage's picture is this call's own, so it is worked on in place.
  const bool fromNoaa = noaaPicture != nullptr;
  std::unique_ptr<TIplImage> work = fromNoaa ? std::move(noaaPicture) : iplCloneImage(source);
  work->SetROI(std::nullopt);
  int width = work->Width(), height = work->Height();

  std::vector<float> profile;
  if (!fromNoaa && !profileStale_ && columnSums_.size() >= static_cast<std::size_t>(width)) {
    profile.assign(columnSums_.begin(), columnSums_.begin() + width);
  } else {
    profile = ColumnMeans(*work);
  }

  TReferenceInput in;
  in.type = type;
  in.rate = rxSampleRate_;
  in.syncHz = syncHz_;
  in.cycles = syncCycles_;
  in.black0 = static_cast<int>(std::nearbyint(lowestLevel_));
  in.white0 = static_cast<int>(std::nearbyint(highestLevel_));
  in.frameBlack = frameBlack;
  in.frameWhite = frameWhite;
  in.log = Log;
  TReferences ref = AnalyseReferences(*work, profile, in);
  const int black = GainBlack(ref, profile, type, autoBlack_);

  if (cropNoise_ && height > 130 && MeasuresRows(type)) {
    const int crop = NoisyEndRows(ref, height, type, black);
    if (crop > 0) {
      AddLog(Format("Cropping %d noisy or blank lines from image end", crop));
      auto kept = iplCreateImage(width, height - crop, idDepth16u);
      iplCopy(*work, *kept);
      work = std::move(kept);
      height -= crop;
    }
  }

  if (meteorOrResurs) {
    for (int x = ref.c + 1; x <= width - ref.w - 1; ++x) {
      if (x >= 0 && profile[static_cast<std::size_t>(x)] > ref.syncMean) {
        ref.c = x;
        break;
      }
    }
  }

  // Gain, row by row, towards white at 16383.
  std::vector<float> buffer(static_cast<std::size_t>(width));
  double gain = 1000;
  const int tapeFactor = type == dpResursO1N4 ? 145 : 135;
  const int roundedMean = static_cast<int>(std::nearbyint(ref.meanP));
  for (int y = 0; y < height; ++y) {
    PostProgress("Gain correction", y * 30 / height);
    std::uint16_t* row = work->Row16(y);
    double r;
    if (meteorOrResurs || type == dpWEFAX) {
      const int a = std::clamp(ref.c, 0, width), b = std::clamp(ref.c + ref.w, 0, width);
      r = 0;
      for (int x = a; x < b; ++x) r += row[x];
    } else if (type == dpSich || type == dpOkeanO || geostationary) {
      r = 1;
    } else {
      r = ref.w * 5000.0;
    }
    if (meteorOrResurs && tapeInput) {
      int v = roundedMean, peak = v;
      for (int x = 0; x < width; ++x) {
        v = (5 * v + row[x]) / 6;
        peak = std::max(peak, v);
      }
      const int above = peak - black;
      r = std::max(r, std::nearbyint(ref.w * static_cast<double>(above) * tapeFactor / 256));
    }
    const double wanted = WantedGain(type, r, black, ref.white, ref.w, gain);
    gain = NextGain(gain, wanted);
    ApplyGain(std::span(row, static_cast<std::size_t>(width)), black, gain, buffer);
  }

  // Width: each row area-averaged down to the picture's pixel count.
  const bool enlarge = largeImage_ && type != dpNOAAapt;
  const int pictureWidth = enlarge ? 3 * pixelsPerLine_ / 2 : pixelsPerLine_;
  const int pictureHeight = enlarge ? 3 * height / 2 : height;
  PostProgress("Change width", 30);
  std::unique_ptr<TIplImage> picture;
  if (pictureWidth == width) {
    picture = std::move(work);
  } else {
    picture = iplCreateImage(pictureWidth, height, idDepth16u);
    // A decoded NOAA line is read at the times its measured sync gives, so
    // that every word lands where it was sent; only lines without a clock
    // are area-averaged.
    const bool timed = type == dpNOAAapt && !fromNoaa && pictureWidth < width &&
                       rowOrigins_.size() == static_cast<std::size_t>(height);
    if (timed) {
      const auto clock =
          FitRowClock(rowOrigins_, static_cast<double>(rxSampleRate_) / linesPerSecond_);
      for (int y = 0; y < height; ++y) {
        if (clock[y].Known() && rowOrigins_[y].Known()) continue;
        work->SetROI(iplCreateROI(0, y, width, 1));
        picture->SetROI(iplCreateROI(0, y, pictureWidth, 1));
        iplDecimate(*work, *picture, pictureWidth, width, 1, 1, iiSuper);
      }
      work->SetROI(std::nullopt);
      picture->SetROI(std::nullopt);
      ResampleRows(*work, rowOrigins_, clock, *picture, 16383);
    } else if (pictureWidth < width) {
      iplDecimate(*work, *picture, pictureWidth, width, 1, 1, iiSuper);
    } else {  // a reloaded picture narrower than the type's lines
      iplZoom(*work, *picture, pictureWidth, width, 1, 1, iiLinear);
    }
    work.reset();
  }
  if (type == dpOkeanO) iplMirror(*picture, *picture, maLeftRight);
  if (type == dpMeteosat) iplMirror(*picture, *picture, maBoth);

  if (largeImage_) {
    PostProgress("Change height", 60);
    if (pictureHeight != height) {
      auto tall = iplCreateImage(pictureWidth, pictureHeight, idDepth16u);
      iplZoom(*picture, *tall, 1, 1, pictureHeight, height, iiLinear);
      picture = std::move(tall);
    }
  }

  if (equaliseHistogram_ && type != dpNOAAapt) {
    PostProgress("Histogram correct", 70);
    EqualisePicture(*picture, type, ref.bright, ref.clip);
  }

  if (Rotate180 && type != dpNOAAapt && !geostationary && type != dpWEFAX) {
    iplMirror(*picture, *picture, maBoth);
  }
  if (sharpen_ != shNone && type != dpNOAAapt) {
    PostProgress("Sharpen image", 80);
    if (meteorOrResurs) {
      const auto kernel = iplCreateConvKernel(
          5, 3, 2, 1, {0, -1, -2, -1, 0, -2, -4, 52, -4, -2, 0, -1, -2, -1, 0}, 5);
      iplConvolve2D(*picture, *picture, kernel.get());
    }
  }

  PostProgress("Copy to display bitmap", 90);
  const std::vector<std::uint8_t> table = DisplayTable(type, equaliseHistogram_, gamma_);
  bitmap->SetSize(pictureWidth, pictureHeight);
  for (int y = 0; y < pictureHeight; ++y) {
    const std::uint16_t* src = picture->Row16(y);
    std::uint8_t* dst = bitmap->ScanLine(y);
    for (int x = 0; x < pictureWidth; ++x) dst[x] = table[src[x]];
  }
  bitmap->SetModified(true);
  return true;
}

}  // namespace vivurozed
