// A small histogram of pixel levels that every picture bitmap carries.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace vivurozed {

class TekHistogram {
 public:
  explicit TekHistogram(int binCount);

  int BinCount() const { return int(counts_.size()); }
  std::span<std::int32_t> Counts() { return counts_; }
  std::span<const std::int32_t> Counts() const { return counts_; }
  // Counts a level; levels outside 0 .. BinCount()-1 are not counted.
  void Add(int level);
  void Clear();                // zeroes the counts
  std::int64_t Total() const;  // sum of the counts

  float LowerPercent() const { return lowerPercent_; }
  void SetLowerPercent(float v) { lowerPercent_ = v; }
  float UpperPercent() const { return upperPercent_; }
  void SetUpperPercent(float v) { upperPercent_ = v; }

 private:
  std::vector<std::int32_t> counts_;
  float lowerPercent_ = 0.5f;
  float upperPercent_ = 99.5f;
};

}  // namespace vivurozed
