// How far above the noise a recording's outer video sidebands stand: the
// part of an APT signal between 1350 and 2020 Hz from the carrier carries
// the finest picture detail, which only a wide input filter keeps, and
// which is worth keeping only while it is not mostly noise.
#pragma once

#include <optional>
#include <string>

namespace vivurozed {

// Power in the middle of the two outer sidebands (2400 Hz +/- 1500 ..
// 2000 Hz) over the power of an equally wide band above them (4750 ..
// 5250 Hz) where an APT signal has nothing, in dB; the median over blocks spread through the
// file, so that noise before and after the pass does not count. Nothing
// when the file gives nothing to measure (too short, still being written).
std::optional<double> OuterSidebandRatioDb(const std::string& fileName, int frameCount);

}  // namespace vivurozed
