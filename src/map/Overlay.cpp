#include "map/Overlay.h"

#include <langinfo.h>

#include <algorithm>
#include <clocale>
#include <cmath>

#include "map/ekMapping.h"

namespace vivurozed {

namespace {

TExtBitmap Stretched(const TExtBitmap& overlay, int width) {
  TExtBitmap out(width, overlay.Height(), pf8bit);
  out.SetPalette(overlay.Palette());
  // Nearest neighbour: the pixels are codes, never to be blended.
  std::vector<int> from(static_cast<std::size_t>(width));
  for (int x = 0; x < width; ++x)
    from[static_cast<std::size_t>(x)] =
        static_cast<int>(static_cast<long long>(x) * overlay.Width() / width);
  for (int y = 0; y < overlay.Height(); ++y) {
    const std::uint8_t* s = overlay.ScanLine(y);
    std::uint8_t* d = out.ScanLine(y);
    for (int x = 0; x < width; ++x) d[x] = s[from[static_cast<std::size_t>(x)]];
  }
  return out;
}

// Gives the overlay the picture's width, placed where the picture's channel
// lies for the known picture layouts.
void FitOverlayToWidth(TExtBitmap& overlay, int pictureWidth, TDiagnostics* log) {
  const int ow = overlay.Width();
  int stretchTo = pictureWidth, at = 0;
  std::string line;
  if (pictureWidth == 909) {
    stretchTo = 1040, at = -85;
    line = Format("Recognised raw APT - rescaling overlay to %d pixels wide", pictureWidth);
  } else if (pictureWidth == 960) {
    stretchTo = ow * 762 / 909, at = 106;
    line = Format("Recognised Resurs O1-N4 - rescaling overlay to %d pixels wide", pictureWidth);
  } else if (pictureWidth == 1060) {
    stretchTo = ow * 851 / 909, at = 35;
    line = Format("Recognised Meteor 3-5 - rescaling overlay to %d pixels wide", pictureWidth);
  } else {
    line = Format("Rescaling overlay from %d pixels to %d pixels wide", ow, pictureWidth);
  }
  if (log) log->Add(line);
  const TExtBitmap stretched = Stretched(overlay, std::max(1, stretchTo));
  std::vector<TPaletteEntry> palette = overlay.Palette();
  overlay = TExtBitmap(pictureWidth, overlay.Height(), pf8bit);
  overlay.SetPalette(std::move(palette));
  for (int y = 0; y < overlay.Height(); ++y) {
    const std::uint8_t* s = stretched.ScanLine(y);
    std::uint8_t* d = overlay.ScanLine(y);
    for (int x = std::max(0, at); x < pictureWidth && x - at < stretched.Width(); ++x)
      d[x] = s[x - at];
  }
}

void Composite(const TExtBitmap& overlay, TExtBitmap& dest, int top, int pictureHeight,
               const TOverlayOptions& o) {
  const bool eight = dest.PixelFormat() == pf8bit;
  const int width = dest.Width();
  auto colourOf = [&](std::uint8_t code) -> const std::optional<TColour>* {
    switch (code) {
      case ocGrid:
        return &o.grid;
      case ocBoundary:
        return &o.boundary;
      case ocGraphic:
        return &o.graphic;
      default:
        return nullptr;
    }
  };
  for (int r = 0; r < pictureHeight; ++r) {
    const int orow = r + o.lineOffset;
    if (orow < 0 || orow > overlay.Height() - 2) continue;
    const std::uint8_t* codes = overlay.ScanLine(orow);
    // A turned picture is matched by turning the overlay the same way.
    std::uint8_t* row = dest.ScanLine(top + (o.rotate180 ? pictureHeight - 1 - r : r));
    for (int c = 0; c < width; ++c) {
      const int oc = c + o.pixelOffset;
      if (oc < 0 || oc >= overlay.Width()) continue;
      const std::uint8_t code = codes[oc];
      const int x = o.rotate180 ? width - 1 - c : c;
      const std::optional<TColour>* colour = colourOf(code);
      if (eight) {
        if (colour && colour->has_value()) row[x] = row[x] < 161 ? 255 : 0;
        continue;
      }
      std::uint8_t* p = row + 3 * x;  // blue, green, red
      if (colour && colour->has_value()) {
        const TColour& k = **colour;
        if (o.soft && !o.cloudTop) {
          p[0] = static_cast<std::uint8_t>(std::min((k.blue + p[0]) / 2, 255));
          p[1] = static_cast<std::uint8_t>(std::min((k.green + p[1]) / 2, 255));
          p[2] = static_cast<std::uint8_t>(std::min((k.red + p[2]) / 2, 255));
        } else {
          p[0] = k.blue, p[1] = k.green, p[2] = k.red;
        }
      } else if (o.cloudTop && (code == ocLand || code == ocSea) && p[0] == 1) {
        // Blue 1 is the cloud-top lookup's mark for a warm, cloud-free surface.
        const TColour& k = code == ocLand ? o.land : o.sea;
        p[0] = k.blue, p[1] = k.green, p[2] = k.red;
      }
    }
  }
}

int StripX(const TOverlayOptions& o) {
  int x = !o.cropBorders ? 9 : (o.rotate180 ? 50 : 84);
  if (o.largeImage) x = x * 3 / 2;
  return x;
}

int StripStep(const TExtBitmap& dest) {
  return std::min(dest.Height() / 100, 3);
}

void DrawStrip(TExtBitmap& dest, int top, const TOverlayOptions& o) {
  const TExtBitmap& lookup = *o.lookup;
  const int s = StripStep(dest);
  const int y0 = top + 50;
  const int x = StripX(o);
  for (int j = s; j <= 99 * s; ++j) {
    const int y = y0 + j;
    if (y < 0 || y >= dest.Height()) continue;
    std::uint8_t* row = dest.ScanLine(y);
    for (int c = 0; c <= std::min(x + 66, dest.Width() - 1); ++c)
      row[3 * c] = row[3 * c + 1] = row[3 * c + 2] = 0;
    const int step = j / s;
    if (step % 10 == 0) continue;  // a tick every ten degrees
    const int column = 99 - step;  // temperature 39 - step, column = T + 60
    for (int i = 0; i < 64 && x + i < dest.Width(); ++i) {
      const std::uint8_t* l = lookup.ScanLine(239 - 3 * i) + 3 * column;  // brightness 3i + 16
      std::uint8_t* p = row + 3 * (x + i);
      p[0] = l[0], p[1] = l[1], p[2] = l[2];
    }
  }
}

void DrawStripLabels(TCanvas& canvas, int top, int s, const TOverlayOptions& o) {
  const int y0 = top + 50;
  const int x = StripX(o);
  canvas.SetFont("Arial", 10, true);
  const int half = canvas.TextHeight("0") / 2;
  for (int k = 1; k <= 9; ++k) {
    const int t = 40 - 10 * k;  // 30, 20, ... -50
    std::string text;
    if (o.metric) {
      text = (t > 0 ? "+" : "") + std::to_string(t) +
             "\xC2\xB0"
             "C";
    } else {
      const double f = 1.8 * t + 32;
      text = (f > 0 ? "+" : "") + Format("%2.0f", f) +
             "\xC2\xB0"
             "F";
    }
    const int tx = x + 2, ty = y0 - half + 10 * k * s;
    canvas.SetFontColour({48, 48, 48});
    for (int dy : {-1, 1})
      for (int dx : {-1, 1}) canvas.TextOut(tx + dx, ty + dy, text);
    canvas.SetFontColour({216, 216, 216});
    canvas.TextOut(tx, ty, text);
  }
}

void SetCaptionFont(TCanvas& canvas, const TOverlayFont& f, bool large) {
  canvas.SetFont(f.name, large ? f.size * 3 / 2 : f.size, (f.style & 1) != 0);
}

void DrawCaption(TCanvas& canvas, int width, int height, const TOverlayOptions& o, bool eight) {
  if (o.textLocation <= 0 || o.textLocation > 6 || o.caption.empty()) return;
  SetCaptionFont(canvas, o.font, o.largeImage);
  const int lineHeight = canvas.TextHeight("Cy");
  const int margin = width / 10;
  const int lines = static_cast<int>(o.caption.size());
  int y = o.textLocation <= 3 ? 1 : height - 2 - lines * lineHeight;
  const TColour colour = eight ? TColour{255, 255, 255} : o.fontColour;
  for (const std::string& text : o.caption) {
    const int w = canvas.TextWidth(text);
    int x = margin;
    const int column = (o.textLocation - 1) % 3;
    if (column == 1) x = (width - 2 - w) / 2;
    if (column == 2) x = width - 2 - w - margin;
    canvas.SetFontColour({51, 51, 51});
    for (int dy = -1; dy <= 2; ++dy)
      for (int dx = -1; dx <= 2; ++dx) canvas.TextOut(x + dx, y + dy, text);
    canvas.SetFontColour(colour);
    canvas.TextOut(x, y, text);
    y += lineHeight;
  }
}

void DrawScale(TCanvas& canvas, int width, int height, const TOverlayOptions& o) {
  if (height < 199 || (width != 1040 && width != 1560)) return;
  const double factor = width == 1560 ? 1.5 : 1.0;
  const int y = o.textLocation < 4 ? height - 25 : 25;
  const int length =
      static_cast<int>(std::lround(o.metric ? factor * 500 / 3.3 : factor * 300 * 1.609 / 3.3));
  const std::string text = o.metric ? "  ~500 km" : "  ~300 miles";
  canvas.SetFont("Arial", 10, true);
  const int w = canvas.TextWidth(text);
  const int x0 = (width - (length + w)) / 2, x1 = x0 + length;
  canvas.SetBrushStyle(bsSolid);
  canvas.SetBrushColour({48, 48, 48});
  canvas.FillRect(x0 - 3, y - 7, x1 + w + 4, y + 9);
  canvas.SetBrushStyle(bsClear);
  canvas.SetFontColour({208, 208, 208});
  canvas.TextOut(x1, y - canvas.TextHeight(text) / 2, text);
  const struct {
    int width;
    TColour colour;
  } passes[] = {{3, {176, 176, 176}}, {1, {255, 255, 255}}};
  for (const auto& pass : passes) {
    canvas.SetPenColour(pass.colour);
    canvas.SetPenWidth(pass.width);
    canvas.MoveTo(x0, y);
    canvas.LineTo(x1, y);
    canvas.MoveTo(x0, y + 5);
    canvas.LineTo(x0, y - 5);
    canvas.MoveTo(x1, y + 5);
    canvas.LineTo(x1, y - 5);
  }
}

}  // namespace

const std::vector<TPaletteEntry>& OverlayPalette() {
  static const std::vector<TPaletteEntry> palette = {
      {0, 0, 0},       {128, 0, 0},     {0, 128, 0},     {128, 128, 0},   {0, 0, 128},
      {128, 0, 128},   {0, 128, 128},   {192, 192, 192}, {192, 220, 192}, {166, 202, 240},
      {255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},     {0, 255, 0},
      {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255},   {255, 255, 255}};
  return palette;
}

int FindMinuteMarkerLine(const TExtBitmap& overlay) {
  if (overlay.PixelFormat() != pf8bit || overlay.Width() <= 60) return overlay.Height() - 1;
  for (int r = 0; r < overlay.Height() - 1; ++r)
    if (overlay.ScanLine(r)[60] == ocBlack && overlay.ScanLine(r + 1)[60] == ocWhite) return r;
  return overlay.Height() - 1;
}

TColour ColourFromStored(std::int32_t stored) {
  const auto v = static_cast<std::uint32_t>(stored);
  return {static_cast<std::uint8_t>(v & 0xFF), static_cast<std::uint8_t>((v >> 8) & 0xFF),
          static_cast<std::uint8_t>((v >> 16) & 0xFF)};
}

bool LocaleIsMetric() {
  // LC_MEASUREMENT: 1 metric, 2 imperial (glibc).
  const char* old = std::setlocale(LC_MEASUREMENT, nullptr);
  const std::string saved = old ? old : "C";
  std::setlocale(LC_MEASUREMENT, "");
  const char* m = nl_langinfo(_NL_MEASUREMENT_MEASUREMENT);
  const bool metric = !(m && m[0] == 2);
  std::setlocale(LC_MEASUREMENT, saved.c_str());
  return metric;
}

int TextBlockHeight(const TOverlayFont& font, int lines, bool large) {
  TExtBitmap probe(1, 1, pf8bit);
  auto canvas = MakeBitmapCanvas(probe);
  SetCaptionFont(*canvas, font, large);
  return static_cast<int>(std::lround((lines + 0.13) * canvas->TextHeight("Cy")));
}

int RenderOverlay(const TExtBitmap& picture, TExtBitmap& overlay, TExtBitmap& destination,
                  const TOverlayOptions& o) {
  if (picture.Height() == 0 || picture.Width() == 0) return 0;
  const bool eight = picture.PixelFormat() == pf8bit;
  if (!eight && picture.PixelFormat() != pf24bit) return 0;

  const bool captionShown = o.textLocation > 0 && o.textLocation <= 6 && !o.caption.empty();
  int band = 0, top = 0;
  if (o.separateBand && captionShown) {
    band = TextBlockHeight(o.font, static_cast<int>(o.caption.size()), o.largeImage);
    if (o.textLocation <= 3) top = band;
  }
  destination = TExtBitmap(picture.Width(), picture.Height() + band, picture.PixelFormat());
  if (eight) destination.SetPalette(picture.Palette());
  if (band > 0) {
    for (int y = 0; y < destination.Height(); ++y) {
      std::uint8_t* row = destination.ScanLine(y);
      for (int x = 0; x < destination.Width(); ++x) {
        if (eight) {
          row[x] = o.bandColour.red;  // grey pictures: the band's grey level
        } else {
          row[3 * x] = o.bandColour.blue, row[3 * x + 1] = o.bandColour.green,
                  row[3 * x + 2] = o.bandColour.red;
        }
      }
    }
  }
  const int bytes = picture.Width() * (eight ? 1 : 3);
  for (int y = 0; y < picture.Height(); ++y)
    std::copy_n(picture.ScanLine(y), bytes, destination.ScanLine(top + y));

  if (overlay.Height() > 0 && overlay.PixelFormat() == pf8bit) {
    if (overlay.Width() != picture.Width()) FitOverlayToWidth(overlay, picture.Width(), o.log);
    Composite(overlay, destination, top, picture.Height(), o);
  }

  const bool stripWanted = !eight && o.lookup && o.lookup->PixelFormat() == pf24bit &&
                           o.lookup->Width() >= 100 && o.lookup->Height() >= 256 &&
                           destination.Height() > 199 && destination.Width() > 1000;
  if (stripWanted) DrawStrip(destination, top, o);
  const bool scaleWanted = o.scale && destination.Height() >= 199 &&
                           (destination.Width() == 1040 || destination.Width() == 1560);
  if (!captionShown && !stripWanted && !scaleWanted) return top;
  auto canvas = MakeBitmapCanvas(destination);
  canvas->SetBrushStyle(bsClear);
  if (captionShown) DrawCaption(*canvas, destination.Width(), destination.Height(), o, eight);
  if (stripWanted) DrawStripLabels(*canvas, top, StripStep(destination), o);
  if (scaleWanted) DrawScale(*canvas, destination.Width(), destination.Height(), o);
  return top;
}

}  // namespace vivurozed
