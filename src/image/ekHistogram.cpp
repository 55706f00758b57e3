#include "image/ekHistogram.h"

#include <algorithm>
#include <numeric>

namespace vivurozed {

TekHistogram::TekHistogram(int binCount) : counts_(std::size_t(std::max(binCount, 0)), 0) {}

void TekHistogram::Add(int level) {
  if (level >= 0 && level < BinCount()) ++counts_[std::size_t(level)];
}

void TekHistogram::Clear() {
  std::fill(counts_.begin(), counts_.end(), 0);
}

std::int64_t TekHistogram::Total() const {
  return std::accumulate(counts_.begin(), counts_.end(), std::int64_t(0));
}

}  // namespace vivurozed
