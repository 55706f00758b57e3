// A child for the settings test: writes settings through the store in a
// tight loop until it is killed. Each round writes four integers and four
// strings, all carrying the round's number; "ready" goes to standard output
// once every key exists. The store's folder comes from XDG_CONFIG_HOME.
#include <chrono>
#include <cstdio>
#include <string>

#include "platform/qt/SettingsStore.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  vivurozed::TSettingsStore store(argv[1]);
  const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  for (int round = 0; std::chrono::steady_clock::now() < end; ++round) {
    for (int k = 0; k < 4; ++k) {
      const std::string n = std::to_string(k);
      // Strings of changing length, so that a torn write would show.
      const std::string text = "round-" + std::to_string(round) + std::string(round % 97, '.');
      if (!store.WriteInteger("Count" + n, round) || !store.WriteString("Text" + n, text)) return 1;
    }
    if (round == 0) {
      std::puts("ready");
      std::fflush(stdout);
    }
  }
  return 0;
}
