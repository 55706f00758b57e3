#include "app/PictureEdits.h"

#include <algorithm>
#include <cmath>

namespace vivurozed {

namespace {

int DecodedLines(const TSatelliteVideoDecoder& decoder) {
  return decoder.Image() ? decoder.Image()->Height() : 0;
}

}  // namespace

TCleanLines ShownLines(const TSatelliteVideoDecoder& decoder) {
  const int lines = DecodedLines(decoder);
  if (lines <= 0) return {0, -1};
  // The NOAA stage leaves 0 for an end it was not asked to find.
  const int first = std::clamp(decoder.FirstCleanLine(), 0, lines - 1);
  const int last =
      decoder.LastCleanLine() > 0 ? std::min(decoder.LastCleanLine(), lines - 1) : lines - 1;
  return {first, std::max(first, last)};
}

void SetShownLines(TSatelliteVideoDecoder& decoder, const TCleanLines& lines) {
  decoder.SetFirstCleanLine(lines.first);
  decoder.SetLastCleanLine(lines.last);
}

void ResetShownLines(TSatelliteVideoDecoder& decoder) {
  decoder.SetFirstCleanLine(0);
  decoder.SetLastCleanLine(0);
}

int DecodedLineAt(int row, int rows, const TCleanLines& shown, bool turned) {
  const int count = shown.last - shown.first + 1;
  if (rows <= 0 || count <= 0) return shown.first;
  row = std::clamp(row, 0, rows - 1);
  if (turned) row = rows - 1 - row;
  // A large picture has three rows for every two lines.
  return shown.first + static_cast<int>(std::int64_t(row) * count / rows);
}

std::optional<TCleanLines> CropAt(TCropSide side, int row, int rows, const TCleanLines& shown,
                                  bool turned) {
  const int line = DecodedLineAt(row, rows, shown, turned);
  TCleanLines cropped = shown;
  // Seen turned, the top of the picture is the end of the pass.
  if ((side == csAbove) != turned) {
    cropped.first = line;
  } else {
    cropped.last = line;
  }
  if (cropped == shown || cropped.last - cropped.first + 1 < kMinCroppedLines) return std::nullopt;
  return cropped;
}

std::optional<int> LandCelsiusAt(const TReadoutData& data, int width, int height, int x, int y) {
  const TExtBitmap& ir = data.infrared;
  if (ir.PixelFormat() != pf8bit || ir.Width() != width || ir.Height() != height || x < 0 ||
      y < 0 || x >= width || y >= height)
    return std::nullopt;
  const double celsius = data.celsius[ir.ScanLine(y)[x]];
  // Values without a calibration read as absolute zero.
  if (!(celsius > -273.0)) return std::nullopt;
  return static_cast<int>(std::nearbyint(celsius));
}

TRunPlots MakeRunPlots(const TSatelliteVideoDecoder& decoder, const TSignalAverage& average,
                       std::span<const TSample> autocorrelation, int rate) {
  TRunPlots p;
  const std::vector<float>& profile = decoder.ColumnSums();
  std::size_t columns = profile.size();
  if (decoder.WidestLine() > 0) columns = std::min(columns, std::size_t(decoder.WidestLine()));
  p.averagedVideo = {"Averaged video", "column", 1, {profile.begin(), profile.begin() + columns}};
  const double ms = rate > 0 ? 1000.0 / rate : 1;
  p.averagedSignal = {"Averaged signal", "ms", ms, average.AverageRe()};
  p.toneCorrelation = {"Tone correlation", "ms", ms, average.AverageIm()};
  p.autocorrelation = {"Autocorrelation", "lag (s)", rate > 0 ? 1.0 / rate : 1, {}};
  p.autocorrelation.values.reserve(autocorrelation.size());
  for (const TSample& s : autocorrelation) p.autocorrelation.values.push_back(s.real());
  // The buffer may be longer than the lags measured; those read 0.
  while (!p.autocorrelation.values.empty() && p.autocorrelation.values.back() == 0.0f)
    p.autocorrelation.values.pop_back();
  return p;
}

}  // namespace vivurozed
