#include "app/LiveRun.h"

#include <algorithm>
#include <filesystem>

namespace vivurozed {

std::string RecordingPath(const std::string& folder, TDateTime start, int zoneMinutes,
                          const std::string& satellite) {
  namespace fs = std::filesystem;
  std::string stem = FormatDateTime("mmddhhnn", start + zoneMinutes / 1440.0);
  if (!satellite.empty()) stem += "_" + satellite;
  const fs::path base = folder.empty() ? fs::current_path() : fs::path(folder);
  std::error_code ec;
  fs::path path = base / (stem + ".wav");
  for (int n = 2; fs::exists(path, ec); ++n)
    path = base / (stem + "-" + std::to_string(n) + ".wav");
  return path.string();
}

std::vector<std::uint8_t> PreviewRow(std::span<const std::uint16_t> row, int width, int low,
                                     int high) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(std::max(width, 0)), 0);
  if (row.empty() || width <= 0) return pixels;
  const double scale = high > low ? 255.0 / (high - low) : 0.0;
  const std::size_t n = row.size();
  for (std::size_t x = 0; x < pixels.size(); ++x) {
    // Each pixel is the mean of the samples it covers (at least one).
    const std::size_t from = x * n / pixels.size();
    const std::size_t to = std::max(from + 1, (x + 1) * n / pixels.size());
    double sum = 0;
    for (std::size_t i = from; i < to; ++i) sum += row[i];
    const double v = (sum / static_cast<double>(to - from) - low) * scale;
    pixels[x] = static_cast<std::uint8_t>(std::clamp(v + 0.5, 0.0, 255.0));
  }
  return pixels;
}

}  // namespace vivurozed
