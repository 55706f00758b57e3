#include "decode/SignalVideoParamDefs.h"

#include <cmath>
#include <numbers>

namespace vivurozed {

const std::array<const char*, kDecodeTypeCount> DecodeParameterNames = {
    "Meteor", "Meteor221", "Resurs",   "NOAA", "Okean", "Sich", "Sich600",
    "OkeanO", "OkeanO37",  "Meteosat", "GMS",  "GOES",  "WEFAX"};

bool DecodeParametersFromName(const std::string& name, TDecodeParameters& type) {
  for (int i = 0; i < kDecodeTypeCount; ++i) {
    if (name == DecodeParameterNames[static_cast<std::size_t>(i)]) {
      type = static_cast<TDecodeParameters>(i);
      return true;
    }
  }
  return false;
}

TDecodeTypeRow DecodeTypeRow(TDecodeParameters type, bool use832HzSync) {
  switch (type) {
    case dpMeteor35:
      return {2, 256, 12, 1060, 0.6f, false, 9};
    case dpMeteor221:
      return {2, 256, 17, 850, 0.55f, true, 9};
    case dpResursO1N4:
      return {2, 256, 14, 960, 0.6f, true, 7};
    case dpNOAAapt:
      return {2, use832HzSync ? 832 : 1040, 7, 2080, 0.6f, false, 0};
    case dpOkean:
      return {4, 1200, 50, 900, 0.6f, false, 0};
    case dpSich:
      return {4, 45, 1, 1500, 0.6f, false, 0};
    case dpSich6:
      return {4, 600, 7, 1500, 0.157f, false, 0};
    case dpOkeanO:
      return {4, 1200, 12, 1500, 0.6f, false, 0};
    case dpOkeanO37:
      return {4, 50, 1, 1500, 0.6f, false, 0};
    case dpMeteosat:
    case dpGMS:
    case dpGOES:
      return {4, 80, 1, 800, 0.61f, false, 0};
    case dpWEFAX:
      break;
  }
  return {4, 120, 1, 840, 0.6f, false, 0};
}

TSyncTemplate BuildSyncTemplate(TDecodeParameters type, int rate, int syncHz, int cycles,
                                float threshold) {
  TSyncTemplate t{{}, threshold};
  if (rate <= 0 || syncHz <= 0) return t;
  const double pi = std::numbers::pi;
  if (type == dpSich || type == dpOkeanO37) {
    // Timed pulses: a long low stretch, then high.
    const int length = rate * (type == dpSich ? 33 : 45) / 1000;
    const int low = type == dpSich ? 2 * length / 3 : 35 * length / 45;
    t.samples.assign(static_cast<std::size_t>(length), 1.0f);
    for (int i = 0; i < low; ++i) t.samples[static_cast<std::size_t>(i)] = -1.0f;
    t.threshold = 0.975f;
    return t;
  }
  if (cycles > 1) {
    const int length = cycles * rate / syncHz;
    const int silence = type == dpSich6 ? rate * 32 / 1000 : 0;
    t.samples.assign(static_cast<std::size_t>(silence + length), 0.0f);
    for (int i = 0; i < length; ++i) {
      t.samples[static_cast<std::size_t>(silence + i)] =
          static_cast<float>(std::sin(2 * pi * i * syncHz / rate));
    }
    return t;
  }
  // One edge: a dark half, then a bright half.
  const int length = rate / syncHz;
  t.samples.resize(static_cast<std::size_t>(length));
  for (int i = 0; i < length; ++i) {
    const float s = static_cast<float>(std::sin(pi * i * syncHz / rate));
    t.samples[static_cast<std::size_t>(i)] = i < length / 2 ? -s : s;
  }
  return t;
}

}  // namespace vivurozed
