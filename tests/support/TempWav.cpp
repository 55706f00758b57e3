#include "TempWav.h"

#include <map>

#include "AptSignal.h"
#include "WavWriter.h"

namespace vivurozed::testing {

namespace {

TempDir& Folder() {
  static TempDir dir;
  return dir;
}

std::map<std::string, std::string>& Made() {
  static std::map<std::string, std::string> made;
  return made;
}

}  // namespace

std::string FifteenMinuteAptWav(double snrDb, double wordRatePpm) {
  const std::string name =
      "apt-15min-" + std::to_string(snrDb) + "dB-" + std::to_string(wordRatePpm) + "ppm.wav";
  auto it = Made().find(name);
  if (it != Made().end()) return it->second;
  AptOptions o;
  o.seconds = 15 * 60;
  o.snrDb = snrDb;
  o.wordRatePpm = wordRatePpm;
  const std::string path = (Folder() / name).string();
  WriteWav(path, AptSignal(o));
  Made()[name] = path;
  return path;
}

}  // namespace vivurozed::testing
