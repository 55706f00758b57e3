// Element sets and reference files of tests/data for the orbit tests.
#pragma once

#include <string>
#include <vector>

#include "WavWriter.h"
#include "orbit/Satellite.h"

namespace vivurozed::testing {

// NOAA 15's set of the weather file of 2019-08-25.
const std::string kNoaa15Line1 =
    "1 25338U 98030A   19237.55125393  .00000021  00000-0  27641-4 0  9993";
const std::string kNoaa15Line2 =
    "2 25338  98.7445 258.6869 0011278  50.3058 309.9115 14.25927920106921";

inline std::string DataText(const std::string& name) {
  const std::vector<std::uint8_t> bytes = ReadBytes(std::string(VZ_TEST_DATA) + "/" + name);
  return std::string(bytes.begin(), bytes.end());
}

// The element sets of the weather file and of the test sets, by catalogue number.
inline const TSatelliteList& TestSets() {
  static const TSatelliteList list = [] {
    TSatelliteList l;
    l.AddFromText(DataText("weather-2019-08-25.txt"), "weather-2019-08-25.txt");
    l.AddFromText(DataText("orbit-test-sets.tle"), "orbit-test-sets.tle");
    return l;
  }();
  return list;
}

// A fresh satellite with the set of that catalogue number.
inline std::unique_ptr<TSatellite> TestSatellite(const std::string& catalogue) {
  const TSatellite& s = TestSets().Satellite(TestSets().IndexOfCatalogue(catalogue));
  auto satellite = std::make_unique<TSatellite>();
  satellite->LoadElements(s.Line1(), s.Line2());
  return satellite;
}

// Comma-separated numbers after a header line.
inline std::vector<std::vector<double>> CsvRows(const std::string& name) {
  std::vector<std::vector<double>> rows;
  const std::string text = DataText(name);
  std::size_t at = text.find('\n') + 1;
  while (at < text.size()) {
    const std::size_t end = text.find('\n', at);
    std::vector<double> row;
    for (std::size_t p = at; p < end;) {
      std::size_t used = 0;
      row.push_back(std::stod(text.substr(p, end - p), &used));
      p += used + 1;
    }
    rows.push_back(row);
    at = end + 1;
  }
  return rows;
}

}  // namespace vivurozed::testing
