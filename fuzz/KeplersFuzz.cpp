// Feeds arbitrary text to the element-file readers: as a multi-satellite
// file for the satellite list, whose sets are then propagated, and as a
// satellite-specific file for the nearest-set search. The first byte picks
// the wanted time. Every set taken must come from the text.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "SilentMessages.h"
#include "orbit/Keplers.h"
#include "orbit/Support.h"
#include "orbit/VectorOrbit.h"
#include "platform/MathError.h"
#include "platform/UserMessages.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace vivurozed;
  if (size == 0 || size > (1u << 16)) return 0;
  static SilentMessages silent;
  SetUserMessages(&silent);
  const std::string_view text(reinterpret_cast<const char*>(data) + 1, size - 1);

  TSatelliteList list;
  list.AddFromText(text, "fuzz.tle");
  for (int i = 0; i < list.Count(); ++i) {
    TSatellite& s = list.Satellite(i);
    if (list.IndexOfCatalogue(s.CatalogueNumber()) < 0) std::abort();
    for (double day : {-1.0, 0.5, 3.0}) {
      try {
        TVector4 p, v;
        s.PositionAt(s.Epoch() + day, p, v);
        TSatellite::ScaleToKm(p, v);
        GeodeticFromInertial(p, s.Epoch() + day);
      } catch (const EMathError&) {
        // Elements that decay into nonsense say so.
      }
    }
  }

  const std::vector<std::string> lines = KeplerFileLines("NOAA-15", SplitLines(text), {});
  TKeplerSet set;
  const TDateTime wanted = EncodeDateTime(2019, 1, 1) + (data[0] - 128) * 3.0;
  if (NearestKeplerSet(lines, wanted, "file: fuzz", set) &&
      std::find(lines.begin(), lines.end(), set.line1) == lines.end()) {
    std::abort();
  }
  for (const std::string& line : lines) FormatDateTime("yyyy-mmmm-dd hh:nn", ElementLineDate(line));
  SetUserMessages(nullptr);
  return 0;
}
