// Line timing of a decoded picture. The sync search finds each line start
// to a whole sample at best, and a line is a fractional number of samples
// long (5512.5 for NOAA at 11025 Hz, more or less with the recorder's clock
// and the satellite's Doppler shift). Placing every picture column at a
// whole sample from its own sync therefore jitters the lines by up to half a
// sample and stretches the picture by the fraction dropped. The starts
// measured over neighbouring lines give each line's start and length to a
// small part of a sample; the picture is then read from the sample stream at
// exactly those times.
#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <vector>

#include "platform/ImageLib.h"

namespace vivurozed {

// Where a stored row came from in the sample stream: its first sample's
// index, how many of its samples came from the stream, and the line start
// as measured from the sync peak (stream index plus the peak's fraction).
// Rows made up rather than received (relock fillers) have no origin.
struct TRowOrigin {
  std::int64_t stream = -1;
  int valid = 0;
  double sync = std::numeric_limits<double>::quiet_NaN();
  bool Known() const { return stream >= 0 && valid > 0; }
};

struct TRowClock {
  double start = std::numeric_limits<double>::quiet_NaN();  // stream index
  double period = 0;                                        // samples per line
  bool Known() const { return period > 0; }
};

// Each known row's start and period from a straight line fitted to the
// measured starts of the rows within halfWindow of it, after dropping those
// more than two samples off a robust first guess (a slipped sync). Rows
// with too few neighbours keep their own start and the nominal period.
std::vector<TRowClock> FitRowClock(std::span<const TRowOrigin> rows, double nominalPeriod,
                                   int halfWindow = 16);

// Fills each row of picture whose clock is known with the source read at
// picture.Width() equally spaced times over the line (cubic convolution),
// taking samples past a row's end from the rows that hold them. Values are
// kept within 0 .. maxValue. Rows without a clock are left as they are.
void ResampleRows(const TIplImage& source, std::span<const TRowOrigin> rows,
                  std::span<const TRowClock> clock, TIplImage& picture, int maxValue);

}  // namespace vivurozed
