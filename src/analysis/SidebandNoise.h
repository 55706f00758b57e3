// How far above the noise a recording's outer video sidebands stand: the
// part of an APT signal between 1350 and 2020 Hz from the carrier carries
// the finest picture detail, which only a wide input filter keeps, and
// which is worth keeping only while it is not mostly noise.
#pragma once

#include <optional>
#include <string>

namespace vivurozed {

// Power in the middle of the two outer sidebands (2400 Hz +/- 1625 ..
// 1875 Hz) over the power of a band as wide above them (4875 .. 5125 Hz)
// where an APT signal has nothing, in dB. Only the picture parts of the
// lines count: sync pulses, space strips and wedges are sharp-edged on every
// line whatever the picture holds. The mean over blocks spread through the
// file, as what the wide filter gains or loses adds up over the lines; noise
// before and after the pass counts as the noise lines it becomes. Nothing
// when the file gives nothing to measure (too short, still being written).
std::optional<double> OuterSidebandRatioDb(const std::string& fileName, int frameCount);

}  // namespace vivurozed
