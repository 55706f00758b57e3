// What a processing run needs of whoever drives it: the command line and the
// main window each implement this; tests use a recording fake.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace vivurozed {

class TRunHost {
 public:
  virtual ~TRunHost() = default;
  // A run's progress: begins with a text, goes on with texts and a
  // percentage, ends.
  virtual void ProgressBegin(const std::string& text) = 0;
  virtual void Progress(const std::string& text, int percent) = 0;
  virtual void ProgressEnd() = 0;
  virtual void SetStatus(const std::string& text) = 0;
  virtual void SetCaption(const std::string& caption) = 0;
  virtual void SetBusy(bool busy) = 0;
  // Lets pending user input be handled during a long run.
  virtual void LetInputThrough() = 0;
  // True once the user asked the running stream to stop.
  virtual bool StopRequested() = 0;
  // The run's pictures are ready to be shown.
  virtual void PicturesReady() = 0;
  // A line was decoded: `row` of the picture as it grows, in the order of
  // reception (before any turning), as grey pixels. Called on the run's
  // thread as each line arrives; a row may come again when the picture is
  // full. The pixels are only valid during the call.
  virtual void LineDecoded(int /*row*/, std::span<const std::uint8_t> /*pixels*/) {}
  // False when LineDecoded shows nothing, so the lines need not be made.
  virtual bool ShowsLines() const { return true; }
};

}  // namespace vivurozed
