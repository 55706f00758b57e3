// Recordings written once per program run into a temporary folder that
// lives as long as the program: for benchmarks that stream long files.
#pragma once

#include <string>

namespace vivurozed::testing {

// The path of a fifteen-minute APT recording at 11025 Hz with the given SNR and word-rate error,
// written on first use.
std::string FifteenMinuteAptWav(double snrDb = 30, double wordRatePpm = 0);

}  // namespace vivurozed::testing
