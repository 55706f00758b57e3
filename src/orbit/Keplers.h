// Finding the element set of a satellite nearest a wanted time: in the
// satellite's own file of dated sets (<Kepler folder>/Keps/<name>.txt plus
// Keps/Updates/<name>.txt), and in a folder of multi-satellite element files
// read into a TSatelliteList. Failures are messages for the user.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "orbit/SGP_Time.h"
#include "orbit/Satellite.h"

namespace vivurozed {

// The set chosen for a wanted time.
struct TKeplerSet {
  std::string line1, line2;
  double offset = 0;  // days, set epoch minus wanted time
  std::string fileName, updatesFileName;
};

// Trimmed, exactly 69 characters, starting with "1" or "2".
bool LineIsElementLine(const std::string& text);
// The epoch of a line 1; 0 when the line has none.
TDateTime ElementLineDate(const std::string& line);

// The element lines of the satellite's own files, oldest first. An empty
// Kepler folder means DefaultKeplerFolder(). Names are matched without
// regard to case.
bool FindKeplerFile(const std::string& name, const std::string& keplerFolder,
                    std::vector<std::string>& lines, std::string& fileName,
                    std::string& updatesFileName, std::string& message);
// The nearest set of those files. The notices about the files' dates are
// shown here and leave the message empty.
bool SearchKeplerFile(const std::string& name, const std::string& keplerFolder, TDateTime wanted,
                      TKeplerSet& set, std::string& message);
// The search over lines already read; description names the files in the
// notices ("file: ..." or "files: ... and ...").
bool NearestKeplerSet(const std::vector<std::string>& lines, TDateTime wanted,
                      const std::string& description, TKeplerSet& set);
// What FindKeplerFile keeps of the main and updates files' lines.
std::vector<std::string> KeplerFileLines(const std::string& name,
                                         const std::vector<std::string>& mainLines,
                                         const std::vector<std::string>& updateLines);

class TKeplerData {
 public:
  TKeplerData();
  ~TKeplerData();

  const std::string& TwoLineDataPath() const { return twoLineDataPath_; }
  // Reads the folder's element files again; an empty folder means no list.
  void SetTwoLineDataPath(const std::string& folder);
  const std::string& KeplerFolder() const { return keplerFolder_; }
  void SetKeplerFolder(const std::string& folder) { keplerFolder_ = folder; }
  const TSatelliteList* SatelliteList() const { return list_.get(); }

  // The nearer of the list's set (by catalogue number) and the satellite's
  // own file's set; shows the failure message itself.
  bool GetKeplers(const std::string& name, const std::string& catalogue, TDateTime wanted,
                  TKeplerSet& set);

 private:
  std::unique_ptr<TSatelliteList> list_;
  std::string twoLineDataPath_, keplerFolder_;
};

}  // namespace vivurozed
