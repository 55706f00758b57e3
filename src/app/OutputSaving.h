// Which pictures of a run are written, under which names and in which
// formats: the main picture, its overlay version, and the NOAA channel and
// false-colour pictures beside it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "image/BMPExtImage.h"

namespace vivurozed {

// The pictures a run holds; an empty bitmap (no rows) is not there.
struct TRunPictures {
  TExtBitmap main;
  TExtBitmap overlay;  // the main picture with the overlay drawn on it
  TExtBitmap channelA, channelB, channelBOverlay;
  TExtBitmap falseColour, falseColourOverlay;
};

bool IsEmpty(const TExtBitmap& b);

struct TSaveOptions {
  int outputFormat = 1;  // 0 BMP, 1 JPEG, 2 PNG
  int noaaOutput = 1;    // -1 none, 0 BMP, 1 JPEG default quality, 2 JPEG high quality
  bool cropBorders = false;
  bool southBound = false;
  bool preferOverlay = false;   // overlay versions of channel B and false colour
  std::string sourcePicture;    // the picture the run loaded, never overwritten by its result
  std::string passDescription;  // for the PNG title
  std::string creator;          // program and version, in JPEG and PNG files
};

// "Vivurozed V" + version.
std::string CreatorText();

class TOutputSaver {
 public:
  using TStatus = std::function<void(const std::string& text, int percent)>;
  explicit TOutputSaver(TStatus status = {}) : status_(std::move(status)) {}

  // Writes the pictures under `name` (a base ending in "." takes its
  // extension from the output format). Returns false when something that
  // was to be written could not be; the user was told why.
  bool SaveAll(const std::string& name, const TRunPictures& pictures, const TSaveOptions& options,
               bool saveMain, bool announce);

  // The files written by the last SaveAll, in order.
  const std::vector<std::string>& Written() const { return written_; }
  // The last SaveAll kept an existing main picture because the answer was No.
  bool MainDeclined() const { return mainDeclined_; }
  // What the last SaveAll could not write, each "name (reason)".
  const std::vector<std::string>& Failures() const { return failures_; }

  // One picture by the name's extension (".bmp", ".jpg", ".png").
  bool WritePrimary(const TExtBitmap& picture, const std::string& name,
                    const TSaveOptions& options);

 private:
  bool WriteChannel(const TExtBitmap& picture, const std::string& base, const std::string& suffix,
                    int quality, const TSaveOptions& options, bool announce);
  void Status(const std::string& text, int percent = -1) {
    if (status_) status_(text, percent);
  }
  TStatus status_;
  bool Failed(const std::string& name, const std::string& why);
  std::vector<std::string> written_, failures_;
  bool mainDeclined_ = false;
};

// Writes a BMP so that the target is either the whole new file or what it
// was before. Throws EInvalidGraphicOperation when it cannot.
void SaveBitmapAsBMP(const TExtBitmap& bitmap, const std::string& name);

}  // namespace vivurozed
