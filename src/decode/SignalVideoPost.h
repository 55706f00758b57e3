// The pieces of picture post-processing: row statistics, the per-type search
// for the black and white references in the column profile, despeckling,
// gain, and the table from 16-bit values to display levels.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "decode/SignalVideoParamDefs.h"
#include "platform/Diagnostics.h"
#include "platform/ImageLib.h"

namespace vivurozed {

// Mean of every column of a 16-bit image.
std::vector<float> ColumnMeans(const TIplImage& image);

// Statistics of the run [from, from + count) of a row, clipped to the row;
// an empty run has mean and deviation 0. Means and deviations are rounded.
int RunMean(const std::uint16_t* row, int width, int from, int count);
struct TRunStats {
  int mean = 0, deviation = 0;
};
TRunStats RunStats(const std::uint16_t* row, int width, int from, int count);
// The run cut into consecutive blocks of `block` pixels: the largest integer
// block mean (0 when the run is shorter than one block).
int BlockMaximum(const std::uint16_t* row, int width, int from, int count, int block);

// Replaces each inner pixel inside the type's picture columns by the mean of
// its eight neighbours when it differs from that mean by more than threshold.
void DespeckleImage(TIplImage& image, int threshold, TDecodeParameters type);

// The gain after `previous` when the row asks for `wanted`: upward steps are
// smoothed over ten rows, downward ones taken at once.
double NextGain(double previous, double wanted);
// The gain a row asks for from its reference sum r (Meteor, Resurs) or
// the white level; `previous` when the row gives nothing to scale by.
double WantedGain(TDecodeParameters type, double r, int black, int white, int runWidth,
                  double previous);
// (pixel - black) x gain, kept within 0 .. 16383.
void ApplyGain(std::span<std::uint16_t> row, int black, double gain, std::span<float> work);

// Equalises a gain-corrected picture (0 .. 16383) over the type's picture
// columns, each level's count clipped to `clip` times the mean count.
void EqualisePicture(TIplImage& picture, TDecodeParameters type, bool bright, int clip);

// 16-bit value to display level.
std::vector<std::uint8_t> DisplayTable(TDecodeParameters type, bool equalised, float gamma);

// What the reference analysis needs besides the picture.
struct TReferenceInput {
  TDecodeParameters type = dpMeteor35;
  int rate = 11025, syncHz = 256, cycles = 12;
  int black0 = 0, white0 = 0;                 // the run's smoothed level extremes
  std::optional<int> frameBlack, frameWhite;  // from the geostationary framing
  TDiagnostics* log = nullptr;
};

// Per-row measurements of the black run and the reference run.
struct TRowStats {
  int blackMean = 0, blackDeviation = 0, referenceMean = 0;
};

struct TReferences {
  float meanP = 0, maxP = 0, syncMean = 0;  // P-bar, Pmax, S-bar
  int intP = 1;                             // Pint
  bool bright = false;
  int lo = 0, hi = 0;  // black reference columns
  int c = 0, w = 0;    // reference run
  int black = 0, white = 0;
  int clip = 3;                 // histogram clip factor k
  std::vector<TRowStats> rows;  // for the types that measure rows
  bool anyQuiet = false;
  int quietBlack = 0;
};

// Types whose rows are measured (and whose noisy end may be cropped).
bool MeasuresRows(TDecodeParameters type);

// Finds the black and white references of a picture from its column profile
// and rows. Failed searches fall back to the nominal positions and say so in
// the log.
TReferences AnalyseReferences(const TIplImage& image, std::span<const float> profile,
                              const TReferenceInput& in);

// The black level the gain works from.
int GainBlack(const TReferences& r, std::span<const float> profile, TDecodeParameters type,
              bool autoBlack);

// Number of noisy rows at the bottom of the picture to drop (always even).
int NoisyEndRows(const TReferences& r, int height, TDecodeParameters type, int black);

}  // namespace vivurozed
