// The decode types, their names and line geometry, and the sync templates.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vivurozed {

enum TDecodeParameters : std::uint8_t {
  dpMeteor35 = 0,
  dpMeteor221 = 1,
  dpResursO1N4 = 2,
  dpNOAAapt = 3,
  dpOkean = 4,
  dpSich = 5,
  dpSich6 = 6,
  dpOkeanO = 7,
  dpOkeanO37 = 8,
  dpMeteosat = 9,
  dpGMS = 10,
  dpGOES = 11,
  dpWEFAX = 12
};
constexpr int kDecodeTypeCount = 13;

// Short names used for display and file naming.
extern const std::array<const char*, kDecodeTypeCount> DecodeParameterNames;
// The type with this short name; false when there is none.
bool DecodeParametersFromName(const std::string& name, TDecodeParameters& type);

enum TPassband : std::uint8_t { pbNormal = 0, pbNarrow = 1, pbWide = 2 };
enum TSharpen : std::uint8_t { shNone = 0, shSharpen = 1, shSharpenMore = 2 };

// One row of the per-type table.
struct TDecodeTypeRow {
  int linesPerSecond;
  int syncHz;
  int cycles;
  int pixels;       // width of the finished picture line
  float threshold;  // sync correlation threshold before the sensitivity boost
  bool absoluteCorrelation;
  int extraSamples;  // added to the nominal line length of the line buffer
};

TDecodeTypeRow DecodeTypeRow(TDecodeParameters type, bool use832HzSync);

// Meteosat, GMS and GOES: the types that lock their line clock on the
// subcarrier (plain WEFAX is not one of them).
constexpr bool IsGeostationary(TDecodeParameters t) {
  return t == dpMeteosat || t == dpGMS || t == dpGOES;
}
// Types whose template is one edge rather than a burst of cycles.
constexpr bool IsSingleCycle(TDecodeParameters t) {
  return IsGeostationary(t) || t == dpWEFAX;
}

struct TSyncTemplate {
  std::vector<float> samples;
  float threshold;  // replaces the table's threshold (the timed-pulse types differ)
};

// The sync template of a type at a sample rate; threshold is the table's
// value, or the one the special templates need.
TSyncTemplate BuildSyncTemplate(TDecodeParameters type, int rate, int syncHz, int cycles,
                                float threshold);

}  // namespace vivurozed
