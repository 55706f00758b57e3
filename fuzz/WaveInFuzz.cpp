// Feeds arbitrary bytes to the WAVE reader through the whole block path.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "SilentMessages.h"
#include "platform/UserMessages.h"
#include "signal/SignalProcessing.h"
#include "signal/WaveCommon.h"

namespace {

class Counter : public vivurozed::TSignalProcessor {
 public:
  std::size_t samples = 0;

 protected:
  void Process(vivurozed::SampleBlock block) override { samples += block.size(); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static SilentMessages messages;
  vivurozed::SetUserMessages(&messages);
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  {
    std::istringstream in(bytes);
    int rate = 0, frames = 0;
    vivurozed::GetWaveStreamInfo(in, rate, frames);
  }
  vivurozed::TSignalSource source;
  Counter counter;
  source.SetDataSink(&counter);
  source.SetBufferSamples(64);
  std::istringstream in(bytes);
  source.WaveIn().ReadStream(in, "fuzz", 4096, 0);
  return 0;
}
