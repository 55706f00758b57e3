// Edits the user makes by pointing at a displayed picture: cropping the
// pass to the good lines, and rebasing the cloud-top colours on the land
// temperature under the cursor. Also the data the diagnostics plots show.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/PictureReadouts.h"
#include "decode/SignalVideoDecode.h"

namespace vivurozed {

// The decoded lines a NOAA picture shows, both inclusive.
struct TCleanLines {
  int first = 0, last = 0;
  bool operator==(const TCleanLines&) const = default;
};

// A crop keeps at least this many decoded lines.
inline constexpr int kMinCroppedLines = 10;

// The lines the decoder's pictures show now (an open end reaching the last
// decoded line); first > last when nothing is decoded.
TCleanLines ShownLines(const TSatelliteVideoDecoder& decoder);
// Sets the decoded lines the next pictures show; a range reaching the last
// decoded line keeps its end open.
void SetShownLines(TSatelliteVideoDecoder& decoder, const TCleanLines& lines);
// Back to the lines the noise crop finds (all of them without it).
void ResetShownLines(TSatelliteVideoDecoder& decoder);

// The decoded line at a row of a picture of `rows` rows (caption band
// excluded) that shows `shown`, turned by half a turn or not.
int DecodedLineAt(int row, int rows, const TCleanLines& shown, bool turned);

enum TCropSide { csAbove, csBelow };
// Cuts off what lies above (or below) the row as the picture is seen;
// nothing when fewer than kMinCroppedLines would be left or nothing changes.
std::optional<TCleanLines> CropAt(TCropSide side, int row, int rows, const TCleanLines& shown,
                                  bool turned);

// The land temperature in whole degrees C under (x, y) of a displayed
// picture width x height; none unless the infrared picture has that size.
std::optional<int> LandCelsiusAt(const TReadoutData& data, int width, int height, int x, int y);

// What the diagnostics view plots of the last run.
struct TPlotSeries {
  std::string title, xLabel;
  double xStep = 1;  // x units per value
  std::vector<float> values;
};
struct TRunPlots {
  // The decoder's column profile, the analyser's period averages of the
  // envelope and of the tone power, and the envelope's autocorrelation.
  TPlotSeries averagedVideo, averagedSignal, toneCorrelation, autocorrelation;
};
// rate: the samples per second of the analyser's averages and of the
// autocorrelation lags.
TRunPlots MakeRunPlots(const TSatelliteVideoDecoder& decoder, const TSignalAverage& average,
                       std::span<const TSample> autocorrelation, int rate);

}  // namespace vivurozed
