// A run host for tests and benchmarks that shows nothing and never asks the
// run to stop; derive from it to watch what matters.
#pragma once

#include <string>

#include "app/RunHost.h"

namespace vivurozed::testing {

class QuietRunHost : public TRunHost {
 public:
  void ProgressBegin(const std::string&) override {}
  void Progress(const std::string&, int) override {}
  void ProgressEnd() override {}
  void SetStatus(const std::string&) override {}
  void SetCaption(const std::string&) override {}
  void SetBusy(bool) override {}
  void LetInputThrough() override {}
  bool StopRequested() override { return false; }
  void PicturesReady() override {}
};

}  // namespace vivurozed::testing
