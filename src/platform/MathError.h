// The error raised by numeric code for arguments it cannot work with
// (a singular matrix, a power of a non-positive base, no orbit loaded).
#pragma once

#include <stdexcept>

namespace vivurozed {

class EMathError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace vivurozed
