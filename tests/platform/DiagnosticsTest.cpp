#include "platform/Diagnostics.h"

#include <gtest/gtest.h>

namespace vivurozed {
namespace {

TEST(Diagnostics, ListenerSeesEveryLineInOrder) {
  TDiagnostics log;
  std::vector<std::string> seen;
  log.SetListener([&](const std::string& line) { seen.push_back(line); });
  log.Add("Signal level is OK");
  log.Add(Format("relock after %.3f seconds", 1.6));
  EXPECT_EQ(seen, log.Lines());
  EXPECT_EQ(seen[1], "relock after 1.600 seconds");
  log.Clear();
  EXPECT_EQ(log.Count(), 0u);
}

TEST(Format, HandlesLongAndEmptyResults) {
  EXPECT_EQ(Format("%s", ""), "");
  const std::string long_text(5000, 'x');
  EXPECT_EQ(Format("%s%d", long_text.c_str(), 7), long_text + "7");
}

}  // namespace
}  // namespace vivurozed
