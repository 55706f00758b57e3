// What the companion tracking program Zevuvid keeps in the settings store
// and the overlay uses: the home location, its folders and the overlay
// text choices. Nothing of Zevuvid is ever written.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "app/RegistryVariables.h"

namespace vivurozed {

struct TZevuvidInfo {
  std::string latitude, longitude, location;  // as stored: decimal degrees, east positive
  std::string resultsPath, twoLineDataPath;
  std::array<std::int32_t, 3> textLines{};  // 0: not set
  std::string dateFormat;                   // empty: not set
};

// Missing keys or values read as empty text or 0.
TZevuvidInfo ReadZevuvidInfo(const std::string& company = kCompanyName);

struct THomeLocation {
  double latitude = 55.9, longitude = -3.2;  // the default when Zevuvid gives none
  std::string name;
  bool fromZevuvid = false;
};

// The home location, or the default with a message to the user when
// Zevuvid's longitude is missing or unreadable.
THomeLocation HomeLocation(const TZevuvidInfo& info);

}  // namespace vivurozed
