#include "app/OutputSaving.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <sstream>

#include "image/JPEG_IO.h"
#include "image/PngImage.h"
#include "platform/FileReplace.h"
#include "platform/UserMessages.h"

#ifndef VIVUROZED_VERSION
#define VIVUROZED_VERSION "0.1.0"
#endif

namespace vivurozed {

namespace {

namespace fs = std::filesystem;

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}
std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

const char* FormatExtension(int outputFormat) {
  return outputFormat == 0 ? ".bmp" : outputFormat == 2 ? ".png" : ".jpg";
}

// The name without its extension (a trailing "." counts as one).
std::string Stem(const std::string& name) {
  const fs::path p(name);
  if (!name.empty() && name.back() == '.') return name.substr(0, name.size() - 1);
  return (p.parent_path() / p.stem()).string();
}

// Names the user keeps rewriting (schedules, tests) are overwritten without asking.
bool NeverAsk(const std::string& name) {
  const std::string base = Upper(fs::path(name).stem().string());
  return base == "ADMIN" || base == "TEST" || base.rfind("SCHE", 0) == 0;
}

TExtBitmap Cropped(const TExtBitmap& picture, bool southBound) {
  int from = 0, width = picture.Width();
  if (picture.Width() == 1040) {
    from = southBound ? 82 : 49;
    width = 909;
  } else if (picture.Width() == 1560) {
    from = southBound ? 123 : 73;
    width = 1363;
  } else {
    return picture;
  }
  TExtBitmap out(width, picture.Height(), picture.PixelFormat());
  out.SetPalette(picture.Palette());
  const int bytes = picture.PixelFormat() == pf24bit ? 3 : 1;
  for (int y = 0; y < picture.Height(); ++y) {
    std::copy_n(picture.ScanLine(y) + from * bytes, width * bytes, out.ScanLine(y));
  }
  return out;
}

}  // namespace

bool IsEmpty(const TExtBitmap& b) {
  return b.Width() <= 0 || b.Height() <= 0;
}

std::string CreatorText() {
  return std::string("Vivurozed V") + VIVUROZED_VERSION;
}

void SaveBitmapAsBMP(const TExtBitmap& bitmap, const std::string& name) {
  std::ostringstream out;
  bitmap.SaveToStream(out);
  const std::string bytes = out.str();
  std::string error;
  if (!ReplaceFileContents(
          name, std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
          &error)) {
    throw EInvalidGraphicOperation("Cannot write file " + name + ": " + error);
  }
}

bool TOutputSaver::Failed(const std::string& name, const std::string& why) {
  UserMessages().Show("Error saving to file: " + name + " (" + why + ")", "");
  failures_.push_back(fs::path(name).filename().string() + " (" + why + ")");
  return false;
}

bool TOutputSaver::WritePrimary(const TExtBitmap& picture, const std::string& name,
                                const TSaveOptions& options) {
  const std::string ext = Lower(fs::path(name).extension().string());
  try {
    if (ext == ".bmp") {
      Status("Save primary image as BMP");
      SaveBitmapAsBMP(picture, name);
    } else if (ext == ".jpg") {
      Status("Save primary image as JPG");
      if (!SaveBitmapAsJPEG(picture, name, 75, options.creator)) throw EJpegError("not written");
    } else if (ext == ".png") {
      SaveBitmapAsPNG(picture, name, options.creator, "Image from weather satellite",
                      options.creator, "Main image from pass: " + options.passDescription,
                      [this](const std::string&, int percent) {
                        Status("Save primary image as PNG", percent);
                      });
    } else {
      return false;
    }
  } catch (const std::exception& e) {
    return Failed(name, e.what());
  }
  written_.push_back(name);
  return true;
}

bool TOutputSaver::WriteChannel(const TExtBitmap& picture, const std::string& base,
                                const std::string& suffix, int quality, const TSaveOptions& options,
                                bool announce) {
  if (options.noaaOutput < 0 || IsEmpty(picture)) return true;
  Status("Save channel" + suffix + " image");
  const TExtBitmap cropped =
      options.cropBorders ? Cropped(picture, options.southBound) : TExtBitmap();
  const TExtBitmap& copy = options.cropBorders ? cropped : picture;
  const bool jpeg = options.noaaOutput >= 1;
  const std::string name = base + suffix + (jpeg ? ".jpg" : ".bmp");
  try {
    if (jpeg) {
      if (!SaveBitmapAsJPEG(copy, name, quality, options.creator)) throw EJpegError("not written");
    } else {
      SaveBitmapAsBMP(copy, name);
    }
  } catch (const std::exception& e) {
    return Failed(name, e.what());
  }
  written_.push_back(name);
  if (announce)
    UserMessages().Show("Image saved to: " + name, "Vivurozed - false-colour image saved");
  return true;
}

bool TOutputSaver::SaveAll(const std::string& nameIn, const TRunPictures& pictures,
                           const TSaveOptions& options, bool saveMain, bool announce) {
  written_.clear();
  failures_.clear();
  std::string name = nameIn;
  const fs::path folder = fs::path(name).parent_path();
  std::error_code ec;
  if (!folder.empty() && !fs::is_directory(folder, ec)) {
    UserMessages().Show("Folder: " + folder.string() + " does not exist - nothing saved\n" +
                            "You can save the present data with the File, Save as dialogs",
                        "");
    failures_.push_back("the folder " + folder.string() + " does not exist");
    return false;
  }
  if (IsEmpty(pictures.main)) return false;
  const std::string base = Stem(name);
  if (!name.empty() && name.back() == '.') name = base + FormatExtension(options.outputFormat);
  const std::string overlayName = base + "-ovl" + FormatExtension(options.outputFormat);

  // A re-processed picture never replaces the picture it was loaded from.
  bool writeMain = saveMain && !(!options.sourcePicture.empty() &&
                                 fs::equivalent(options.sourcePicture, name, ec));
  mainDeclined_ = false;
  if (writeMain && !NeverAsk(name) && fs::exists(name, ec)) {
    const TMessageAnswer a = UserMessages().AskYesNo(
        "The file " + name + " already exists.  Do you wish to overwrite the existing file?",
        "Overwrite existing file?", maNo);
    writeMain = a == maYes;
    mainDeclined_ = !writeMain;
  }
  bool ok = true;
  if (writeMain) ok = WritePrimary(pictures.main, name, options) && ok;
  if (!IsEmpty(pictures.overlay) && saveMain) {
    ok = WritePrimary(pictures.overlay, overlayName, options) && ok;
  }
  const bool high = options.noaaOutput == 2;
  if (saveMain) {
    ok = WriteChannel(pictures.channelA, base, "-a", high ? 60 : 40, options, false) && ok;
    const TExtBitmap& b = options.preferOverlay && !IsEmpty(pictures.channelBOverlay)
                              ? pictures.channelBOverlay
                              : pictures.channelB;
    ok = WriteChannel(b, base, "-b", high ? 60 : 40, options, false) && ok;
  }
  const TExtBitmap& c = options.preferOverlay && !IsEmpty(pictures.falseColourOverlay)
                            ? pictures.falseColourOverlay
                            : pictures.falseColour;
  ok = WriteChannel(c, base, "-c", high ? 88 : 68, options, announce) && ok;
  return ok;
}

}  // namespace vivurozed
