// Persistent options. Each option is a small object that loads its value
// from the per-user settings store when it is created. A change made
// through Value is written to the store at once, so a crash loses nothing;
// destruction writes the value again, which creates every value of a new
// key at the first exit.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/qt/SettingsStore.h"

namespace vivurozed {

inline constexpr const char* kCompanyName = "Vovidada";
inline constexpr const char* kProgramName = "Vivurozed";

// "\Software\" + company + "\" + program.
std::string SoftwareKeyPath(const std::string& program, const std::string& company = kCompanyName);
// The program's key follows the executable's name, so a renamed program
// keeps settings of its own.
std::string ProgramKeyPath(const std::filesystem::path& executable);

class TRegistryVariable {
 public:
  TRegistryVariable(std::shared_ptr<TSettingsStore> store, std::string valueName);
  virtual ~TRegistryVariable();
  TRegistryVariable(const TRegistryVariable&) = delete;
  TRegistryVariable& operator=(const TRegistryVariable&) = delete;

  const std::string& ValueName() const { return valueName_; }
  const std::string& KeyPath() const { return store_->KeyPath(); }
  // When set, the value is removed from the store at destruction.
  bool DeleteOnFree() const { return deleteOnFree_; }
  void SetDeleteOnFree(bool v) { deleteOnFree_ = v; }

 protected:
  TSettingsStore& Store() { return *store_; }
  const TSettingsStore& Store() const { return *store_; }

 private:
  bool deleteOnFree_ = false;
  std::string valueName_;
  std::shared_ptr<TSettingsStore> store_;
};

// Booleans are stored as 32-bit integers, 0 or 1; any non-zero integer reads
// as true.
class TRegistryBoolean : public TRegistryVariable {
 public:
  TRegistryBoolean(std::shared_ptr<TSettingsStore> store, std::string valueName, bool defaultValue);
  ~TRegistryBoolean() override;
  bool Value() const { return value_; }
  void SetValue(bool v);
  bool Save();

 private:
  bool value_;
};

class TRegistryInteger : public TRegistryVariable {
 public:
  TRegistryInteger(std::shared_ptr<TSettingsStore> store, std::string valueName,
                   std::int32_t defaultValue);
  ~TRegistryInteger() override;
  std::int32_t Value() const { return value_; }
  void SetValue(std::int32_t v);
  bool Save();

 private:
  std::int32_t value_;
};

class TRegistryString : public TRegistryVariable {
 public:
  TRegistryString(std::shared_ptr<TSettingsStore> store, std::string valueName,
                  std::string defaultValue);
  ~TRegistryString() override;
  const std::string& Value() const { return value_; }
  void SetValue(const std::string& v);
  bool Save();

 private:
  std::string value_;
};

// A window's placement as the toolkit reports it; state is the ordinal of
// the window state (normal, minimised, maximised).
struct TFormPlacement {
  std::int32_t state = 0;
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t clientWidth = 0;
  std::int32_t clientHeight = 0;
};

// The seven placement values of a window, defaulting to its current ones.
class TRegistryFormInfo {
 public:
  TRegistryFormInfo(std::shared_ptr<TSettingsStore> store, const TFormPlacement& current);
  // Applies state, position and client size; the outer size is kept only.
  void ApplyTo(TFormPlacement& window) const;
  // Takes the window's placement, to be kept for the next start.
  void Update(const TFormPlacement& window);

  TRegistryInteger FormState, FormLeft, FormTop, FormWidth, FormHeight, FormClientWidth,
      FormClientHeight;
};

// Font styles as the integer bit set of the store.
struct TFontStyles {
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool strikeOut = false;
  bool operator==(const TFontStyles&) const = default;
};
std::int32_t FontStylesToInteger(const TFontStyles& styles);
TFontStyles IntegerToFontStyles(std::int32_t bits);

// "App Paths": each program records its full path under its own name, so
// that companion programs can find one another. Both keep silent when the
// store cannot be read or written.
void RecordAppPath(const std::filesystem::path& executable,
                   const std::string& company = kCompanyName);
std::string LookUpAppPath(const std::string& programName,
                          const std::string& company = kCompanyName);

// Colour as the store keeps it: red in the low byte, then green, then blue.
constexpr std::int32_t StoredColour(int red, int green, int blue) {
  return red | (green << 8) | (blue << 16);
}

// Every option of the main window, loaded at creation.
class TMainSettings {
 public:
  explicit TMainSettings(std::shared_ptr<TSettingsStore> store);
  ~TMainSettings();  // every value saved, in one write of the store

  // Limits "NoaaColourMapIndex" to the list of mapCount colour maps and
  // returns it; -1 (value unchanged) when there is no map at all.
  std::int32_t LimitColourMapIndex(int mapCount);
  // Decoder gamma of the "GammaCorrect" choice; out-of-range choices give 1.0.
  double Gamma() const;

  std::shared_ptr<TSettingsStore> store;

 private:
  // Declared before the values so that it ends the batch of their saves.
  struct TBatchEnd {
    TSettingsStore* store = nullptr;
    ~TBatchEnd() {
      if (store) store->EndBatch();
    }
  } batchEnd_;

 public:
  TRegistryString SourceFolder, LastExtension, ImageFolder;
  TRegistryInteger OutputFormat;
  TRegistryBoolean NoaaCropBorders;
  TRegistryInteger NoaaJpegOutput;
  TRegistryBoolean CropNoise, GreenVeg, NoaaSaveStats, LargeImage;
  TRegistryInteger GammaCorrect;
  TRegistryBoolean AutoBlack, AutoUpdate, LowPriority;
  TRegistryInteger InputFilter;
  TRegistryBoolean ReSync, Despeckle;
  TRegistryInteger Geostationary;
  TRegistryBoolean TapeInput;
  TRegistryInteger Sharpen;
  TRegistryBoolean EqualiseHistogram, NoaaLumChanB;
  TRegistryInteger SampleRate, SatelliteModel, NoaaColourMapIndex;
  TRegistryInteger CtLandCol, CtSeaCol, Ct2LandCol, Ct2SeaCol;

  // Overlay and orbit options.
  TRegistryString HomeCaption, HomeSymbol;
  TRegistryBoolean HomeCaptionAuto;
  TRegistryString OvlFontName;
  TRegistryInteger OvlFontStyle, OvlFontSize, OvlFontColour, OvlFontBackground, OvlTextLocation;
  TRegistryBoolean OvlTextWithBorder;
  TRegistryInteger OvlBoundaryColour;
  TRegistryBoolean OvlBoundary;
  TRegistryInteger OvlGraphicColour;
  TRegistryBoolean OvlGraphic;
  TRegistryInteger OvlGridColour;
  TRegistryBoolean OvlGrid, OvlTempCal, OvlScale, OvlSoft, OvlOnIr;
  TRegistryInteger OvlTextLine1, OvlTextLine2, OvlTextLine3, OverlayFieldSpacing;
  TRegistryString OverlayDateFmt, OverlayUserText, KepsCurrPath, KepsFullPath, ActiveSats;
  TRegistryInteger AOSdegreesN, AOSdegreesS;
  TRegistryBoolean TimezoneNaming, ZeveDuruviz, ConfirmPass;
  TRegistryString OvlLineOfs, OvlPixOfs;
};

}  // namespace vivurozed
