#include "app/RegistryVariables.h"

#include <algorithm>
#include <utility>

namespace vivurozed {

std::string SoftwareKeyPath(const std::string& program, const std::string& company) {
  return "\\Software\\" + company + "\\" + program;
}

std::string ProgramKeyPath(const std::filesystem::path& executable) {
  return SoftwareKeyPath(executable.stem().string());
}

TRegistryVariable::TRegistryVariable(std::shared_ptr<TSettingsStore> store, std::string valueName)
    : valueName_(std::move(valueName)), store_(std::move(store)) {}

TRegistryVariable::~TRegistryVariable() {
  if (deleteOnFree_) store_->DeleteValue(valueName_);
}

// Each Save writes only when the store holds something else (or could not
// write before), so the exit, which saves every option, costs no rewrite
// when nothing changed.

TRegistryBoolean::TRegistryBoolean(std::shared_ptr<TSettingsStore> store, std::string valueName,
                                   bool defaultValue)
    : TRegistryVariable(std::move(store), std::move(valueName)), value_(defaultValue) {
  if (auto v = Store().ReadInteger(ValueName())) value_ = *v != 0;
}

TRegistryBoolean::~TRegistryBoolean() {
  Save();
}

void TRegistryBoolean::SetValue(bool v) {
  value_ = v;
  Save();
}

bool TRegistryBoolean::Save() {
  const std::int32_t bits = value_ ? 1 : 0;
  if (!Store().WritePending() && Store().ReadInteger(ValueName()) == bits) return true;
  return Store().WriteInteger(ValueName(), bits);
}

TRegistryInteger::TRegistryInteger(std::shared_ptr<TSettingsStore> store, std::string valueName,
                                   std::int32_t defaultValue)
    : TRegistryVariable(std::move(store), std::move(valueName)), value_(defaultValue) {
  if (auto v = Store().ReadInteger(ValueName())) value_ = *v;
}

TRegistryInteger::~TRegistryInteger() {
  Save();
}

void TRegistryInteger::SetValue(std::int32_t v) {
  value_ = v;
  Save();
}

bool TRegistryInteger::Save() {
  if (!Store().WritePending() && Store().ReadInteger(ValueName()) == value_) return true;
  return Store().WriteInteger(ValueName(), value_);
}

TRegistryString::TRegistryString(std::shared_ptr<TSettingsStore> store, std::string valueName,
                                 std::string defaultValue)
    : TRegistryVariable(std::move(store), std::move(valueName)), value_(std::move(defaultValue)) {
  if (auto v = Store().ReadString(ValueName())) value_ = std::move(*v);
}

TRegistryString::~TRegistryString() {
  Save();
}

void TRegistryString::SetValue(const std::string& v) {
  value_ = v;
  Save();
}

bool TRegistryString::Save() {
  if (!Store().WritePending() && Store().ReadString(ValueName()) == value_) return true;
  return Store().WriteString(ValueName(), value_);
}

TRegistryFormInfo::TRegistryFormInfo(std::shared_ptr<TSettingsStore> store,
                                     const TFormPlacement& current)
    : FormState(store, "FormState", current.state),
      FormLeft(store, "FormLeft", current.left),
      FormTop(store, "FormTop", current.top),
      FormWidth(store, "FormWidth", current.width),
      FormHeight(store, "FormHeight", current.height),
      FormClientWidth(store, "FormClientWidth", current.clientWidth),
      FormClientHeight(store, "FormClientHeight", current.clientHeight) {}

void TRegistryFormInfo::ApplyTo(TFormPlacement& window) const {
  window.state = FormState.Value();
  window.left = FormLeft.Value();
  window.top = FormTop.Value();
  window.clientWidth = FormClientWidth.Value();
  window.clientHeight = FormClientHeight.Value();
}

void TRegistryFormInfo::Update(const TFormPlacement& window) {
  FormState.SetValue(window.state);
  FormLeft.SetValue(window.left);
  FormTop.SetValue(window.top);
  FormWidth.SetValue(window.width);
  FormHeight.SetValue(window.height);
  FormClientWidth.SetValue(window.clientWidth);
  FormClientHeight.SetValue(window.clientHeight);
}

std::int32_t FontStylesToInteger(const TFontStyles& styles) {
  return (styles.bold ? 1 : 0) | (styles.italic ? 2 : 0) | (styles.underline ? 4 : 0) |
         (styles.strikeOut ? 8 : 0);
}

TFontStyles IntegerToFontStyles(std::int32_t bits) {
  return {(bits & 1) != 0, (bits & 2) != 0, (bits & 4) != 0, (bits & 8) != 0};
}

void RecordAppPath(const std::filesystem::path& executable, const std::string& company) {
  TSettingsStore store(SoftwareKeyPath("App Paths", company));
  const std::string name = executable.stem().string();
  std::error_code ec;
  const std::filesystem::path full = std::filesystem::absolute(executable, ec);
  store.WriteString(name, ec ? executable.string() : full.string());
}

std::string LookUpAppPath(const std::string& programName, const std::string& company) {
  TSettingsStore store(SoftwareKeyPath("App Paths", company));
  return store.ReadString(programName).value_or(std::string());
}

TMainSettings::TMainSettings(std::shared_ptr<TSettingsStore> s)
    : store(std::move(s)),
      SourceFolder(store, "SourceFolder", ""),
      LastExtension(store, "LastExtension", "*.wav"),
      ImageFolder(store, "ImageFolder", ""),
      OutputFormat(store, "OutputFormat", 1),
      NoaaCropBorders(store, "NoaaCropBorders", false),
      NoaaJpegOutput(store, "NoaaJpegOutput", 1),
      CropNoise(store, "CropNoise", true),
      GreenVeg(store, "GreenVeg", true),
      NoaaSaveStats(store, "NoaaSaveStats", false),
      LargeImage(store, "LargeImage", false),
      GammaCorrect(store, "GammaCorrect", 1),
      AutoBlack(store, "AutoBlack", true),
      AutoUpdate(store, "AutoUpdate", true),
      LowPriority(store, "LowPriority", false),
      InputFilter(store, "InputFilter", 0),
      ReSync(store, "ReSync", false),
      Despeckle(store, "Despeckle", false),
      Geostationary(store, "Geostationary", 0),
      TapeInput(store, "TapeInput", false),
      Sharpen(store, "Sharpen", 1),
      EqualiseHistogram(store, "EqualiseHistogram", true),
      NoaaLumChanB(store, "NoaaLumChanB", false),
      SampleRate(store, "SampleRate", 11025),
      SatelliteModel(store, "SatelliteModel", 2),
      NoaaColourMapIndex(store, "NoaaColourMapIndex", 1),
      CtLandCol(store, "CtLandCol", StoredColour(140, 140, 140)),
      CtSeaCol(store, "CtSeaCol", StoredColour(0, 0, 128)),
      Ct2LandCol(store, "Ct2LandCol", StoredColour(0, 184, 0)),
      Ct2SeaCol(store, "Ct2SeaCol", StoredColour(0, 184, 184)),
      HomeCaption(store, "HomeCaption", ""),
      HomeSymbol(store, "HomeSymbol", "+"),
      HomeCaptionAuto(store, "HomeCaptionAuto", true),
      OvlFontName(store, "OvlFontName", "Arial"),
      OvlFontStyle(store, "OvlFontStyle", 0),
      OvlFontSize(store, "OvlFontSize", 10),
      OvlFontColour(store, "OvlFontColour", StoredColour(0, 255, 255)),
      OvlFontBackground(store, "OvlFontBackground", 0),
      OvlTextLocation(store, "OvlTextLocation", 0),
      OvlTextWithBorder(store, "OvlTextWithBorder", false),
      // The colours the overlay maker draws in: coastlines and borders
      // yellow, markers cyan, grid red.
      OvlBoundaryColour(store, "OvlBoundaryColour", StoredColour(255, 255, 0)),
      OvlBoundary(store, "OvlBoundary", true),
      OvlGraphicColour(store, "OvlGraphicColour", StoredColour(0, 255, 255)),
      OvlGraphic(store, "OvlGraphic", true),
      OvlGridColour(store, "OvlGridColour", StoredColour(255, 0, 0)),
      OvlGrid(store, "OvlGrid", true),
      OvlTempCal(store, "OvlTempCal", false),
      OvlScale(store, "OvlScale", false),
      OvlSoft(store, "OvlSoft", false),
      OvlOnIr(store, "OvlOnIr", true),
      // Name, date, "at", pass time, UTC; then direction and elevation; then
      // the user text.
      OvlTextLine1(store, "OvlTextLine1", 1 | 2 | 32 | 4 | 64),
      OvlTextLine2(store, "OvlTextLine2", 8 | 16),
      OvlTextLine3(store, "OvlTextLine3", 256),
      OverlayFieldSpacing(store, "OverlayFieldSpacing", 2),
      OverlayDateFmt(store, "OverlayDateFmt", "yyyy mmm dd"),
      // The caption's own words; the catalogue has no place for them.
      OverlayUserText(store, "OverlayUserText", "Your information"),
      KepsCurrPath(store, "KepsCurrPath", ""),
      KepsFullPath(store, "KepsFullPath", ""),
      ActiveSats(store, "ActiveSats", "NOAA-12,NOAA-15,NOAA-17,NOAA-18,NOAA-19"),
      AOSdegreesN(store, "AOSdegreesN", 0),
      AOSdegreesS(store, "AOSdegreesS", 0),
      TimezoneNaming(store, "TimezoneNaming", false),
      ZeveDuruviz(store, "ZeveDuruviz", false),
      ConfirmPass(store, "ConfirmPass", false),
      OvlLineOfs(store, "OvlLineOfs", "0,0,0,0,0"),
      OvlPixOfs(store, "OvlPixOfs", "4,4,4,4,4") {}

TMainSettings::~TMainSettings() {
  if (!store) return;
  store->BeginBatch();
  batchEnd_.store = store.get();
}

std::int32_t TMainSettings::LimitColourMapIndex(int mapCount) {
  if (mapCount <= 0) return -1;
  const std::int32_t limited =
      std::clamp<std::int32_t>(NoaaColourMapIndex.Value(), 0, mapCount - 1);
  if (limited != NoaaColourMapIndex.Value()) NoaaColourMapIndex.SetValue(limited);
  return limited;
}

double TMainSettings::Gamma() const {
  static constexpr double kGammas[] = {1.0, 1.3, 1.7, 2.2, 2.8};
  const std::int32_t choice = GammaCorrect.Value();
  if (choice < 0 || choice > 4) return 1.0;
  return kGammas[choice];
}

}  // namespace vivurozed
