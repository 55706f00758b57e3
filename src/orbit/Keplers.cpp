#include "orbit/Keplers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "orbit/Support.h"
#include "platform/Folders.h"
#include "platform/UserMessages.h"

namespace vivurozed {

namespace fs = std::filesystem;

namespace {

constexpr char kCR = '\r';
constexpr std::uintmax_t kLargestKeplerFile = 32u << 20;

bool ReadNumber(const std::string& text, double& value) {
  const std::string t = Trim(text);
  if (t.empty()) return false;
  const char* last = t.data() + t.size();
  const auto [end, error] = std::from_chars(t.data(), last, value, std::chars_format::fixed);
  return error == std::errc() && end == last && std::isfinite(value);
}

// The entry of the folder with that name, its case ignored when no entry
// has it exactly; element files come from systems that do not care.
fs::path ChildNoCase(const fs::path& folder, const std::string& name) {
  std::error_code error;
  const fs::path exact = folder / name;
  if (fs::exists(exact, error)) return exact;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    if (SameTextNoCase(it->path().filename().string(), name)) return it->path();
  }
  return exact;
}

bool IsFile(const fs::path& path) {
  std::error_code error;
  return fs::is_regular_file(path, error);
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::error_code error;
  if (path.empty() || fs::file_size(path, error) > kLargestKeplerFile || error) return {};
  std::ifstream in(path, std::ios::binary);
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  return SplitLines(text);
}

std::string WithSeparator(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace

bool LineIsElementLine(const std::string& text) {
  return !text.empty() && (text[0] == '1' || text[0] == '2') && Trim(text).size() == 69;
}

TDateTime ElementLineDate(const std::string& line) {
  double year = 0, day = 0;
  if (line.empty() || line[0] != '1' || !ReadNumber(FieldText(line, 19, 2), year) ||
      !ReadNumber(FieldText(line, 21, 12), day)) {
    return 0;
  }
  if (!(year >= 0 && year < 100 && day >= 0 && day < 367)) return 0;
  const int yy = static_cast<int>(year);
  return EncodeDateTime(yy < 57 ? 2000 + yy : 1900 + yy, 1, 1) + day - 1;
}

std::vector<std::string> KeplerFileLines(const std::string& name,
                                         const std::vector<std::string>& mainLines,
                                         const std::vector<std::string>& updateLines) {
  // A name or note anywhere in the file would pair line 2 of one set with
  // line 1 of the next, so only element lines are kept.
  std::vector<std::string> lines;
  for (const std::string& line : mainLines) {
    if (LineIsElementLine(line)) lines.push_back(TrimRight(line));
  }
  for (const std::string& line : updateLines) {
    const std::string trimmed = Trim(line);
    if (LineIsElementLine(trimmed)) lines.push_back(trimmed);
  }
  if (UpperCase(name) == "NOAA-15" && !lines.empty() && lines[0][16] == 'H') {
    lines.erase(lines.begin(), lines.begin() + std::min<std::size_t>(2, lines.size()));
  }
  return lines;
}

bool FindKeplerFile(const std::string& name, const std::string& keplerFolder,
                    std::vector<std::string>& lines, std::string& fileName,
                    std::string& updatesFileName, std::string& message) {
  lines.clear();
  const std::string base =
      WithSeparator(keplerFolder.empty() ? DefaultKeplerFolder().string() : keplerFolder);
  std::error_code error;
  fs::path folder = ChildNoCase(base, "Keps");
  if (!fs::is_directory(folder, error)) {
    folder = ChildNoCase(DefaultKeplerFolder().parent_path(), "Keps");
  }
  if (!fs::is_directory(folder, error)) {
    message = "Folder for Kepler data: " + base + "Keps/" + " was not found.";
    return false;
  }
  folder = fs::absolute(folder, error);
  const fs::path file = ChildNoCase(folder, name + ".txt");
  const fs::path updates = ChildNoCase(ChildNoCase(folder, "Updates"), name + ".txt");
  fileName = file.string();
  updatesFileName = updates.string();
  if (!IsFile(file) && !IsFile(updates)) {
    message = "Could not find satellite-specific Kepler data file(s) for: " + name +
              "  Expected to find: " + kCR + fileName + kCR + "or" + kCR + updatesFileName;
    fileName.clear();
    updatesFileName.clear();
    return false;
  }
  if (!IsFile(file)) fileName.clear();
  if (!IsFile(updates)) updatesFileName.clear();
  lines = KeplerFileLines(name, ReadLines(fileName), ReadLines(updatesFileName));
  if (lines.size() < 2) {
    message =
        "Kepler data file: " + fileName + " is invalid because it has less than two lines of text!";
    return false;
  }
  if (lines[0][0] != '1' || lines[1][0] != '2') {
    message = "Kepler data file: " + fileName + " is invalid because " +
              "lines 1 and 2 do not start with the characters 1 and 2!  Perhaps " +
              "you left the satellite name in the file?   Here is what was found: " + kCR + kCR +
              lines[0] + kCR + lines[1];
    return false;
  }
  return true;
}

bool NearestKeplerSet(const std::vector<std::string>& lines, TDateTime wanted,
                      const std::string& description, TKeplerSet& set) {
  const int n = static_cast<int>(lines.size() & ~std::size_t{1});
  if (n < 2) return false;
  const auto date = [&](int i) { return ElementLineDate(lines[i]); };
  int best = 0;
  double offset = 0;
  if (n == 2) {
    offset = date(0) - wanted;
  } else if (n == 4) {
    UserMessages().Show("There are not enough Kepler sets in " + description +
                            " to allow any searching.  Only two " +
                            "sets of Keplers were found.  The later " +
                            "Keplers in the file have been used.",
                        "");
    best = 2;
    offset = date(2) - wanted;
  } else {
    const double first = date(0), last = date(n - 2);
    if (first == 0) {
      UserMessages().Show("Could not determine the date of the first Keplers  in " + description +
                              ".  The first two lines were seen as: " + kCR + kCR + lines[0] + kCR +
                              lines[1],
                          "");
      return false;
    }
    if (last == 0) {
      UserMessages().Show("Could not determine the date of the last Keplers  in " + description +
                              ".  The last two lines were seen as: " + kCR + kCR + lines[n - 2] +
                              kCR + lines[n - 1],
                          "");
      return false;
    }
    if (!(first < last)) {
      UserMessages().Show(
          "The last Kepler sets in " + description +
              " are dated earlier or the same date as the first Kepler " +
              " sets so I cannot interpolate between them.  Please check " +
              " these file(s) carefully.  The first date found was: " +
              FormatDateTime("yyyy-mmmm-dd hh:nn", first) +
              " and the last date found was: " + FormatDateTime("yyyy-mmmm-dd hh:nn", last) +
              ".  The start " + "and end of the file was seen as: " + kCR + kCR + lines[0] + kCR +
              lines[1] + kCR + kCR + lines[n - 2] + kCR + lines[n - 1],
          "");
      return false;
    }
    // Guess the place by linear interpolation, then walk towards the wanted
    // time from one side until the sets stop getting nearer.
    double f = (wanted - first) / (last - first);
    if (!(f > 0)) f = 0;
    if (f > 1) f = 1;
    int i = static_cast<int>((n - 2) * f);
    if (i % 2 != 0) --i;
    double d = date(i) - wanted;
    if (std::fabs(d) < 2) {
      i = std::clamp(d < 0 ? i - 8 : i + 8, 0, n - 2);
      d = date(i) - wanted;
    }
    const int step = d >= 0 ? -2 : 2;
    for (;;) {
      best = i;
      offset = d;
      i += step;
      const double previous = d;
      d = i < 0 || i >= n - 1 ? 1000 : date(i) - wanted;
      if (!(std::fabs(d) <= std::fabs(previous) && std::fabs(offset) >= 0.5 && i >= 0 &&
            i <= n - 2)) {
        break;
      }
    }
  }
  set.line1 = lines[best];
  set.line2 = lines[best + 1];
  set.offset = offset;
  return true;
}

bool SearchKeplerFile(const std::string& name, const std::string& keplerFolder, TDateTime wanted,
                      TKeplerSet& set, std::string& message) {
  std::vector<std::string> lines;
  message.clear();
  if (!FindKeplerFile(name, keplerFolder, lines, set.fileName, set.updatesFileName, message)) {
    return false;
  }
  const std::string description = set.updatesFileName.empty()
                                      ? "file: " + set.fileName
                                      : "files: " + set.fileName + " and " + set.updatesFileName;
  return NearestKeplerSet(lines, wanted, description, set);
}

TKeplerData::TKeplerData() = default;
TKeplerData::~TKeplerData() = default;

void TKeplerData::SetTwoLineDataPath(const std::string& folder) {
  twoLineDataPath_ = folder;
  list_.reset();
  // No folder is no list, not the working directory's files.
  if (!folder.empty()) list_ = std::make_unique<TSatelliteList>(folder);
}

bool TKeplerData::GetKeplers(const std::string& name, const std::string& catalogue,
                             TDateTime wanted, TKeplerSet& set) {
  TKeplerSet fromList;
  bool inList = false;
  if (list_) {
    const int index = list_->IndexOfCatalogue(catalogue);
    if (index >= 0) {
      const TSatellite& satellite = list_->Satellite(index);
      fromList.line1 = satellite.Line1();
      fromList.line2 = satellite.Line2();
      fromList.offset = ElementLineDate(fromList.line1) - wanted;
      fromList.fileName = satellite.KeplerFileName();
      inList = true;
    }
  }
  TKeplerSet fromFile;
  std::string message;
  const bool inFile = SearchKeplerFile(name, keplerFolder_, wanted, fromFile, message);
  if (inFile && inList) {
    set = std::fabs(fromFile.offset) < std::fabs(fromList.offset) ? fromFile : fromList;
  } else if (inFile || inList) {
    set = inFile ? fromFile : fromList;
  } else {
    if (!message.empty()) UserMessages().Show(message, "");
    return false;
  }
  return true;
}

}  // namespace vivurozed
