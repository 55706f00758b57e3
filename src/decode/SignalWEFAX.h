// Framing of geostationary weather-fax pictures after decoding: the phasing
// block, the left edge, black and white, the digital header and the 450 Hz
// stop tone; and the picture name made from the header.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "decode/SignalVideoParamDefs.h"
#include "platform/ImageLib.h"
#include "signal/SignalFilters.h"

namespace vivurozed {

struct TGeoFrame {
  bool cropped = false;  // false: too few picture rows, the image was left alone
  std::string header;    // Latin-1, at most 25 characters
  int leftEdge = 0;
  int white = 0, black = 0;
  int phasingRows = 0, headerRows = 0;
  // How the header was read: dpMeteosat, dpGMS (EBCDIC) or dpGOES.
  TDecodeParameters headerType = dpGOES;
};

// Frames a stored picture of a geostationary type (rows at sample
// resolution) and crops `image` to the picture proper. measuredRate is the
// sample rate the line clock measured, 0 when none was measured.
TGeoFrame FrameGeostationary(std::unique_ptr<TIplImage>& image, TDecodeParameters type,
                             double measuredRate);

// Mean rectified 450 Hz resonator output over the last tenth of a row.
double StopToneEnergy(const std::uint16_t* row, int width, const TResonatorDesign& resonator);

// The header bits of rows [firstRow, firstRow + rowCount) read with a
// software bit clock from startColumn on; at most 25 characters.
std::string DecodeHeaderBits(const TIplImage& image, int firstRow, int rowCount,
                             TDecodeParameters type, double rate, int startColumn);

// One header byte as a character: EBCDIC for GMS, ASCII otherwise; bytes
// outside the character set become a blank.
char HeaderCharacter(std::uint8_t byte, TDecodeParameters type);

// "JAN" .. "DEC" in any case to 1 .. 12; 0 for a text that is not three
// characters long. Throws std::out_of_range("Bad month") otherwise.
int MonthFromText(const std::string& text);

// Satellites whose header names a sector picture.
bool IsSectorSatellite(const std::string& satellite);

// True when `name` may stand as a file name on its own: not empty, no path
// separator, no "..", only printable ASCII and none of the characters other
// file systems reserve.
bool IsSafePictureName(const std::string& name);

// The parts of a header in its first (fixed-field) form.
struct TWefaxHeaderFields {
  std::string satellite, kind, label;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0;
  double date = 0;  // days since 1899-12-30, hour 24 counted as 0
};
// False when a field is missing or not a number, or the date is impossible.
bool ParseWefaxHeader(const std::string& header, TWefaxHeaderFields& fields);

// A picture file name from the header text, keeping the default's folder
// and extension; the default when the header says nothing usable (with the
// message "Bad WEFAX header: ..." when showErrors is set).
std::string MakePictureName(const std::string& defaultName, const std::string& header,
                            bool showErrors);

}  // namespace vivurozed
