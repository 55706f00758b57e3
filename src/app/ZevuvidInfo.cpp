#include "app/ZevuvidInfo.h"

#include <charconv>

#include "platform/UserMessages.h"
#include "platform/qt/SettingsStore.h"

namespace vivurozed {

namespace {

bool ReadDegrees(const std::string& text, double limit, double& value) {
  double v = 0;
  const char* end = text.data() + text.size();
  const auto [p, ec] = std::from_chars(text.data(), end, v);
  if (ec != std::errc() || p != end || !(v >= -limit && v <= limit)) return false;
  value = v;
  return true;
}

}  // namespace

TZevuvidInfo ReadZevuvidInfo(const std::string& company) {
  TSettingsStore store(SoftwareKeyPath("Zevuvid", company));
  TZevuvidInfo info;
  auto text = [&](const char* name) { return store.ReadString(name).value_or(std::string()); };
  info.latitude = text("CurrentLat");
  info.longitude = text("CurrentLon");
  info.location = text("CurrentLoc");
  info.resultsPath = text("ResultsPath");
  info.twoLineDataPath = text("TwoLineDataPath");
  info.dateFormat = text("OverlayDateFmt");
  for (int i = 0; i < 3; ++i)
    info.textLines[static_cast<std::size_t>(i)] =
        store.ReadInteger("OvlTextLine" + std::to_string(i + 1)).value_or(0);
  return info;
}

THomeLocation HomeLocation(const TZevuvidInfo& info) {
  THomeLocation home;
  double lat = 0, lon = 0;
  if (!info.longitude.empty() && ReadDegrees(info.longitude, 360, lon) &&
      ReadDegrees(info.latitude, 90, lat)) {
    home.latitude = lat;
    home.longitude = lon > 180 ? lon - 360 : lon;
    home.name = info.location;
    home.fromZevuvid = true;
    return home;
  }
  UserMessages().Show(
      "Your home location could not be read from Zevuvid: version 3.3.2.611 or later of Zevuvid "
      "is required.  A default location (55.9 N, 3.2 W) will now be selected.",
      "Vivurozed - home location");
  return home;
}

}  // namespace vivurozed
