// Feeds arbitrary bytes to the three coastline readers (native, GSHHS of
// either byte order, text) and draws whatever they accept through the warped
// projection onto a canvas that only counts.
#include <cstddef>
#include <cstdint>
#include <span>

#include "map/MapWithWarp.h"
#include "map/ekCartography.h"

namespace {

class CountingCanvas : public vivurozed::TCanvas {
 public:
  int Width() const override { return 909; }
  int Height() const override { return 1800; }
  void Polyline(std::span<const vivurozed::TCanvasPoint> points) override {
    count += points.size();
  }
  void Ellipse(int, int, int, int) override {}
  void FillRect(int, int, int, int) override {}
  void TextOut(int, int, const std::string&) override {}
  int TextWidth(const std::string&) override { return 0; }
  int TextHeight(const std::string&) override { return 0; }
  std::size_t count = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static vivurozed::TWarpedMapping mapping;
  static const bool initialised = [] {
    mapping.Initialise(3, 900, 55.37, 3.3, 830, 50, -3);
    return true;
  }();
  (void)initialised;
  for (bool text : {false, true}) {
    vivurozed::TCartogList list;
    list.SetTextFormat(text);
    list.LoadFromMemory(std::span(data, size));
    list.SetMapping(&mapping);
    CountingCanvas canvas;
    list.Draw(canvas, 82, 0);
  }
  return 0;
}
